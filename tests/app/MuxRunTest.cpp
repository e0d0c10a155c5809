// The mux job end to end: generated sources, the entry routine, and the written file read
// back through the tool's Cadro input classes and an independent packet parser.
#include "app/MuxRun.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "app/Reports.h"
#include "platform/WideText.h"
#include "sources/AviFile.h"
#include "tests/app/MuxTestSupport.h"
#include "tests/korva/CadroStreamParser.h"
#include "tests/sources/TempFiles.h"
#include "tests/support/AdtsBuilder.h"
#include "tests/support/ImaAdpcmDecoder.h"
#include "tests/support/RunTool.h"
#include "tests/support/VeluneDecoder.h"
#include "tests/support/WavBuilder.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace {

using namespace mux_test;

class MuxRunTest : public ::testing::Test {
protected:
    std::wstring Avi(const std::string& name, const std::vector<VideoSpec>& videos,
                     const std::vector<AudioSpec>& audios = {}) {
        EXPECT_TRUE(MakeAvi(videos, audios).WriteTo(folder_.Path(name)));
        return folder_.Path(name).wstring();
    }
    std::wstring Out(const std::string& name = "out.cadro") const {
        return folder_.Path(name).wstring();
    }
    TempFolder folder_;
};

// Sample count per channel of a PCM 16 frame.
uint32_t PcmSamples(const ReadFrame& frame, uint32_t channels) {
    return static_cast<uint32_t>(frame.bytes.size() / (2 * channels));
}

void ExpectVideoFrames(const ReadStream& stream, const VideoSpec& spec, int count) {
    ASSERT_EQ(static_cast<int>(stream.frames.size()), count);
    for (int i = 0; i < count; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(stream.frames[i].bytes, VideoFrame(spec, i));
        EXPECT_EQ(stream.frames[i].frameType, IsKey(spec, i) ? 0u : 1u);
        EXPECT_EQ(stream.frames[i].time,
                  1 + int64_t{i} * spec.scale * 1000000 / spec.rate);
    }
}

// Audio frames: each starts where the previous ended, with the time of its first sample.
void ExpectPcmTimes(const ReadStream& stream) {
    int64_t position = 0;
    for (const ReadFrame& frame : stream.frames) {
        EXPECT_EQ(frame.time, position * 1000000 / stream.frequency + 1);
        position += PcmSamples(frame, stream.channels);
    }
}

TEST_F(MuxRunTest, VideoOnlyKeepsEveryFrameItsTypeAndTime) {
    VideoSpec video;
    video.frames = 12;
    const std::wstring avi = Avi("v.avi", {video});
    ToolRun run = RunInProcess({L"-avi", avi, L"-video", L"-out", Out()});
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out, L"");

    std::vector<ReadStream> streams = ReadCadro(Out());
    ASSERT_EQ(streams.size(), 1u);
    const ReadStream& s = streams[0];
    EXPECT_EQ(s.type, Korva::kTypeVideoWithLayout);
    EXPECT_EQ(s.index, 0);
    EXPECT_EQ(s.codec, Korva::kVideoCodecTarsic);
    EXPECT_EQ(s.layout, Korva::kLayoutNone);
    EXPECT_EQ(s.rotation, Korva::kRotationNone);
    EXPECT_EQ(s.rateNum, 25u);
    EXPECT_EQ(s.rateDen, 1u);
    EXPECT_EQ(s.width, 320u);
    EXPECT_EQ(s.height, 240u);
    ExpectVideoFrames(s, video, 12);
}

TEST_F(MuxRunTest, AviPcmAudioLongerThanTheVideoIsCutAtTheVideoEnd) {
    VideoSpec video;
    video.frames = 25;  // 1 s
    AudioSpec audio;
    audio.samples = 72000;  // 1.5 s
    const std::wstring avi = Avi("av.avi", {video}, {audio});
    ToolRun run = RunInProcess({L"-avi", avi, L"-video", L"-audio", L"format=pcm", L"-out", Out()});
    ASSERT_EQ(run.status, 0) << run.out;

    std::vector<ReadStream> streams = ReadCadro(Out());
    ASSERT_EQ(streams.size(), 2u);
    ExpectVideoFrames(streams[0], video, 25);
    const ReadStream& a = streams[1];
    EXPECT_EQ(a.type, Korva::kTypeAudio);
    EXPECT_EQ(a.index, 1);
    EXPECT_EQ(a.codec, 2);
    EXPECT_EQ(a.frequency, 48000u);
    EXPECT_EQ(a.channels, 2u);
    const std::vector<uint8_t> written = a.Concatenated();
    const std::vector<uint8_t> source = AudioBytes(audio);
    ASSERT_LE(written.size(), source.size());
    EXPECT_TRUE(std::equal(written.begin(), written.end(), source.begin()));
    // Up to the video end (1 s), to the nearest half block of 256.
    const int64_t samples = static_cast<int64_t>(written.size() / 4);
    EXPECT_LE(std::abs(samples - 48000), 128);
    ExpectPcmTimes(a);
}

TEST_F(MuxRunTest, WavAudioShorterThanTheVideoStopsWhileTheVideoGoesOn) {
    VideoSpec video;
    video.frames = 25;
    const std::wstring avi = Avi("v.avi", {video});
    WavBuilder wav;
    wav.channels = 1;
    wav.sampleRate = 22050;
    wav.SetSamples(Tone(11025, 1, 3));  // 0.5 s
    ASSERT_TRUE(wav.WriteTo(folder_.Path("a.wav")));
    ToolRun run = RunInProcess({L"-avi", avi, L"-wav", folder_.Path("a.wav").wstring(), L"-video",
                                L"-audio", L"file=1", L"format=pcm", L"-out", Out()});
    ASSERT_EQ(run.status, 0) << run.out;

    std::vector<ReadStream> streams = ReadCadro(Out());
    ASSERT_EQ(streams.size(), 2u);
    ExpectVideoFrames(streams[0], video, 25);
    EXPECT_EQ(streams[1].frequency, 22050u);
    EXPECT_EQ(streams[1].channels, 1u);
    EXPECT_EQ(streams[1].Concatenated(), wav.data);
    ExpectPcmTimes(streams[1]);
}

