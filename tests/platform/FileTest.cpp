#include "platform/File.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "platform/WideText.h"

namespace {

std::wstring TempPath(const char* name) {
    auto path = std::filesystem::temp_directory_path() /
                (std::string("cadro_platform_") + std::to_string(::getpid()) + "_" + name);
    return Platform::FromUtf8(path.string());
}

TEST(File, WritesReadsSeeksAndReportsSize) {
    const std::wstring path = TempPath("file_\xC3\xA9.bin");
    std::vector<uint8_t> data(100000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
    {
        Platform::File file;
        ASSERT_TRUE(file.Open(path, Platform::File::Mode::CreateWrite));
        ASSERT_TRUE(file.Write(data.data(), static_cast<uint32_t>(data.size())));
        EXPECT_EQ(file.Tell(), 100000);
        ASSERT_TRUE(file.Seek(10));
        const uint8_t patch[3] = {1, 2, 3};
        ASSERT_TRUE(file.Write(patch, 3));
        EXPECT_EQ(file.Size(), 100000);
        EXPECT_TRUE(file.Close());
        EXPECT_TRUE(file.Close());  // closing twice is harmless
    }
    data[10] = 1, data[11] = 2, data[12] = 3;

    Platform::File file;
    ASSERT_TRUE(file.Open(path, Platform::File::Mode::Read));
    EXPECT_EQ(file.Size(), 100000);
    std::vector<uint8_t> back(data.size());
    ASSERT_TRUE(file.ReadExact(back.data(), static_cast<uint32_t>(back.size())));
    EXPECT_EQ(back, data);
    uint32_t got = 99;
    EXPECT_TRUE(file.Read(back.data(), 10, &got));
    EXPECT_EQ(got, 0u);  // at the end
    ASSERT_TRUE(file.Seek(99998));
    EXPECT_FALSE(file.ReadExact(back.data(), 3));  // only 2 left
    EXPECT_FALSE(file.Seek(-1));
    file.Close();

    // Creating an existing file empties it.
    ASSERT_TRUE(file.Open(path, Platform::File::Mode::CreateWrite));
    EXPECT_EQ(file.Size(), 0);
    file.Close();
    std::filesystem::remove(Platform::ToUtf8(path));
}

TEST(File, RefusesMissingFilesAndFolders) {
    Platform::File file;
    EXPECT_FALSE(file.Open(TempPath("does_not_exist"), Platform::File::Mode::Read));
    EXPECT_FALSE(file.Open(Platform::FromUtf8(std::filesystem::temp_directory_path().string()),
                           Platform::File::Mode::Read));
    EXPECT_FALSE(file.IsOpen());
    uint8_t byte;
    EXPECT_FALSE(file.Write(&byte, 1));
    EXPECT_EQ(Platform::OpenStream(TempPath("does_not_exist"), L"rb"), nullptr);
}

TEST(File, SameFileSeesThroughSpelling) {
    const std::wstring path = TempPath("same.bin");
    Platform::File file;
    ASSERT_TRUE(file.Open(path, Platform::File::Mode::CreateWrite));
    file.Close();
    std::filesystem::path p(Platform::ToUtf8(path));
    std::wstring other = Platform::FromUtf8((p.parent_path() / "." / p.filename()).string());
    EXPECT_TRUE(Platform::SameFile(path, other));
    EXPECT_FALSE(Platform::SameFile(path, TempPath("does_not_exist")));
    std::filesystem::remove(p);
}

TEST(File, StreamsUseWidePathsAndLargeOffsets) {
    const std::wstring path = TempPath("stream_\xE8\xA6\x96.txt");
    std::FILE* out = Platform::OpenStream(path, L"wt");
    ASSERT_NE(out, nullptr);
    std::fputs("a\n", out);
    std::fclose(out);
    std::FILE* in = Platform::OpenStream(path, L"rb");
    ASSERT_NE(in, nullptr);
    ASSERT_TRUE(Platform::SeekStream(in, 0, SEEK_END));
    EXPECT_GE(Platform::TellStream(in), 2);
    std::fclose(in);
    std::filesystem::remove(Platform::ToUtf8(path));
}

}  // namespace
