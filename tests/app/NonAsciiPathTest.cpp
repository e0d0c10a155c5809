// Paths beyond ASCII, through every kind of file the tool touches: AVI and WAV inputs,
// the Cadro output, the Cadro input of a report and its CSV file, whose lines end the
// platform's way (text mode). On Windows these are UTF-16 paths given to the system as
// they are; elsewhere UTF-8 bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/WideText.h"
#include "tests/sources/TempFiles.h"
#include "tests/support/AviBuilder.h"
#include "tests/support/RunTool.h"
#include "tests/support/WavBuilder.h"

namespace {

namespace fs = std::filesystem;

// The wide form the tool takes on its command line.
std::wstring Wide(const fs::path& path) {
#ifdef _WIN32
    return path.wstring();
#else
    return Platform::FromUtf8(path.string());
#endif
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(NonAsciiPathTest, MuxReportAndCsvThroughNonAsciiNames) {
    TempFolder folder;
    // Built from UTF-8 literals, which both platforms read as UTF-8.
    const fs::path avi = folder.Path("x").parent_path() / fs::path(u8"clé.avi");
    const fs::path wav = folder.Path("x").parent_path() / fs::path(u8"視頻.wav");
    const fs::path out = folder.Path("x").parent_path() / fs::path(u8"出力 ü.cadro");
    const fs::path csv = folder.Path("x").parent_path() / fs::path(u8"出力 ü.csv");

    AviBuilder aviFile;
    const int video = aviFile.AddStream(AviBuilder::Video("TZNK", 25, 1, 320, 240));
    for (int i = 0; i < 10; ++i) {
        aviFile.AddPatternChunk(video, 300 + static_cast<uint32_t>(i), i % 5 == 0);
    }
    ASSERT_TRUE(aviFile.WriteTo(avi));
    WavBuilder wavFile;
    wavFile.sampleRate = 8000;
    wavFile.SetSamples(std::vector<int16_t>(2 * 4000, 100));
    ASSERT_TRUE(wavFile.WriteTo(wav));

    ToolRun mux = RunInProcess({L"-avi", Wide(avi), L"-wav", Wide(wav), L"-video",
                                L"-audio", L"file=1", L"-timeline", L"-out", Wide(out)});
    ASSERT_EQ(mux.status, 0) << mux.out;
    ASSERT_TRUE(fs::exists(out));

    ToolRun info = RunInProcess({L"-cadro", Wide(out), L"-info", L"csv=true"});
    ASSERT_EQ(info.status, 0) << info.out;
    EXPECT_NE(info.out.find(L"  Name: " + Wide(out) + L"\n"), std::wstring::npos) << info.out;
    const std::string text = ReadBytes(csv);
    ASSERT_FALSE(text.empty());
    const auto lines = std::count(text.begin(), text.end(), '\n');
#ifdef _WIN32
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), lines) << "every line ends in CR LF";
    EXPECT_EQ(text.find("\n"), text.find("\r\n") + 1);
#else
    EXPECT_EQ(text.find('\r'), std::string::npos);
#endif
    EXPECT_GE(lines, 10);

    // A missing input is named as given, in its own characters.
    const fs::path missing = folder.Path("x").parent_path() / fs::path(u8"nié_視頻.avi");
    ToolRun error = RunInProcess({L"-avi", Wide(missing)});
    EXPECT_EQ(error.status, -1);
    EXPECT_EQ(error.out, L"Error: cannot open file \"" + Wide(missing) + L"\" for reading\n");
}

}  // namespace