TEST_F(MuxRunTest, AacFramesAreCarriedWholeAndUnchanged) {
    VideoSpec video;
    video.frames = 10;  // 0.4 s
    const std::wstring avi = Avi("v.avi", {video});
    AdtsBuilder aac;
    for (int i = 0; i < 40; ++i) {  // 40 x 1024 samples at 44100 Hz: 0.93 s
        aac.AddFrame(AdtsFrameSpec().Payload(50 + i * 3, static_cast<uint8_t>(i)).Crc(i % 3 == 0));
    }
    ASSERT_TRUE(aac.WriteTo(folder_.Path("a.aac")));
    ToolRun run = RunInProcess({L"-avi", avi, L"-aac", folder_.Path("a.aac").wstring(), L"-video",
                                L"-audio", L"file=1", L"-timeline", L"file=1", L"-out", Out()});
    ASSERT_EQ(run.status, 0) << run.out;

    std::vector<ReadStream> streams = ReadCadro(Out());
    ASSERT_EQ(streams.size(), 3u);
    ExpectVideoFrames(streams[0], video, 10);
    const ReadStream& a = streams[1];
    EXPECT_EQ(a.codec, 3);
    EXPECT_EQ(a.frequency, 44100u);
    EXPECT_EQ(a.channels, 2u);
    // The written bytes are the file's first frames, whole.
    const std::vector<uint8_t> written = a.Concatenated();
    const std::vector<uint8_t>& source = aac.Build();
    ASSERT_LT(written.size(), source.size());
    EXPECT_TRUE(std::equal(written.begin(), written.end(), source.begin()));
    uint32_t frames = 0;
    for (size_t at = 0; at < written.size(); ++frames) {
        at += ((source[at + 3] & 3u) << 11) | (source[at + 4] << 3) | (source[at + 5] >> 5);
        ASSERT_LE(at, written.size());
    }
    // 0.4 s of 1024-sample frames, to the nearest frame.
    EXPECT_NEAR(frames, 0.4 * 44100 / 1024, 1.0);
    const ReadStream& t = streams[2];
    EXPECT_EQ(t.refIndex, 1);
    EXPECT_EQ(t.header.frameCount, a.frames.size());
    EXPECT_EQ(t.header.entryCount, 0u);
    int64_t duration = 0;
    for (uint32_t k = 0; k < frames; ++k) duration += 1024;
    EXPECT_NEAR(static_cast<double>(t.header.duration), duration * 1e6 / 44100,
                static_cast<double>(a.frames.size()));
}

TEST_F(MuxRunTest, SecondVideoEndingFirstStopsTheRunAfterTheFirstStreamsStep) {
    VideoSpec first;
    first.frames = 10;
    first.keyEvery = 4;  // key frames 0, 4, 8; 8 is never reached
    VideoSpec second;
    second.frames = 6;
    second.seed = 100;
    AudioSpec audio;
    audio.channels = 1;
    audio.samples = 48000;
    const std::wstring avi = Avi("vv.avi", {first, second}, {audio});
    ToolRun run = RunInProcess({L"-avi", avi, L"-video", L"-video", L"stream=1", L"-audio",
                                L"format=pcm", L"-timeline", L"-out", Out()});
    ASSERT_EQ(run.status, 0) << run.out;

    std::vector<ReadStream> streams = ReadCadro(Out());
    ASSERT_EQ(streams.size(), 4u);
    // Pass 7 writes frame 6 of the first stream, then the second has nothing left.
    ExpectVideoFrames(streams[0], first, 7);
    ExpectVideoFrames(streams[1], second, 6);
    // The audio of pass 6 reached the video end of that pass, 240001 us.
    int64_t samples = 0;
    for (const ReadFrame& f : streams[2].frames) samples += PcmSamples(f, 1);
    EXPECT_LE(std::abs(samples - 11520), 128);
    const ReadStream& t = streams[3];
    ASSERT_EQ(t.entries.size(), 3u);
    EXPECT_NE(t.entries[0].position, 0);
    EXPECT_NE(t.entries[1].position, 0);
    EXPECT_EQ(t.entries[2].frameIndex, 8);
    EXPECT_EQ(t.entries[2].position, 0);
}

TEST_F(MuxRunTest, InterleavedStereoWritesBothEyesOfAMomentWithOneTime) {
    VideoSpec video;
    video.rate = 50;
    video.frames = 8;
    video.keyEvery = 4;
    AudioSpec audio;
    audio.channels = 1;
    audio.samples = 48000;
    const std::wstring avi = Avi("s.avi", {video}, {audio});
    for (const auto& [eye, layout] : {std::pair{L"left", 0}, std::pair{L"right", 1}}) {
        ToolRun run = RunInProcess({L"-avi", avi, L"-video", L"stereo=interleaved",
                                    std::wstring(L"firsteye=") + eye, L"-audio", L"format=pcm",
                                    L"-timeline", L"-out", Out()});
        ASSERT_EQ(run.status, 0) << run.out;
        std::vector<ReadStream> streams = ReadCadro(Out());
        ASSERT_EQ(streams.size(), 3u);
        EXPECT_EQ(streams[0].layout, layout);
        ASSERT_EQ(streams[0].frames.size(), 8u);
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(streams[0].frames[i].bytes, VideoFrame(video, i));
            EXPECT_EQ(streams[0].frames[i].time, 1 + (i / 2) * 40000);
        }
        // Four steps of two frames at 50 fps: the video ends at 160001 us.
        int64_t samples = 0;
        for (const ReadFrame& f : streams[1].frames) samples += PcmSamples(f, 1);
        EXPECT_LE(std::abs(samples - 7680), 128);
        EXPECT_EQ(streams[2].header.duration, 160000);
        ASSERT_EQ(streams[2].entries.size(), 2u);
        EXPECT_EQ(streams[2].entries[1].time, 1 + 2 * 40000);
    }
}

