// Whole -info reports on small generated AVI, WAV, AAC and Cadro files.
#include "app/Reports.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cadro/CadroInputFile.h"
#include "cadro/CadroMemory.h"
#include "cadro/CadroMuxer.h"
#include "korva/StreamDescriptors.h"
#include "korva/Timeline.h"
#include "platform/WideText.h"
#include "tests/app/MuxTestSupport.h"
#include "tests/sources/TempFiles.h"
#include "tests/support/AdtsBuilder.h"
#include "tests/support/RunTool.h"
#include "tests/support/WavBuilder.h"

namespace {

using namespace mux_test;

std::wstring SizeLine(const std::filesystem::path& path, const wchar_t* format = L"  Size: %lld bytes\n") {
    wchar_t line[96];
    std::swprintf(line, 96, format, static_cast<long long>(std::filesystem::file_size(path)));
    return line;
}

std::string Text(const std::filesystem::path& path) {
    const std::vector<uint8_t> bytes = FileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

class ReportsTest : public ::testing::Test {
protected:
    std::wstring Info(const std::vector<std::wstring>& arguments) {
        std::vector<std::wstring> all = arguments;
        all.push_back(L"-info");
        ToolRun run = RunInProcess(all);
        EXPECT_EQ(run.status, 0);
        return run.out;
    }
    TempFolder folder_;
};

TEST_F(ReportsTest, AviReportNamesWhatItSupportsAndTheFourCCRule) {
    VideoSpec tarsic;
    tarsic.frames = 60;  // 2.4 s
    tarsic.keyEvery = 25;
    VideoSpec lower = tarsic;
    lower.handler = "qrb7";
    lower.width = 400;
    lower.height = 480;
    lower.rate = 30000;
    lower.scale = 1001;
    lower.frames = 4;
    lower.keyEvery = 1;
    VideoSpec hd = tarsic;
    hd.handler = "KBWX";
    hd.frames = 2;
    AudioSpec pcm;
    pcm.rate = 44100;
    pcm.samples = 100;
    AudioSpec eightBit = pcm;
    eightBit.bits = 8;
    eightBit.channels = 1;
    ASSERT_TRUE(MakeAvi({tarsic, lower, hd}, {pcm, eightBit}).WriteTo(folder_.Path("a.avi")));
    const std::wstring path = folder_.Path("a.avi").wstring();

    const std::wstring head = L"Avi file\n  Name: " + path + L"\n" + SizeLine(folder_.Path("a.avi")) +
                              L"  Video streams: 3\n"
                              L"    Stream 0: Tarsic video stream\n"
                              L"        Resolution: 320x240 pixels\n"
                              L"        Framerate: 25.000 fps\n"
                              L"        Total Number of frames: 60\n"
                              L"        Total Number of keyframes: 3\n"
                              L"        Duration: 2 seconds\n";
    const std::wstring tail = L"    Stream 2: not a Tarsic video stream, not supported\n"
                              L"  Audio streams: 2\n"
                              L"    Stream 0: PCM 16 bits audio stream\n"
                              L"        Frequency: 44100 Hertz\n"
                              L"        Channels: 2\n"
                              L"    Stream 1: not a PCM 16 bits mono or stereo audio stream, not supported\n"
                              L"\n";
    EXPECT_EQ(Info({L"-avi", path}),
              head + L"    Stream 1: not a Tarsic video stream, not supported\n" + tail);
    EXPECT_EQ(Info({L"-ignorefourcc", L"-avi", path}),
              head +
                  L"    Stream 1: Tarsic video stream\n"
                  L"        Resolution: 400x480 pixels\n"
                  L"        Framerate: 29.970 fps\n"
                  L"        Total Number of frames: 4\n"
                  L"        Total Number of keyframes: 4\n"
                  L"        Duration: 0 seconds\n" +
                  tail);
}

TEST_F(ReportsTest, AviWithoutStreamsOfAKindAndADurationPast32Bits) {
    VideoSpec slow;
    slow.rate = 4000000000u;  // 4 frames a second over a large scale
    slow.scale = 1000000000u;
    slow.frames = 10;
    ASSERT_TRUE(MakeAvi({slow}, {}).WriteTo(folder_.Path("v.avi")));
    AudioSpec audio;
    audio.channels = 1;
    audio.rate = 8000;
    audio.samples = 10;
    ASSERT_TRUE(MakeAvi({}, {audio}).WriteTo(folder_.Path("a.avi")));
    const std::wstring video = folder_.Path("v.avi").wstring();
    const std::wstring sound = folder_.Path("a.avi").wstring();
    EXPECT_EQ(Info({L"-avi", video, L"-avi", sound}),
              L"Avi file\n  Name: " + video + L"\n" + SizeLine(folder_.Path("v.avi")) +
                  L"  Video streams: 1\n"
                  L"    Stream 0: Tarsic video stream\n"
                  L"        Resolution: 320x240 pixels\n"
                  L"        Framerate: 4.000 fps\n"
                  L"        Total Number of frames: 10\n"
                  L"        Total Number of keyframes: 2\n"
                  L"        Duration: 2 seconds\n"
                  L"  Audio streams: none\n"
                  L"\n"
                  L"Avi file\n  Name: " +
                  sound + L"\n" + SizeLine(folder_.Path("a.avi")) +
                  L"  Video streams: none\n"
                  L"  Audio streams: 1\n"
                  L"    Stream 0: PCM 16 bits audio stream\n"
                  L"        Frequency: 8000 Hertz\n"
                  L"        Channels: 1\n"
                  L"\n");
}

TEST_F(ReportsTest, WavReportTakesPlainAndExtensiblePcm) {
    struct Case {
        const char* name;
        uint16_t tag;
        uint16_t subTag;
        uint16_t bits;
        bool supported;
    };
    const Case cases[] = {
        {"plain.wav", 1, 1, 16, true},
        {"ext.wav", 0xFFFE, 1, 16, true},
        {"float.wav", 0xFFFE, 3, 16, false},
        {"byte.wav", 1, 1, 8, false},
        {"cl\xC3\xA9_\xE8\xA6\x96.wav", 1, 1, 16, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WavBuilder wav;
        wav.formatTag = c.tag;
        wav.subFormatTag = c.subTag;
        wav.bitsPerSample = c.bits;
        wav.channels = 1;
        wav.sampleRate = 22050;
        wav.SetSamples(Tone(50, 1, 0));
        const std::filesystem::path file = folder_.Path(c.name);
        ASSERT_TRUE(wav.WriteTo(file));
        const std::wstring path = Platform::FromUtf8(file.string());
        const std::wstring format = c.supported ? L"  Format: PCM 16 bits\n"
                                                  L"  Frequency: 22050 Hertz\n"
                                                  L"  Channels: 1\n"
                                                : L"  Not a PCM 16 bits audio stream, not supported\n";
        EXPECT_EQ(Info({L"-wav", path}),
                  L"Wav file\n  Name: " + path + L"\n" + SizeLine(file) + format + L"\n");
    }
}

TEST_F(ReportsTest, AacReportTakesTheLowComplexityProfileOnly) {
    AdtsBuilder lc;
    lc.AddFrame(AdtsFrameSpec().Frequency(3).Channels(1));
    lc.AddFrame(AdtsFrameSpec().Frequency(3).Channels(1).Crc());
    ASSERT_TRUE(lc.WriteTo(folder_.Path("lc.aac")));
    AdtsBuilder main;
    main.AddFrame(AdtsFrameSpec().Profile(0));
    ASSERT_TRUE(main.WriteTo(folder_.Path("main.aac")));
    const std::wstring lcPath = folder_.Path("lc.aac").wstring();
    const std::wstring mainPath = folder_.Path("main.aac").wstring();
    EXPECT_EQ(Info({L"-aac", lcPath, L"-aac", mainPath}),
              L"Aac file\n  Name: " + lcPath + L"\n" + SizeLine(folder_.Path("lc.aac")) +
                  L"  Format: ADTS LC(low complexity) profile format\n"
                  L"  Frequency: 48000 Hertz\n"
                  L"  Channels: 1\n"
                  L"\n"
                  L"Aac file\n  Name: " +
                  mainPath + L"\n" + SizeLine(folder_.Path("main.aac")) +
                  L"  Not in ADTS LC(low complexity) profile format, not supported\n"
                  L"\n");
}

// Writes a Cadro file frame by frame with the container library.
class CadroFileWriter {
public:
    explicit CadroFileWriter(const std::filesystem::path& path) {
        EXPECT_TRUE(muxer_.Open(path.wstring(), 4096, 15000000, false, true, false));
    }
    template <typename T>
    T* Add(uint32_t type) {
        Korva::Stream* stream = nullptr;
        EXPECT_EQ(muxer_.AddStream(type, &stream), 0);
        stream->index = next_++;
        return static_cast<T*>(stream);
    }
    void Frame(uint32_t stream, uint32_t size, int64_t time, uint32_t frameType = 0,
               bool synchro = false) {
        const std::vector<uint8_t> bytes = PatternBytes(size, static_cast<uint8_t>(size));
        EXPECT_TRUE(muxer_.AddFrame(stream, bytes.data(), size, time, frameType, synchro));
    }
    void Timeline(uint32_t stream, uint32_t entries, uint32_t frames, int64_t duration) {
        Korva::TimelineHeader header;
        header.entryCount = entries;
        header.frameCount = frames;
        header.duration = duration;
        std::vector<Korva::TimelineEntry> list(entries);
        std::vector<uint8_t> payload(Korva::TimelinePayloadSize(entries));
        Korva::StoreTimeline(header, list.data(), payload.data());
        EXPECT_TRUE(muxer_.AddFrame(stream, payload.data(), static_cast<uint32_t>(payload.size()),
                                    1, 0, true));
    }
    void Close() { EXPECT_TRUE(muxer_.Close()); }

private:
    CadroMemoryMuxer memory_{nullptr};
    CadroMuxer muxer_{&memory_};
    int32_t next_ = 0;
};

Korva::StreamVideo* PlainVideo(CadroFileWriter& writer, uint16_t rateNum = 25, uint16_t rateDen = 1) {
    auto* video = writer.Add<Korva::StreamVideo>(Korva::kTypeVideo);
    video->codec = Korva::kVideoCodecTarsic;
    video->rateNum = rateNum;
    video->rateDen = rateDen;
    video->width = 320;
    video->height = 240;
    video->pixelNum = 1;
    video->pixelDen = 1;
    return video;
}

std::wstring CadroHead(const std::filesystem::path& path, const wchar_t* streams) {
    return L"Cadro file\n  Name: " + path.wstring() + L"\n" + SizeLine(path) +
           L"  Number of streams: " + streams + L"\n";
}

TEST_F(ReportsTest, ThreeFramesOfAThousandAndTwoFiveHundredBytes) {
    const std::filesystem::path path = folder_.Path("clip.cadro");
    {
        CadroFileWriter writer(path);
        PlainVideo(writer);
        writer.Frame(0, 1000, 1, 0, true);
        writer.Frame(0, 500, 40001, 1);
        writer.Frame(0, 500, 80001, 1);
        writer.Close();
    }
    EXPECT_EQ(Info({L"-cadro", path.wstring(), L"-info", L"csv=true"}),
              CadroHead(path, L"1") +
                  L"    Stream 0: Tarsic video stream\n"
                  L"        Resolution: 320x240 pixels\n"
                  L"        Framerate: 25.000 fps\n"
                  L"        Pixel ratio: 1.000\n"
                  L"        Avg video bitrate: 133 kbps\n"
                  L"        Avg video frame size: 666 bytes\n"
                  L"        Duration: 0.120 seconds\n"
                  L"        Size: 2000 bytes\n"
                  L"\n");
    EXPECT_EQ(Text(folder_.Path("clip.csv")),
              "Stream #0 (Video) frame number; Frame size (bytes);\n"
              "0; 1000;\n"
              "1; 500;\n"
              "2; 500;\n"
              "\n");
}

TEST_F(ReportsTest, WholeBitratesAreNotTruncatedOneLower) {
    // 5 frames of 250 bytes at 25 fps: 1250 bytes in 0.2 s, exactly 50 kbps, although
    // the single-precision 0.2 s is a little more than 0.2.
    const std::filesystem::path path = folder_.Path("whole.cadro");
    {
        CadroFileWriter writer(path);
        PlainVideo(writer);
        for (int i = 0; i < 5; ++i) {
            writer.Frame(0, 250, 1 + i * 40000, i == 0 ? 0 : 1, i == 0);
        }
        writer.Close();
    }
    const std::wstring report = Info({L"-cadro", path.wstring(), L"-info"});
    EXPECT_NE(report.find(L"        Avg video bitrate: 50 kbps\n"), std::wstring::npos) << report;
    EXPECT_NE(report.find(L"        Duration: 0.200 seconds\n"), std::wstring::npos) << report;
}

TEST_F(ReportsTest, EveryKindOfCadroStreamWithTimelines) {
    const std::filesystem::path path = folder_.Path("full.cadro");
    {
        CadroFileWriter writer(path);
        auto* video = writer.Add<Korva::StreamVideoWithLayout>(Korva::kTypeVideoWithLayout);
        video->codec = Korva::kVideoCodecTarsicHd;
        video->rateNum = 30000;
        video->rateDen = 1001;
        video->width = 800;
        video->height = 240;
        video->pixelNum = 4;
        video->pixelDen = 3;
        video->layout = Korva::kLayoutSideBySideRightFirst;
        video->rotation = Korva::kRotation90;
        auto* audio = writer.Add<Korva::StreamAudio>(Korva::kTypeAudio);
        audio->codec = 1;
        audio->frequency = 22050;
        audio->channels = 1;
        writer.Add<Korva::StreamTimeline>(Korva::kTypeTimeline)->refIndex = 0;
        writer.Add<Korva::StreamTimeline>(Korva::kTypeTimeline)->refIndex = 1;
        writer.Timeline(2, 1, 6, 200200);
        writer.Timeline(3, 0, 3, 150000);
        for (int i = 0; i < 6; ++i) {
            writer.Frame(0, 900, 1 + i * 33366, i == 0 ? 0 : 1, i == 0);
            if (i % 2 == 0) writer.Frame(1, 601, 1 + i * 33366);
        }
        writer.Close();
    }
    const auto size = static_cast<double>(std::filesystem::file_size(path));
    wchar_t movie[64];
    // Movie bitrate over the longest timeline, 0.2 s.
    std::swprintf(movie, 64, L"  Avg movie bitrate: %d kbps\n",
                  static_cast<int>(size * 8 / (static_cast<double>(0.2f) * 1000)));
    EXPECT_EQ(Info({L"-cadro", path.wstring(), L"-info", L"csv=true"}),
              CadroHead(path, L"4") + movie +
                  L"    Stream 0: Tarsic HD video stream\n"
                  L"        Resolution: 800x240 pixels\n"
                  L"        Framerate: 29.970 fps\n"
                  L"        Pixel ratio: 1.333\n"
                  L"        Avg video bitrate: 215 kbps\n"
                  L"        Avg video frame size: 900 bytes\n"
                  L"        Duration: 0.200 seconds\n"
                  L"        Size: 5400 bytes\n"
                  L"        Stereoscopic: side by side, right eye first\n"
                  L"        Rotation: 90 degrees\n"
                  L"    Stream 1: ImaAdpcm audio stream\n"
                  L"        Frequency: 22050\n"
                  L"        Channels: 1\n"
                  L"        Avg audio bitrate: 96 kbps\n"
                  L"        Avg audio frame size: 601 bytes\n"
                  L"        Size: 1803 bytes\n"
                  L"    Stream 2: Timeline stream\n"
                  L"        Associated to stream: 0\n"
                  L"        Total Number of frames: 6\n"
                  L"        Total Number of keyframes: 1\n"
                  L"        Duration: 0.200 seconds\n"
                  L"    Stream 3: Timeline stream\n"
                  L"        Associated to stream: 1\n"
                  L"        Total Number of frames: 3\n"
                  L"        Total Number of keyframes: 0\n"
                  L"        Duration: 0.150 seconds\n"
                  L"\n");
    EXPECT_EQ(Text(folder_.Path("full.csv")),
              "Stream #0 (Video) frame number; Frame size (bytes);\n"
              "0; 900;\n1; 900;\n2; 900;\n3; 900;\n4; 900;\n5; 900;\n"
              "\n"
              "Stream #1 (Audio) frame number; Frame size (bytes);\n"
              "0; 601;\n1; 601;\n2; 601;\n"
              "\n");
}

TEST_F(ReportsTest, StreamsWithoutFramesOrRatesPrintZeros) {
    // Without timelines the first video stream's duration stands in for the audio's.
    std::filesystem::create_directory(folder_.Path("my.dir"));
    const std::filesystem::path path = folder_.Path("my.dir") / "clip";
    {
        CadroFileWriter writer(path);
        PlainVideo(writer, 50, 2);
        Korva::StreamVideo* empty = PlainVideo(writer, 25, 0);
        empty->codec = Korva::kVideoCodecDunmar;
        empty->pixelDen = 0;
        auto* audio = writer.Add<Korva::StreamAudio>(Korva::kTypeAudio);
        audio->codec = 2;
        audio->frequency = 48000;
        audio->channels = 2;
        auto* silent = writer.Add<Korva::StreamAudio>(Korva::kTypeAudio);
        silent->codec = 4;
        silent->frequency = 32000;
        silent->channels = 1;
        for (int i = 0; i < 5; ++i) {
            writer.Frame(0, 251, 1 + i * 40000, i == 0 ? 0 : 1, i == 0);
            writer.Frame(2, 7681, 1 + i * 40000);
        }
        writer.Close();
    }
    EXPECT_EQ(Info({L"-cadro", path.wstring(), L"-info", L"csv=true"}),
              CadroHead(path, L"4") +
                  L"    Stream 0: Tarsic video stream\n"
                  L"        Resolution: 320x240 pixels\n"
                  L"        Framerate: 25.000 fps\n"
                  L"        Pixel ratio: 1.000\n"
                  L"        Avg video bitrate: 50 kbps\n"
                  L"        Avg video frame size: 251 bytes\n"
                  L"        Duration: 0.200 seconds\n"
                  L"        Size: 1255 bytes\n"
                  L"    Stream 1: Dunmar video stream\n"
                  L"        Resolution: 320x240 pixels\n"
                  L"        Framerate: 0.000 fps\n"
                  L"        Pixel ratio: 0.000\n"
                  L"        Avg video bitrate: 0 kbps\n"
                  L"        Avg video frame size: 0 bytes\n"
                  L"        Duration: 0.000 seconds\n"
                  L"        Size: 0 bytes\n"
                  L"    Stream 2: PCM 16 bits audio stream\n"
                  L"        Frequency: 48000\n"
                  L"        Channels: 2\n"
                  L"        Avg audio bitrate: 1536 kbps\n"
                  L"        Avg audio frame size: 7681 bytes\n"
                  L"        Size: 38405 bytes\n"
                  L"    Stream 3: DspAdpcm audio stream\n"
                  L"        Frequency: 32000\n"
                  L"        Channels: 1\n"
                  L"        Avg audio bitrate: 0 kbps\n"
                  L"        Avg audio frame size: 0 bytes\n"
                  L"        Size: 0 bytes\n"
                  L"\n");
    // A dot anywhere in the name counts, even in a folder name.
    EXPECT_EQ(Text(folder_.Path("my.csv")).substr(0, 51),
              "Stream #0 (Video) frame number; Frame size (bytes);");
    EXPECT_FALSE(std::filesystem::exists(folder_.Path("my.dir") / "clip.csv"));
}

TEST_F(ReportsTest, AudioOnlyCadroGetsItsCodecLinesAndNoCsvBlock) {
    const std::filesystem::path path = folder_.Path("clip");
    {
        CadroFileWriter writer(path);
        auto* audio = writer.Add<Korva::StreamAudio>(Korva::kTypeAudio);
        audio->codec = 3;
        audio->frequency = 44100;
        audio->channels = 2;
        writer.Frame(0, 300, 1);
        writer.Frame(0, 300, 23220);
        writer.Close();
    }
    EXPECT_EQ(Info({L"-cadro", path.wstring(), L"-info", L"csv=true"}),
              CadroHead(path, L"1") +
                  L"    Stream 0: AAC audio stream\n"
                  L"        Frequency: 44100\n"
                  L"        Channels: 2\n"
                  L"\n");
    EXPECT_EQ(Text(folder_.Path("clip.csv")), "");
}

TEST_F(ReportsTest, CsvThatCannotBeCreatedIsReportedAndTheReportGoesOn) {
    const std::filesystem::path path = folder_.Path("clip.cadro");
    {
        CadroFileWriter writer(path);
        PlainVideo(writer);
        writer.Frame(0, 1000, 1, 0, true);
        writer.Close();
    }
    std::filesystem::create_directory(folder_.Path("clip.csv"));
    const std::wstring csv = folder_.Path("clip.csv").wstring();
    const std::wstring report = Info({L"-cadro", path.wstring(), L"-info", L"csv=true"});
    const std::wstring head = CadroHead(path, L"1");
    ASSERT_EQ(report.substr(0, head.size()), head);
    const std::wstring rest = report.substr(head.size());
    EXPECT_EQ(rest.substr(0, rest.find(L'\n') + 1), L"Error: can not write to \"" + csv + L"\"\n");
    EXPECT_NE(rest.find(L"        Size: 1000 bytes\n"), std::wstring::npos);
}

TEST_F(ReportsTest, BinaryPrintsWidePathsAsUtf8) {
    VideoSpec video;
    const std::string name = "cl\xC3\xA9_\xE8\xA6\x96\xE9\xA0\xBB.avi";
    const std::filesystem::path file = folder_.Path(name);
    ASSERT_TRUE(MakeAvi({video}, {}).WriteTo(file));
    ProcessRun run = RunBinary({"-avi", file.string(), "-info"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.substr(0, run.out.find("  Size")),
              "Avi file\n  Name: " + file.string() + "\n");
}

}  // namespace
