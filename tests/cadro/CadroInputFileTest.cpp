#include "cadro/CadroInputFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "cadro/CCadroAudioGrabber.h"
#include "cadro/CCadroTimelineGrabber.h"
#include "cadro/CCadroVideoGrabber.h"
#include "cadro/CadroMemory.h"
#include "cadro/CadroMuxer.h"
#include "korva/StreamDescriptors.h"
#include "korva/StreamFrameQueue.h"
#include "korva/Timeline.h"

namespace {

struct WrittenFrame {
    std::vector<uint8_t> bytes;
    int64_t time;
    uint32_t frameType;
};

// What a test file holds: a video stream with layout (index 0), an audio stream (1) and a
// timeline of the video stream (2), as the run loop writes them.
struct Contents {
    std::vector<WrittenFrame> video;
    std::vector<WrittenFrame> audio;
    std::vector<uint8_t> timeline;
};

std::vector<uint8_t> TimelinePayload(uint32_t entries, uint32_t frameCount) {
    Korva::TimelineHeader header;
    header.entryCount = entries;
    header.frameCount = frameCount;
    header.duration = 4000000;
    std::vector<Korva::TimelineEntry> list(entries);
    for (uint32_t i = 0; i < entries; ++i) {
        list[i].frameIndex = static_cast<int32_t>(i * 10);
        list[i].time = 1 + i * 400000;
        list[i].position = 4096 * i;
    }
    std::vector<uint8_t> payload(Korva::TimelinePayloadSize(entries));
    Korva::StoreTimeline(header, list.data(), payload.data());
    return payload;
}

Contents WriteFile(const std::wstring& path, uint32_t packetSize, bool variable,
                   uint32_t videoFrames = 30, uint32_t timelineEntries = 3) {
    Contents contents;
    CadroMemoryMuxer memory;
    CadroMuxer mux(&memory);
    EXPECT_TRUE(mux.Open(path, packetSize, 15000000, false, variable, false));
    Korva::Stream* stream = nullptr;
    EXPECT_EQ(mux.AddStream(Korva::kTypeVideoWithLayout, &stream), 0);
    auto* video = static_cast<Korva::StreamVideoWithLayout*>(stream);
    video->rateNum = 25;
    video->rateDen = 1;
    video->width = 320;
    video->height = 240;
    video->pixelNum = video->pixelDen = 1;
    video->layout = Korva::kLayoutSideBySideLeftFirst;
    EXPECT_EQ(mux.AddStream(Korva::kTypeAudio, &stream), 0);
    auto* audio = static_cast<Korva::StreamAudio*>(stream);
    audio->codec = Korva::kAudioCodecImaAdpcm;
    audio->frequency = 44100;
    audio->channels = 2;
    EXPECT_EQ(mux.AddStream(Korva::kTypeTimeline, &stream), 0);
    static_cast<Korva::StreamTimeline*>(stream)->refIndex = 0;

    contents.timeline = TimelinePayload(timelineEntries, videoFrames);
    EXPECT_TRUE(mux.AddFrame(2, contents.timeline.data(),
                             static_cast<uint32_t>(contents.timeline.size()), 1, 0, true));
    std::mt19937 rng(packetSize);
    for (uint32_t i = 0; i < videoFrames; ++i) {
        WrittenFrame frame;
        frame.bytes.resize(i % 7 == 3 ? 20000 + rng() % 3000 : 1 + rng() % 1500);
        for (auto& b : frame.bytes) b = static_cast<uint8_t>(rng());
        frame.time = 1 + i * 40000;
        frame.frameType = i % 10 == 0 ? 0 : 1;
        EXPECT_TRUE(mux.AddFrame(0, frame.bytes.data(), static_cast<uint32_t>(frame.bytes.size()),
                                 frame.time, frame.frameType, frame.frameType == 0));
        contents.video.push_back(std::move(frame));
        WrittenFrame sound;
        sound.bytes.resize(1 + rng() % 600);
        for (auto& b : sound.bytes) b = static_cast<uint8_t>(rng());
        sound.time = 1 + i * 40000 + 20000;
        sound.frameType = 0;
        EXPECT_TRUE(mux.AddFrame(1, sound.bytes.data(), static_cast<uint32_t>(sound.bytes.size()),
                                 sound.time, 0, false));
        contents.audio.push_back(std::move(sound));
    }
    EXPECT_TRUE(mux.Close());
    return contents;
}

class CadroInputFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = std::filesystem::temp_directory_path() /
                (std::string("cadro_input_") +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".cadro");
        file.name = path_.wstring();
    }
    void TearDown() override {
        file.Close();
        std::filesystem::remove(path_);
    }
    void WriteBytes(const std::vector<uint8_t>& bytes) {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    std::vector<uint8_t> ReadBytes() {
        std::ifstream in(path_, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }

    std::filesystem::path path_;
    CadroInputFile file;
};

TEST_F(CadroInputFileTest, GrabbersDeliverEveryFrame) {
    struct Case {
        uint32_t packetSize;
        bool variable;
    };
    for (Case c : {Case{4096, true}, Case{100, true}, Case{2048, false}, Case{65535, true}}) {
        SCOPED_TRACE(c.packetSize);
        Contents contents = WriteFile(file.name, c.packetSize, c.variable);
        if (c.variable) {
            ASSERT_NE(std::filesystem::file_size(path_) % c.packetSize, 0u);
        }
        ASSERT_TRUE(file.Open());
        CadroDemuxer* demuxer = file.GetDemuxer();
        ASSERT_NE(demuxer, nullptr);
        EXPECT_EQ(demuxer->GetFileReader().GetSize(),
                  static_cast<int64_t>(std::filesystem::file_size(path_)));
        ASSERT_EQ(demuxer->GetStreamCount(), 3u);

        CCadroTimelineGrabber timeline;
        ASSERT_TRUE(timeline.Load(demuxer, 2));
        EXPECT_EQ(timeline.GetStream()->refIndex, 0);
        EXPECT_EQ(timeline.GetEntryCount(), 3u);
        EXPECT_EQ(timeline.GetHeader()->frameCount, 30u);
        EXPECT_EQ(timeline.GetHeader()->duration, 4000000);
        EXPECT_EQ(timeline.GetEntries()[2].frameIndex, 20);
        EXPECT_EQ(timeline.GetEntries()[2].position, 8192);
        ASSERT_EQ(timeline.GetDataSize(), contents.timeline.size());
        EXPECT_TRUE(std::equal(contents.timeline.begin(), contents.timeline.end(),
                               timeline.GetData()));
        // The frame stays queued: loading again gives the same table.
        CCadroTimelineGrabber again;
        ASSERT_TRUE(again.Load(demuxer, 2));
        EXPECT_EQ(again.GetDataSize(), timeline.GetDataSize());

        CCadroVideoGrabber video;
        ASSERT_TRUE(video.Init(demuxer, 0, 0));
        EXPECT_EQ(video.GetStream()->width, 320);
        EXPECT_EQ(static_cast<Korva::StreamVideoWithLayout*>(video.GetStream())->layout,
                  Korva::kLayoutSideBySideLeftFirst);
        for (size_t i = 0; i < contents.video.size(); ++i) {
            uint32_t size = 0, frameType = 9;
            int64_t time = 0;
            const uint8_t* data = video.GrabFrame(&size, &frameType, &time);
            ASSERT_NE(data, nullptr) << "video frame " << i;
            ASSERT_EQ(std::vector<uint8_t>(data, data + size), contents.video[i].bytes) << i;
            EXPECT_EQ(time, contents.video[i].time);
            EXPECT_EQ(frameType, contents.video[i].frameType);
            EXPECT_EQ(video.GetFrameIndex(), static_cast<int32_t>(i + 1));
        }
        uint32_t size = 77, frameType = 0;
        int64_t time = 0;
        EXPECT_EQ(video.GrabFrame(&size, &frameType, &time), nullptr);
        EXPECT_EQ(size, 0u);

        // The audio frames passed meanwhile waited in their own queue.
        CCadroAudioGrabber audio;
        ASSERT_TRUE(audio.Init(demuxer, 1, 1));
        EXPECT_EQ(audio.GetStream()->frequency, 44100u);
        EXPECT_EQ(audio.GetBlockSize(), 256u);
        for (size_t i = 0; i < contents.audio.size(); ++i) {
            uint32_t samples = 0;
            const uint8_t* data = audio.GrabSamples(&samples, &size, &time);
            ASSERT_NE(data, nullptr) << "audio frame " << i;
            ASSERT_EQ(std::vector<uint8_t>(data, data + size), contents.audio[i].bytes) << i;
            EXPECT_EQ(time, contents.audio[i].time);
            EXPECT_EQ(audio.GetSamplePosition(), 0);
        }
        uint32_t samples = 0;
        EXPECT_EQ(audio.GrabSamples(&samples, &size, &time), nullptr);
        file.Close();
        EXPECT_EQ(file.GetDemuxer(), nullptr);
    }
}

// A reader that only counts frames walks one stream to the end of the file without the
// other streams' bytes piling up: their frames wait as sizes. Timelines keep their bytes.
TEST_F(CadroInputFileTest, CountingReadersHoldNoBytesOfTheOtherStreams) {
    for (bool keep : {true, false}) {
        SCOPED_TRACE(keep);
        Contents contents = WriteFile(file.name, 4096, true, 300);
        ASSERT_TRUE(file.Open());
        CadroDemuxer* demuxer = file.GetDemuxer();
        demuxer->KeepMediaPayloads(keep);

        CCadroVideoGrabber video;
        ASSERT_TRUE(video.Init(demuxer, 0, 0));
        uint32_t size = 0;
        for (const WrittenFrame& frame : contents.video) {
            ASSERT_TRUE(video.SkipFrame(&size));
            EXPECT_EQ(size, frame.bytes.size());
        }
        EXPECT_FALSE(video.SkipFrame(&size));
        EXPECT_EQ(video.GetFrameIndex(), 300);

        const uint32_t held =
            Korva::Demux::QueueOf(demuxer->GetStreamAt(1))->GetBytesHeld();
        if (keep) {
            EXPECT_GT(held, 50000u);
        } else {
            EXPECT_LT(held, 4096u);  // at most what was read before the switch
        }
        CCadroAudioGrabber audio;
        ASSERT_TRUE(audio.Init(demuxer, 1, 1));
        for (const WrittenFrame& frame : contents.audio) {
            ASSERT_TRUE(audio.SkipFrame(&size));
            EXPECT_EQ(size, frame.bytes.size());
        }
        EXPECT_FALSE(audio.SkipFrame(&size));

        CCadroTimelineGrabber timeline;
        ASSERT_TRUE(timeline.Load(demuxer, 2));
        EXPECT_EQ(timeline.GetDataSize(), contents.timeline.size());
        file.Close();
    }
}

TEST_F(CadroInputFileTest, GrabberSetupChecksPositionAndKind) {
    WriteFile(file.name, 4096, true, 5);
    ASSERT_TRUE(file.Open());
    CadroDemuxer* demuxer = file.GetDemuxer();
    CCadroVideoGrabber video;
    CCadroAudioGrabber audio;
    CCadroTimelineGrabber timeline;
    EXPECT_FALSE(video.Init(nullptr, 0, 0));
    EXPECT_FALSE(video.Init(demuxer, 1, 1));  // audio there
    EXPECT_FALSE(video.Init(demuxer, 3, 3));  // the stream count
    EXPECT_FALSE(video.Init(demuxer, -1, 0));
    EXPECT_FALSE(audio.Init(demuxer, 0, 0));
    EXPECT_FALSE(audio.Init(demuxer, 3, 3));
    EXPECT_FALSE(timeline.Load(demuxer, 0));
    EXPECT_FALSE(timeline.Load(demuxer, 3));
    EXPECT_FALSE(timeline.Load(nullptr, 2));
    // Set-up gives the descriptor the index asked for.
    ASSERT_TRUE(audio.Init(demuxer, 1, 7));
    EXPECT_EQ(demuxer->GetStreamAt(1)->index, 7);
}

TEST_F(CadroInputFileTest, TimelineWithoutEntries) {
    WriteFile(file.name, 4096, true, 3, 0);
    ASSERT_TRUE(file.Open());
    CCadroTimelineGrabber timeline;
    ASSERT_TRUE(timeline.Load(file.GetDemuxer(), 2));
    EXPECT_EQ(timeline.GetDataSize(), 16u);
    EXPECT_EQ(timeline.GetEntryCount(), 0u);
    EXPECT_EQ(timeline.GetHeader()->frameCount, 3u);
}

TEST_F(CadroInputFileTest, FilesWithoutStreamsDoNotOpen) {
    const std::vector<std::vector<uint8_t>> contents = {
        {},                              // empty
        std::vector<uint8_t>(5000, 0x4C),  // no synchro header
    };
    for (const auto& bytes : contents) {
        WriteBytes(bytes);
        EXPECT_FALSE(file.Open());
        EXPECT_EQ(file.GetDemuxer(), nullptr);
    }
    std::filesystem::remove(path_);
    EXPECT_FALSE(file.Open());
}

// A file that loses its end while it is read: the reads keep failing short of the size
// taken at open. The grabbers retry a few times, then take it as the end of their stream.
TEST_F(CadroInputFileTest, ReadsFailingForeverEndTheStream) {
    Contents contents = WriteFile(file.name, 4096, true, 40);
    ASSERT_TRUE(file.Open());
    std::filesystem::resize_file(path_, std::filesystem::file_size(path_) / 2);
    CCadroVideoGrabber video;
    ASSERT_TRUE(video.Init(file.GetDemuxer(), 0, 0));
    uint32_t size = 0, frameType = 0;
    int64_t time = 0;
    size_t frames = 0;
    while (video.GrabFrame(&size, &frameType, &time) != nullptr) ++frames;
    EXPECT_GT(frames, 0u);
    EXPECT_LT(frames, contents.video.size());
    EXPECT_EQ(size, 0u);
    EXPECT_FALSE(file.GetDemuxer()->GetFileReader().IsEnd());
}

// Opens a damaged file and pulls everything out of it through the grabbers, as the
// report does. Returns the number of grab calls made, which must stay bounded.
int ReadEverything(CadroInputFile& file) {
    if (!file.Open()) return 0;
    CadroDemuxer* demuxer = file.GetDemuxer();
    int calls = 0;
    for (uint32_t i = 0; i < demuxer->GetStreamCount() && calls < 100000; ++i) {
        CCadroTimelineGrabber timeline;
        if (timeline.Load(demuxer, static_cast<int32_t>(i))) {
            timeline.GetHeader();
            ++calls;
            continue;
        }
        CCadroVideoGrabber video;
        if (video.Init(demuxer, static_cast<int32_t>(i), static_cast<int32_t>(i))) {
            uint32_t size = 0, type = 0;
            int64_t time = 0;
            while (video.GrabFrame(&size, &type, &time) != nullptr && ++calls < 100000) {
            }
        }
        CCadroAudioGrabber audio;
        if (audio.Init(demuxer, static_cast<int32_t>(i), static_cast<int32_t>(i))) {
            uint32_t samples = 0, size = 0;
            int64_t time = 0;
            while (audio.GrabSamples(&samples, &size, &time) != nullptr && ++calls < 100000) {
            }
        }
    }
    file.Close();
    return calls;
}

TEST_F(CadroInputFileTest, DamagedFilesAreReadSafely) {
    WriteFile(file.name, 100, true, 3);
    const std::vector<uint8_t> whole = ReadBytes();
    ASSERT_GT(ReadEverything(file), 6);
    // Every cut inside the first synchro blocks, then a sample of the rest (the demuxer's
    // own tests cut a file in memory at every byte).
    for (size_t length = 0; length < whole.size(); length += length < 600 ? 1 : 29) {
        WriteBytes(std::vector<uint8_t>(whole.begin(), whole.begin() + length));
        ASSERT_LT(ReadEverything(file), 100000) << "cut at " << length;
    }
    std::mt19937 rng(99);
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> bytes = whole;
        for (int i = 0; i < 1 + round % 6; ++i) {
            bytes[rng() % bytes.size()] ^= static_cast<uint8_t>(1 + rng() % 255);
        }
        WriteBytes(bytes);
        ASSERT_LT(ReadEverything(file), 100000) << "round " << round;
    }
}

}  // namespace