TEST_F(MuxRunTest, SelectionsThatOnlyLookAlikeAreAccepted) {
    VideoSpec first;
    first.frames = 6;
    first.keyEvery = 3;
    VideoSpec second = first;
    second.keyEvery = 2;
    second.seed = 50;
    const std::wstring avi = Avi("vv.avi", {first, second});

    // One path given twice makes two files: the same stream of each is a stream of its own.
    ToolRun run = RunInProcess({L"-avi", avi, L"-avi", avi, L"-video", L"-video", L"file=1",
                                L"-out", Out()});
    ASSERT_EQ(run.status, 0) << run.out;
    std::vector<ReadStream> streams = ReadCadro(Out());
    ASSERT_EQ(streams.size(), 2u);
    ExpectVideoFrames(streams[0], first, 6);
    ExpectVideoFrames(streams[1], first, 6);

    // A video timeline indexes the first video grabber of its file, whatever stream it
    // reads; the entries describe the stream the timeline names.
    run = RunInProcess({L"-avi", avi, L"-video", L"stream=1", L"-timeline", L"stream=0", L"-out", Out()});
    ASSERT_EQ(run.status, 0) << run.out;
    streams = ReadCadro(Out());
    ASSERT_EQ(streams.size(), 2u);
    ExpectVideoFrames(streams[0], second, 6);
    EXPECT_EQ(streams[1].refIndex, 0);
    ASSERT_EQ(streams[1].entries.size(), 2u);
    EXPECT_EQ(streams[1].entries[0].frameIndex, 0);
    EXPECT_EQ(streams[1].entries[1].frameIndex, 3);
}

TEST_F(MuxRunTest, MissingSecondEyeOfAPairFailsWithoutAMessage) {
    // The index counts 8 frames, but the walk skips the last chunk, whose id is changed.
    VideoSpec video;
    video.frames = 8;
    std::vector<uint8_t> bytes = MakeAvi({video}, {}).Build();
    const std::string text(bytes.begin(), bytes.end());
    const size_t lastChunk = text.rfind("00dc", text.find("idx1"));
    ASSERT_NE(lastChunk, std::string::npos);
    bytes[lastChunk] = 'z';
    bytes[lastChunk + 1] = 'z';
    const std::wstring avi = folder_.Write("cut.avi", bytes);
    ToolRun run = RunInProcess({L"-avi", avi, L"-video", L"stereo=interleaved", L"-out", Out()});
    EXPECT_EQ(run.status, -1);
    EXPECT_EQ(run.out, L"");
    // The same file without stereo ends after its seventh frame and succeeds.
    run = RunInProcess({L"-avi", avi, L"-video", L"-out", Out()});
    EXPECT_EQ(run.status, 0);
    std::vector<ReadStream> streams = ReadCadro(Out());
    ASSERT_EQ(streams.size(), 1u);
    ExpectVideoFrames(streams[0], video, 7);
}

// One entry per selection error: the files, the selections and the exact message.
struct SelectionError {
    std::vector<std::wstring> arguments;
    std::wstring message;
};

