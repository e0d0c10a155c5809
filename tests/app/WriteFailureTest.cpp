// The tool when its resources fail under it: an output device that refuses every write,
// and inputs that lose their tail after they were opened (a read error in the middle of
// the data). A refused write is a failure with its message; a read error ends the stream
// it hits, and the run goes on with what was read.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <system_error>

#include "app/Reports.h"
#include "cadro/CadroInputFile.h"
#include "sources/AviInputFile.h"
#include "sources/WavInputFile.h"
#include "tests/sources/TempFiles.h"
#include "tests/support/AviBuilder.h"
#include "tests/support/RunTool.h"
#include "tests/support/WavBuilder.h"

namespace {

constexpr int kVideoFrames = 20;
// Large enough that the AVI file is several times the reader's read-ahead, so a cut in
// its middle is met by a later read.
constexpr uint32_t kVideoFrameSize = 200000;
constexpr uint32_t kAudioChunkSamples = 320;  // per channel, one video frame at 8000 Hz

std::vector<uint8_t> Pcm(uint32_t samples, int seed) {
    std::vector<uint8_t> bytes;
    for (uint32_t i = 0; i < samples; ++i) {
        PutU16(bytes, static_cast<uint16_t>(i * 31 + static_cast<uint32_t>(seed) * 1000));
    }
    return bytes;
}

// Video and stereo PCM audio, interleaved chunk by chunk, with the index at the end.
std::vector<uint8_t> AviFixture() {
    AviBuilder avi;
    const int video = avi.AddStream(AviBuilder::Video("TZNK", 25, 1, 320, 240));
    const int audio = avi.AddStream(AviBuilder::Audio(1, 2, 8000, 16));
    for (int i = 0; i < kVideoFrames; ++i) {
        avi.AddPatternChunk(video, kVideoFrameSize, i % 5 == 0, static_cast<uint8_t>(i));
        avi.AddChunk(audio, Pcm(kAudioChunkSamples * 2, i));
    }
    return avi.Build();
}

std::vector<uint8_t> WavFixture() {
    WavBuilder wav;
    wav.channels = 2;
    wav.sampleRate = 8000;
    wav.data = Pcm(kAudioChunkSamples * 2 * kVideoFrames, 7);
    return wav.Build();
}

// Frame count and byte total of every stream of a Cadro file, in table order.
struct StreamTotals {
    int64_t frames = 0;
    int64_t bytes = 0;
};
std::vector<StreamTotals> ReadTotals(const std::wstring& path) {
    CadroInputFile file;
    file.name = path;
    std::vector<StreamTotals> totals;
    if (!file.Open()) return totals;
    for (uint32_t i = 0; i < file.GetDemuxer()->GetStreamCount(); ++i) {
        StreamTotals t;
        const auto position = static_cast<int32_t>(i);
        GatherVideoFrames(file, position, nullptr, &t.bytes, &t.frames);
        if (t.frames == 0) GatherAudioFrames(file, position, nullptr, &t.bytes, &t.frames);
        totals.push_back(t);
    }
    return totals;
}

// Input files that lose everything past `keepBytes` right after they were opened, as if
// the medium failed under the reader.
uint64_t keepBytes = 0;

template <typename Base>
class FailingInputFile final : public Base {
public:
    bool Open() override {
        if (!Base::Open()) return false;
        std::error_code error;
        std::filesystem::resize_file(std::filesystem::path(this->name), keepBytes, error);
        cut = !error;
        return true;
    }
    static inline bool cut = false;
};

// Only the input of the kind `failingKind` fails.
InputKind failingKind = InputKind::Avi;
std::unique_ptr<GenericInputFile> MakeFailingInput(InputKind kind) {
    if (kind != failingKind) return MakeInputFile(kind);
    if (kind == InputKind::Avi) return std::make_unique<FailingInputFile<AviInputFile>>();
    return std::make_unique<FailingInputFile<WavInputFile>>();
}

#ifndef _WIN32
TEST(WriteFailureTest, OutputDeviceRefusingWritesFailsWithItsMessage) {
    ASSERT_TRUE(std::filesystem::exists("/dev/full"));
    TempFolder folder;
    const std::wstring avi = folder.Write("in.avi", AviFixture());
    for (const std::vector<std::wstring>& extra :
         {std::vector<std::wstring>{}, std::vector<std::wstring>{L"-timeline"}}) {
        std::vector<std::wstring> arguments{L"-avi", avi, L"-video", L"-audio", L"-out",
                                            L"/dev/full"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        ToolRun run = RunInProcess(arguments);
        EXPECT_EQ(run.status, -1);
        EXPECT_EQ(run.out, L"Error: cannot write to output Cadro file\n");
    }
    // The real process, as a script sees it.
    ProcessRun process = RunBinary({"-avi", folder.Path("in.avi").string(), "-video", "-out",
                                    "/dev/full"});
    EXPECT_EQ(process.status, 255);
    EXPECT_EQ(process.out, "Error: cannot write to output Cadro file\n");
}
#endif

TEST(WriteFailureTest, ReadErrorInTheMiddleEndsTheStreamsItHits) {
    TempFolder folder;
    const std::vector<uint8_t> aviBytes = AviFixture();
    const std::vector<uint8_t> wavBytes = WavFixture();
    const std::wstring avi = folder.Write("in.avi", aviBytes);
    const std::wstring wav = folder.Write("in.wav", wavBytes);
    const std::wstring whole = folder.Path("whole.cadro").wstring();
    const std::wstring cut = folder.Path("cut.cadro").wstring();

    ToolRun reference = RunInProcess({L"-avi", avi, L"-wav", wav, L"-video", L"-audio",
                                      L"format=pcm", L"-audio", L"file=1", L"format=pcm",
                                      L"-out", whole});
    ASSERT_EQ(reference.status, 0) << reference.out;
    const std::vector<StreamTotals> full = ReadTotals(whole);
    ASSERT_EQ(full.size(), 3u);
    ASSERT_EQ(full[0].frames, kVideoFrames);

    // Streams 0 and 1 come from the AVI file, stream 2 from the WAV file. Cutting the AVI
    // file ends its video and audio early (and with the video, the run); cutting the WAV
    // file ends only its audio.
    struct Case {
        InputKind kind;
        std::vector<size_t> shorter;
        std::vector<size_t> whole;
    };
    for (const Case& c : {Case{InputKind::Avi, {0, 1}, {}}, Case{InputKind::Wav, {2}, {0, 1}}}) {
        SCOPED_TRACE(c.kind == InputKind::Avi ? "AVI cut" : "WAV cut");
        folder.Write("in.avi", aviBytes);
        folder.Write("in.wav", wavBytes);
        failingKind = c.kind;
        keepBytes = (c.kind == InputKind::Avi ? aviBytes.size() : wavBytes.size()) / 2;
        ToolRun run = RunInProcess({L"-avi", avi, L"-wav", wav, L"-video", L"-audio",
                                    L"format=pcm", L"-audio", L"file=1", L"format=pcm", L"-out",
                                    cut},
                                   MakeFailingInput);
        if (c.kind == InputKind::Avi ? !FailingInputFile<AviInputFile>::cut
                                     : !FailingInputFile<WavInputFile>::cut) {
            GTEST_SKIP() << "this system cannot shorten a file that is open";
        }
        EXPECT_EQ(run.status, 0) << run.out;
        EXPECT_EQ(run.out, L"");
        const std::vector<StreamTotals> got = ReadTotals(cut);
        ASSERT_EQ(got.size(), 3u);
        for (size_t s : c.shorter) {
            EXPECT_GT(got[s].bytes, 0) << "stream " << s;
            EXPECT_LT(got[s].bytes, full[s].bytes) << "stream " << s;
        }
        for (size_t s : c.whole) {
            EXPECT_EQ(got[s].bytes, full[s].bytes) << "stream " << s;
            EXPECT_EQ(got[s].frames, full[s].frames) << "stream " << s;
        }
    }
}

}  // namespace
