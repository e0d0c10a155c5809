#include "platform/Console.h"

#include <gtest/gtest.h>

#include "platform/System.h"

namespace {

TEST(Console, FormatsWideAnd8BitTextIntoOneStream) {
    Platform::CaptureConsole console;
    console.Print(L"  Name: %ls\n  Size: %lld bytes\n  Rate: %.3f fps\n", L"cl\u00E9.avi",
                  static_cast<long long>(5000000000LL), 25.0);
    console.PrintBytes("Korva::Allocator: not enough memory to allocate %d bytes !!!\n", 64);
    console.PrintError(L"%ls could not be found\n", L"WaveCodecPxn.dll");
    EXPECT_EQ(console.Out(),
              L"  Name: cl\u00E9.avi\n  Size: 5000000000 bytes\n  Rate: 25.000 fps\n"
              L"Korva::Allocator: not enough memory to allocate 64 bytes !!!\n");
    EXPECT_EQ(console.Err(), L"WaveCodecPxn.dll could not be found\n");
}

TEST(Console, LongTextIsNotCut) {
    Platform::CaptureConsole console;
    std::wstring longPath(5000, L'x');
    console.Print(L"[%ls]", longPath.c_str());
    EXPECT_EQ(console.Out(), L"[" + longPath + L"]");
}

TEST(System, LibraryNamesFollowThePlatform) {
#ifdef _WIN32
    EXPECT_EQ(Platform::DynamicLibrary::NativeFileName(L"WaveCodecPxn.dll"), L"WaveCodecPxn.dll");
#else
    EXPECT_EQ(Platform::DynamicLibrary::NativeFileName(L"WaveCodecPxn.dll"), L"libWaveCodecPxn.so");
    EXPECT_EQ(Platform::DynamicLibrary::NativeFileName(L"/sdk/tools/WaveCodecPxn.dll"),
              L"/sdk/tools/libWaveCodecPxn.so");
#endif
    Platform::DynamicLibrary library;
    EXPECT_FALSE(library.LoadByName(L"NoSuchLibraryAnywhere.dll"));
    EXPECT_EQ(library.Find("encode"), nullptr);
    EXPECT_FALSE(Platform::ExecutableFolder().empty());
}

TEST(System, ReadsEnvironment) {
    std::wstring value;
    EXPECT_FALSE(Platform::ReadEnvironment(L"CADRO_SURELY_UNSET_VARIABLE", &value));
    EXPECT_TRUE(Platform::ReadEnvironment(L"PATH", &value));
}

}  // namespace