TEST_F(MuxRunTest, EverySelectionErrorPrintsItsMessageAndLeavesTheOutputFile) {
    VideoSpec video;
    video.frames = 4;
    AudioSpec audio;
    audio.samples = 4800;
    const std::wstring av = Avi("av.avi", {video}, {audio});
    const std::wstring twoVideos = Avi("vv.avi", {video, video});
    const std::wstring audioOnly = Avi("a.avi", {}, {audio});
    VideoSpec odd = video;
    odd.frames = 7;
    const std::wstring oddFrames = Avi("odd.avi", {odd});
    VideoSpec other = video;
    other.handler = "XVID";
    AudioSpec eightBit = audio;
    eightBit.bits = 8;
    const std::wstring unsupported = Avi("x.avi", {other}, {eightBit});
    VideoSpec noRate = video;
    noRate.rate = 0;
    AudioSpec noSampleRate = audio;
    noSampleRate.rate = 0;
    const std::wstring rateless = Avi("zr.avi", {noRate}, {noSampleRate});

    WavBuilder wav;
    wav.channels = 1;
    wav.SetSamples(Tone(1000, 1, 1));
    ASSERT_TRUE(wav.WriteTo(folder_.Path("t.wav")));
    const std::wstring pcmWav = folder_.Path("t.wav").wstring();
    wav.bitsPerSample = 8;
    ASSERT_TRUE(wav.WriteTo(folder_.Path("u.wav")));
    const std::wstring eightBitWav = folder_.Path("u.wav").wstring();
    wav.bitsPerSample = 16;
    wav.sampleRate = 0;
    ASSERT_TRUE(wav.WriteTo(folder_.Path("z.wav")));
    const std::wstring ratelessWav = folder_.Path("z.wav").wstring();

    AdtsBuilder lc;
    lc.AddFrame({});
    ASSERT_TRUE(lc.WriteTo(folder_.Path("lc.aac")));
    const std::wstring lcAac = folder_.Path("lc.aac").wstring();
    AdtsBuilder main;
    main.AddFrame(AdtsFrameSpec().Profile(0));
    ASSERT_TRUE(main.WriteTo(folder_.Path("main.aac")));
    const std::wstring mainAac = folder_.Path("main.aac").wstring();
    AdtsBuilder reserved;
    reserved.AddFrame(AdtsFrameSpec().Frequency(13));
    ASSERT_TRUE(reserved.WriteTo(folder_.Path("r.aac")));
    const std::wstring ratelessAac = folder_.Path("r.aac").wstring();

    ASSERT_EQ(RunInProcess({L"-avi", av, L"-video", L"-out", Out("c.cadro")}).status, 0);
    const std::wstring cadro = Out("c.cadro");

    const std::vector<SelectionError> cases = {
        {{L"-avi", av}, L"Error: no video and/or audio streams to add in Cadro content.\n"},
        {{L"-avi", av, L"-audio"}, L"Error: can't generate audio only Cadro ressources.\n"},
        {{L"-avi", av, L"-video", L"stream=1"},
         L"Error: video stream index out of range; max value is 0, got 1\n"},
        {{L"-avi", audioOnly, L"-video"},
         L"Error: video stream index out of range, no video steam inside avi file\n"},
        {{L"-avi", av, L"-video", L"-video"}, L"Error: video stream index 0 of file 0 is already used\n"},
        {{L"-avi", av, L"-avi", twoVideos, L"-video", L"file=1", L"stream=1", L"-video", L"file=1",
          L"stream=1"},
         L"Error: video stream index 1 of file 1 is already used\n"},
        {{L"-avi", oddFrames, L"-video", L"stereo=interleaved"},
         L"Error: number of frames of stereoscopic interleaved video is odd, got 7\n"},
        {{L"-avi", unsupported, L"-video"}, L"Error: video stream 0 is not a Tarsic video stream\n"},
        {{L"-avi", rateless, L"-video"}, L"Error: video stream 0 has no frame rate\n"},
        {{L"-avi", av, L"-audio", L"stream=2"},
         L"Error: audio stream index out of range; max value is 0, got 2\n"},
        {{L"-avi", twoVideos, L"-audio"},
         L"Error: audio stream index out of range, no audio steam inside avi file\n"},
        {{L"-avi", unsupported, L"-audio"},
         L"Error: audio stream 0 format is not PCM 16 bits mono or stereo\n"},
        {{L"-avi", rateless, L"-audio"}, L"Error: audio stream has no sample rate\n"},
        {{L"-avi", av, L"-video", L"-audio", L"format=pcm", L"-audio", L"format=adpcm"},
         L"Error: audio stream index 0 of file 0 is already used\n"},
        {{L"-avi", av, L"-wav", eightBitWav, L"-video", L"-audio", L"file=1"},
         L"Error: audio stream format is not PCM 16 bits mono or stereo\n"},
        {{L"-avi", av, L"-wav", ratelessWav, L"-video", L"-audio", L"file=1"},
         L"Error: audio stream has no sample rate\n"},
        {{L"-avi", av, L"-wav", pcmWav, L"-video", L"-audio", L"file=1", L"-audio", L"file=1",
          L"format=pcm"},
         L"Error: audio file 1 is already used\n"},
        {{L"-avi", av, L"-aac", mainAac, L"-video", L"-audio", L"file=1"},
         L"Error: AAC file is not in ADTS (low complexity) profile format\n"},
        {{L"-avi", av, L"-aac", ratelessAac, L"-video", L"-audio", L"file=1"},
         L"Error: audio stream has no sample rate\n"},
        {{L"-avi", av, L"-aac", lcAac, L"-video", L"-audio", L"file=1", L"-audio", L"file=1"},
         L"Error: audio file 1 is already used\n"},
        {{L"-avi", av, L"-timeline", L"-video"},
         L"Error: timeline stream index do not correspond to a used video stream\n"},
        {{L"-avi", av, L"-avi", av, L"-video", L"-timeline", L"file=1"},
         L"Error: timeline stream index do not correspond to a used video stream\n"},
        {{L"-avi", av, L"-video", L"-timeline", L"stream=3"},
         L"Error: video stream index out of range; max value is 0, got 3\n"},
        {{L"-avi", av, L"-video", L"-timeline", L"type=audio"},
         L"Error: timeline stream index do not correspond to a used audio stream\n"},
        {{L"-avi", av, L"-video", L"-audio", L"-timeline", L"type=audio", L"stream=1"},
         L"Error: audio stream index out of range; max value is 0, got 1\n"},
        {{L"-avi", av, L"-wav", pcmWav, L"-video", L"-audio", L"file=1", L"-timeline", L"file=1",
          L"stream=1"},
         L"Error: audio stream index out of range, valid value is only 0 for audio steam inside wav file\n"},
        {{L"-avi", av, L"-wav", pcmWav, L"-video", L"-audio", L"-timeline", L"file=1"},
         L"Error: timeline stream index do not correspond to a used audio stream\n"},
        {{L"-avi", av, L"-aac", lcAac, L"-video", L"-audio", L"file=1", L"-timeline", L"file=1",
          L"stream=1"},
         L"Error: audio stream index out of range, valid value is only 0 for audio steam inside aac file\n"},
        {{L"-avi", av, L"-aac", lcAac, L"-video", L"-timeline", L"file=1"},
         L"Error: timeline stream index do not correspond to a used audio stream\n"},
        // A Cadro file has no streams to select: refused without a message.
        {{L"-cadro", cadro, L"-avi", av, L"-video", L"file=0"}, L""},
        {{L"-cadro", cadro, L"-avi", av, L"-video", L"file=1", L"-audio", L"file=0"}, L""},
        {{L"-cadro", cadro, L"-avi", av, L"-video", L"file=1", L"-timeline", L"file=0"}, L""},
    };
    for (const SelectionError& c : cases) {
        std::wstring line;
        for (const auto& a : c.arguments) line += a + L" ";
        SCOPED_TRACE(Platform::ToUtf8(line));
        std::filesystem::remove(folder_.Path("out.cadro"));
        std::vector<std::wstring> arguments = c.arguments;
        arguments.insert(arguments.end(), {L"-out", Out()});
        ToolRun run = RunInProcess(arguments);
        EXPECT_EQ(run.status, -1);
        EXPECT_EQ(run.out, c.message);
        EXPECT_TRUE(std::filesystem::exists(folder_.Path("out.cadro")));
    }
}

// Start offset of the packet holding the first piece of each frame of `stream`.
std::vector<int64_t> FrameStartPackets(const std::vector<cadro_test::ParsedPacket>& packets,
                                       uint32_t stream) {
    std::vector<int64_t> starts;
    bool inFrame = false;
    for (const cadro_test::ParsedPacket& p : packets) {
        for (const cadro_test::ParsedEp& ep : p.eps) {
            if (ep.stream != stream) continue;
            if (!inFrame) starts.push_back(static_cast<int64_t>(p.start));
            inFrame = !ep.timed;  // the piece carrying the time ends the frame
        }
    }
    return starts;
}

class TimelineLayout : public MuxRunTest,
                       public ::testing::WithParamInterface<std::pair<uint32_t, bool>> {};

TEST_P(TimelineLayout, PositionsAreTheSynchroPacketsOfTheKeyFrames) {
    const auto [packetSize, fixed] = GetParam();
    VideoSpec video;
    video.frames = 30;
    video.keyEvery = 7;  // 0, 7, 14, 21, 28
    video.baseSize = 300;
    video.sizeSpread = 1100;
    AudioSpec audio;
    audio.samples = 60000;
    const std::wstring avi = Avi("av.avi", {video}, {audio});
    std::vector<std::wstring> arguments = {L"-avi", avi, L"-video", L"-audio", L"format=pcm",
                                           L"-timeline", L"-timeline", L"type=audio",
                                           L"-packetsize", std::to_wstring(packetSize),
                                           L"-out", Out()};
    if (fixed) arguments.push_back(L"-usefixedpacketsize");
    ToolRun run = RunInProcess(arguments);
    ASSERT_EQ(run.status, 0) << run.out;

    std::vector<ReadStream> streams = ReadCadro(Out());
    ASSERT_EQ(streams.size(), 4u);
    ExpectVideoFrames(streams[0], video, 30);
    const std::vector<uint8_t> written = streams[1].Concatenated();
    const std::vector<uint8_t> source = AudioBytes(audio);
    ASSERT_LE(written.size(), source.size());
    EXPECT_TRUE(std::equal(written.begin(), written.end(), source.begin()));

    const std::vector<uint8_t> bytes = FileBytes(folder_.Path("out.cadro"));
    if (fixed) {
        EXPECT_EQ(bytes.size() % packetSize, 0u);
    }
    std::vector<cadro_test::ParsedPacket> packets;
    std::string error;
    ASSERT_TRUE(cadro_test::ParsePackets(bytes, packetSize, &packets, &error)) << error;
    const std::vector<int64_t> starts = FrameStartPackets(packets, 0);
    ASSERT_EQ(starts.size(), 30u);

    const ReadStream& videoTimeline = streams[2];
    EXPECT_EQ(videoTimeline.refIndex, 0);
    EXPECT_EQ(videoTimeline.header.entryCount, 5u);
    EXPECT_EQ(videoTimeline.header.frameCount, 30u);
    EXPECT_EQ(videoTimeline.header.duration, 1200000);
    ASSERT_EQ(videoTimeline.entries.size(), 5u);
    for (size_t k = 0; k < 5; ++k) {
        SCOPED_TRACE(k);
        const Korva::TimelineEntry& e = videoTimeline.entries[k];
        EXPECT_EQ(e.frameIndex, static_cast<int32_t>(7 * k));
        EXPECT_EQ(e.time, 1 + 7 * static_cast<int64_t>(k) * 40000);
        EXPECT_EQ(e.position, starts[e.frameIndex]);
        auto packet = std::find_if(packets.begin(), packets.end(), [&](const auto& p) {
            return static_cast<int64_t>(p.start) == e.position;
        });
        ASSERT_NE(packet, packets.end());
        EXPECT_TRUE(packet->synchro);
        EXPECT_EQ(static_cast<int64_t>(packet->synchroTime), e.time);
    }

    const ReadStream& audioTimeline = streams[3];
    EXPECT_EQ(audioTimeline.refIndex, 1);
    EXPECT_EQ(audioTimeline.header.entryCount, 0u);
    EXPECT_EQ(audioTimeline.header.frameCount, streams[1].frames.size());
    int64_t duration = 0;
    for (const ReadFrame& f : streams[1].frames) duration += PcmSamples(f, 2) * int64_t{1000000} / 48000;
    EXPECT_EQ(audioTimeline.header.duration, duration);
    EXPECT_NEAR(static_cast<double>(duration), 1.2e6, 2667 + streams[1].frames.size());
}

INSTANTIATE_TEST_SUITE_P(PacketSizes, TimelineLayout,
                         ::testing::Values(std::pair{4096u, false}, std::pair{512u, false},
                                           std::pair{1024u, true}, std::pair{200u, true}));

TEST_F(MuxRunTest, PacketSizeTheMuxerRefusesCannotOpenTheOutput) {
    VideoSpec video;
    const std::wstring avi = Avi("v.avi", {video});
    for (const wchar_t* size : {L"20", L"65536", L"0"}) {
        ToolRun run = RunInProcess({L"-avi", avi, L"-video", L"-packetsize", size, L"-out", Out()});
        EXPECT_EQ(run.status, -1);
        EXPECT_EQ(run.out, L"Error: cannot open file \"" + Out() + L"\" for writing\n");
    }
}

TEST_F(MuxRunTest, OutputNamingAnInputIsRefusedAndTheInputKept) {
    VideoSpec video;
    const std::wstring avi = Avi("v.avi", {video});
    const std::vector<uint8_t> before = FileBytes(folder_.Path("v.avi"));
    std::filesystem::create_directory(folder_.Path("sub"));
    const std::wstring otherSpelling = folder_.Path("sub").wstring() + L"/../v.avi";
    ToolRun run = RunInProcess({L"-avi", avi, L"-video", L"-out", otherSpelling});
    EXPECT_EQ(run.status, -1);
    EXPECT_EQ(run.out, L"Error: cannot open file \"" + otherSpelling + L"\" for writing\n");
    EXPECT_EQ(FileBytes(folder_.Path("v.avi")), before);

    // Without -out the output is named after the first input: a Cadro input would be
    // emptied.
    ASSERT_EQ(RunInProcess({L"-avi", avi, L"-video", L"-out", Out("c.cadro")}).status, 0);
    const std::vector<uint8_t> cadro = FileBytes(folder_.Path("c.cadro"));
    run = RunInProcess({L"-cadro", Out("c.cadro"), L"-avi", avi, L"-video", L"file=1"});
    EXPECT_EQ(run.status, -1);
    EXPECT_EQ(run.out, L"Error: cannot open file \"" + Out("c.cadro") + L"\" for writing\n");
    EXPECT_EQ(FileBytes(folder_.Path("c.cadro")), cadro);
}

TEST_F(MuxRunTest, InfoWithOutReportsOnTheWrittenFileOnly) {
    VideoSpec video;
    AudioSpec audio;
    audio.samples = 20000;
    const std::wstring avi = Avi("av.avi", {video}, {audio});
    ToolRun run = RunInProcess({L"-avi", avi, L"-video", L"-audio", L"-timeline", L"-info",
                                L"csv=true", L"-out", Out()});
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_TRUE(std::filesystem::exists(folder_.Path("out.csv")));
    CadroInputFile written;
    written.name = Out();
    ASSERT_TRUE(written.Open());
    Platform::CaptureConsole console;
    ReportCadro(written, false, console);
    EXPECT_EQ(run.out, console.Out());
    EXPECT_EQ(run.out.find(L"Avi file"), std::wstring::npos);
}

TEST_F(MuxRunTest, AudioRequestsAlternateAroundTheVideoFrameTimes) {
    // 25 fps and 48 kHz: 1920 samples a frame, asked in whole blocks of 256.
    VideoSpec video;
    video.frames = 50;
    AudioSpec audio;
    audio.channels = 1;
    audio.samples = 96000;
    const std::wstring avi = Avi("av.avi", {video}, {audio});
    ASSERT_EQ(RunInProcess({L"-avi", avi, L"-video", L"-audio", L"format=pcm", L"-out", Out()}).status, 0);
    std::vector<ReadStream> streams = ReadCadro(Out());
    ASSERT_EQ(streams.size(), 2u);
    const std::vector<ReadFrame>& frames = streams[1].frames;
    ASSERT_GE(frames.size(), 4u);
    EXPECT_EQ(PcmSamples(frames[0], 1), 2048u);
    EXPECT_EQ(PcmSamples(frames[1], 1), 1792u);
    EXPECT_EQ(PcmSamples(frames[2], 1), 2048u);
    EXPECT_EQ(PcmSamples(frames[3], 1), 1792u);
    // After pass k the audio is within half a block of the video end 1 + (k + 1) * 40000.
    int64_t position = 0;
    for (size_t k = 0; k < frames.size(); ++k) {
        position += PcmSamples(frames[k], 1);
        const int64_t videoEnd = 1 + (static_cast<int64_t>(k) + 1) * 40000;
        EXPECT_LE(std::abs(position * 1000000 / 48000 - videoEnd), 2667) << k;
    }
}

// Answers SamplesUntil from a position and rate set by the test, and delivers what is
// asked, recording each request.
class RecordingAudio final : public CAudioGrabber {
public:
    RecordingAudio(uint32_t rate, uint32_t block) : block_(block) { stream_.frequency = rate; }
    uint32_t GetBlockSize() override { return block_; }
    Korva::StreamAudio* GetStream() override { return &stream_; }
    int64_t GetSamplePosition() override { return position_; }
    const uint8_t* GrabSamples(uint32_t* samples, uint32_t* size, int64_t* time) override {
        requests.push_back(*samples);
        *size = *samples * 2;
        *time = position_ * 1000000 / stream_.frequency + 1;
        return *samples > 0 ? data_ : nullptr;
    }
    void ReleaseSamples(uint32_t size) override { position_ += size / 2; }
    void SetPosition(int64_t position) { position_ = position; }

    std::vector<uint32_t> requests;

private:
    Korva::StreamAudio stream_;
    uint32_t block_;
    int64_t position_ = 0;
    uint8_t data_[1] = {};
};

TEST(SamplesUntil, FollowsTheVideoEndOfEachPass) {
    // The loop's audio step at 25 fps: the video end moves 40000 us a pass.
    RecordingAudio audio(48000, 256);
    for (int pass = 0; pass < 6; ++pass) {
        uint32_t n = audio.SamplesUntil(1 + (pass + 1) * 40000);
        uint32_t size = 0;
        int64_t time = 0;
        if (audio.GrabSamples(&n, &size, &time)) audio.ReleaseSamples(size);
    }
    EXPECT_EQ(audio.requests, (std::vector<uint32_t>{2048, 1792, 2048, 1792, 2048, 1792}));
}

TEST(SamplesUntil, Cases) {
    struct Case {
        uint32_t rate;
        uint32_t block;
        int64_t position;
        int64_t videoEnd;
        uint32_t expected;
    };
    const Case cases[] = {
        {48000, 256, 0, 40001, 2048},
        {48000, 256, 0, 1, 0},             // nothing before the first microsecond
        {48000, 256, 48000, 1000001, 0},   // exactly at the video end
        {48000, 256, 48128, 1000001, 0},   // already past it
        {48000, 256, 0, 100001, 4864},     // a 10 fps step: 4800 samples would wrap in 32 bits
        {48000, 1024, 0, 100001, 5120},
        {44100, 1024, 0, 40001, 2048},     // 1764 rounds to the nearer multiple
        {8000, 256, 0, 40001, 256},
        // Past 2^32 microseconds (71 minutes) of audio.
        {48000, 256, 48000LL * 5000, 5000LL * 1000000 + 40001, 2048},
        {48000, 256, 0, 3600LL * 1000000 + 1, 172800000},
    };
    for (const Case& c : cases) {
        RecordingAudio audio(c.rate, c.block);
        audio.SetPosition(c.position);
        EXPECT_EQ(audio.SamplesUntil(c.videoEnd), c.expected)
            << c.rate << " " << c.block << " " << c.position << " " << c.videoEnd;
    }
}

TEST_F(MuxRunTest, TenFramesASecondStayInSyncWithTheAudio) {
    VideoSpec video;
    video.rate = 10;
    video.frames = 20;
    AudioSpec audio;
    audio.channels = 1;
    audio.samples = 144000;
    const std::wstring avi = Avi("av.avi", {video}, {audio});
    ASSERT_EQ(RunInProcess({L"-avi", avi, L"-video", L"-audio", L"format=pcm", L"-out", Out()}).status, 0);
    std::vector<ReadStream> streams = ReadCadro(Out());
    ASSERT_EQ(streams.size(), 2u);
    int64_t samples = 0;
    for (const ReadFrame& f : streams[1].frames) samples += PcmSamples(f, 1);
    EXPECT_LE(std::abs(samples - 96000), 128);
}

struct LayoutCase {
    uint32_t rate;
    uint32_t scale;
    int32_t width;
    int32_t height;
    int32_t leftLayout;
    int32_t rightLayout;
    int32_t rotation;
};

TEST(ChooseLayout, ByFrameRateAndPictureSize) {
    const LayoutCase cases[] = {
        {25, 1, 640, 480, 6, 6, 0},
        {60, 1, 640, 480, 0, 1, 0},
        {30, 1, 640, 480, 6, 6, 0},     // 30 is not above 30
        {61, 2, 640, 480, 0, 1, 0},     // 30.5 is
        {60, 1, 320, 240, 6, 6, 0},     // undoes the interleaving
        {25, 1, 800, 240, 4, 5, 0},
        {60, 1, 800, 240, 4, 5, 0},
        {25, 1, 480, 400, 4, 5, 1},
        {25, 1, 400, 480, 2, 3, 0},
        {60, 1, 400, 480, 2, 3, 0},
        {25, 1, 240, 800, 2, 3, 1},
        {60, 1, 240, 400, 0, 1, 1},
        {25, 1, 240, 400, 6, 6, 1},
        {25, 1, 240, 320, 6, 6, 1},
        {60, 1, 240, 320, 0, 1, 1},
        {25, 1, 400, 240, 6, 6, 0},
    };
    TempFolder folder;
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.rate) + "/" + std::to_string(c.scale) + " " +
                     std::to_string(c.width) + "x" + std::to_string(c.height));
        AviBuilder builder;
        builder.AddStream(AviBuilder::Video("TZNK", c.rate, c.scale, c.width, c.height));
        ASSERT_TRUE(builder.WriteTo(folder.Path("l.avi")));
        CAviFile avi;
        ASSERT_TRUE(avi.Open(folder.Path("l.avi").wstring()));
        int32_t layout = -1;
        int32_t rotation = -1;
        ChooseLayout(avi, 0, true, &layout, &rotation);
        EXPECT_EQ(layout, c.leftLayout);
        EXPECT_EQ(rotation, c.rotation);
        ChooseLayout(avi, 0, false, &layout, &rotation);
        EXPECT_EQ(layout, c.rightLayout);
        EXPECT_EQ(rotation, c.rotation);
    }
}

TEST_F(MuxRunTest, GivenStereoOrRotationTurnsTheAutomaticChoiceOff) {
    struct Case {
        uint32_t rate;
        int32_t width;
        int32_t height;
        std::vector<std::wstring> options;
        int32_t layout;
        int32_t rotation;
    };
    const std::vector<Case> cases = {
        {60, 240, 400, {}, 0, 1},
        {60, 240, 400, {L"firsteye=right"}, 1, 1},
        {60, 240, 400, {L"stereo=none"}, 6, 0},
        {60, 240, 400, {L"rotation=none"}, 6, 0},
        {25, 800, 240, {L"rotation=180"}, 6, 2},
        {25, 800, 240, {L"stereo=toptobottom", L"firsteye=right"}, 3, 0},
    };
    for (const Case& c : cases) {
        VideoSpec video;
        video.rate = c.rate;
        video.width = c.width;
        video.height = c.height;
        video.frames = 4;
        const std::wstring avi = Avi("l.avi", {video});
        std::vector<std::wstring> arguments = {L"-avi", avi, L"-video"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        arguments.insert(arguments.end(), {L"-out", Out()});
        ASSERT_EQ(RunInProcess(arguments).status, 0);
        std::vector<ReadStream> streams = ReadCadro(Out());
        ASSERT_EQ(streams.size(), 1u);
        EXPECT_EQ(streams[0].layout, c.layout);
        EXPECT_EQ(streams[0].rotation, c.rotation);
    }
}

double SignalToNoise(const std::vector<int16_t>& source, const std::vector<int16_t>& decoded) {
    double signal = 0;
    double noise = 0;
    for (size_t i = 0; i < decoded.size(); ++i) {
        const double s = source[i];
        const double d = decoded[i];
        signal += s * s;
        noise += (s - d) * (s - d);
    }
    return 10 * std::log10(signal / std::max(noise, 1.0));
}

TEST_F(MuxRunTest, EncodedFormatsCoverTheVideoAndDecodeBackToTheSource) {
    VideoSpec video;
    video.frames = 25;
    AudioSpec audio;
    audio.samples = 60000;
    const std::wstring avi = Avi("av.avi", {video}, {audio});
    const std::vector<int16_t> source = Tone(audio.samples, 2, 0);
    struct Format {
        const wchar_t* name;
        int32_t codec;
        uint32_t block;
    };
    for (const Format& format : {Format{L"adpcm", 1, 256}, Format{L"vl", 0, 256},
                                 Format{L"dsp-adpcm", 4, 1024}}) {
        SCOPED_TRACE(Platform::ToUtf8(format.name));
        ToolRun run = RunInProcess({L"-avi", avi, L"-video", L"-audio",
                                    std::wstring(L"format=") + format.name, L"-timeline",
                                    L"type=audio", L"-out", Out()});
        ASSERT_EQ(run.status, 0) << run.out << run.err;
        std::vector<ReadStream> streams = ReadCadro(Out());
        ASSERT_EQ(streams.size(), 3u);
        const ReadStream& a = streams[1];
        EXPECT_EQ(a.codec, format.codec);
        EXPECT_EQ(a.frequency, 48000u);
        EXPECT_EQ(a.channels, 2u);
        // The audio timeline counts the source's samples: 1 s, to half a block.
        const ReadStream& t = streams[2];
        EXPECT_EQ(t.header.frameCount, a.frames.size());
        EXPECT_NEAR(static_cast<double>(t.header.duration), 1e6,
                    format.block * 5e5 / 48000 + a.frames.size());
        std::vector<int16_t> decoded;
        if (format.codec == 1) {
            ImaAdpcmDecoder decoder(2);
            for (const ReadFrame& f : a.frames) {
                ASSERT_TRUE(decoder.DecodeFrame(f.bytes.data(), f.bytes.size(), &decoded));
            }
        } else if (format.codec == 0) {
            VeluneDecoder decoder(2);
            for (const ReadFrame& f : a.frames) {
                ASSERT_TRUE(decoder.DecodeFrame(f.bytes.data(), f.bytes.size(), &decoded));
            }
        } else {
            continue;  // its frames need the codec library's byte counts to decode
        }
        EXPECT_LE(std::abs(static_cast<double>(decoded.size()) / 2 - 48000), 128);
        if (format.codec == 1) {
            EXPECT_GT(SignalToNoise(source, decoded), 20.0);
        }
    }
}

#ifndef _WIN32
TEST_F(MuxRunTest, EncoderThatCannotStartFailsTheSelectionWithTheLoaderMessageOnly) {
    // A copy of the tool in a folder without the codec library, and no SDK folder named.
    const std::filesystem::path tool = folder_.Path("CadroTool");
    std::filesystem::copy_file(CADRO_TOOL_PATH, tool);
    VideoSpec video;
    AudioSpec audio;
    audio.samples = 4800;
    Avi("av.avi", {video}, {audio});
    const std::string command = "cd '" + folder_.Path("").string() +
                                "' && env -u PXNSDK_ROOT -u LD_LIBRARY_PATH ./CadroTool -avi av.avi"
                                " -video -audio format=dsp-adpcm -out o.cadro 2>err.txt";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buffer[256];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    const int status = ::pclose(pipe);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 255) << status;
    EXPECT_EQ(out, "");
    const std::vector<uint8_t> err = FileBytes(folder_.Path("err.txt"));
    EXPECT_EQ(std::string(err.begin(), err.end()),
              "libWaveCodecPxn.so could not be found, please define the PXNSDK_ROOT environment "
              "variable\n");
}
#endif

TEST_F(MuxRunTest, ToolBinaryOutputReadsBackThroughCadroInput) {
    VideoSpec video;
    video.frames = 20;
    video.keyEvery = 6;
    AudioSpec audio;
    audio.samples = 40000;
    const std::wstring avi = Avi("av.avi", {video}, {audio});
    const std::string out = folder_.Path("bin.cadro").string();
    ProcessRun run = RunBinary({"-avi", folder_.Path("av.avi").string(), "-video", "-audio",
                                "format=pcm", "-timeline", "-out", out});
    ASSERT_EQ(run.status, 0) << run.out;
    std::vector<ReadStream> streams = ReadCadro(folder_.Path("bin.cadro").wstring());
    ASSERT_EQ(streams.size(), 3u);
    ExpectVideoFrames(streams[0], video, 20);
    const std::vector<uint8_t> written = streams[1].Concatenated();
    const std::vector<uint8_t> source = AudioBytes(audio);
    ASSERT_LE(written.size(), source.size());
    EXPECT_TRUE(std::equal(written.begin(), written.end(), source.begin()));
    EXPECT_EQ(streams[2].entries.size(), 4u);

    // The same file through -cadro -info, as the binary prints it.
    ProcessRun info = RunBinary({"-cadro", out, "-info"});
    EXPECT_EQ(info.status, 0);
    CadroInputFile file;
    file.name = folder_.Path("bin.cadro").wstring();
    ASSERT_TRUE(file.Open());
    Platform::CaptureConsole console;
    ReportCadro(file, false, console);
    EXPECT_EQ(info.out, Platform::ToUtf8(console.Out()));
}

}  // namespace
