#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "korva/StreamDescriptors.h"
#include "sources/AviAudioGrabber.h"
#include "sources/AviInputFile.h"
#include "sources/AviVideoGrabber.h"
#include "sources/VideoRate.h"
#include "tests/sources/TempFiles.h"
#include "tests/support/TestMux.h"
#include "tests/support/AviBuilder.h"

namespace {

class AviGrabbersTest : public ::testing::Test {
protected:
    CAviFile& Open(const AviBuilder& avi) {
        inputs_.push_back(std::make_unique<AviInputFile>());
        AviInputFile& input = *inputs_.back();
        input.name = folder_.Write("file" + std::to_string(inputs_.size()) + ".avi", avi.Build());
        EXPECT_TRUE(input.Open());
        return input.GetFile();
    }

    // A video frame chunk: the 4-byte prefix the grabber strips, then `marker`.
    static std::vector<uint8_t> Frame(uint8_t marker, uint32_t extra = 0) {
        std::vector<uint8_t> bytes = {0xEE, 0xEE, 0xEE, 0xEE, marker};
        bytes.resize(bytes.size() + extra, marker);
        return bytes;
    }
    static std::vector<uint8_t> Samples(std::initializer_list<int16_t> values) {
        std::vector<uint8_t> out;
        for (int16_t v : values) {
            PutU16(out, static_cast<uint16_t>(v));
        }
        return out;
    }
    static std::vector<int16_t> Values(const uint8_t* data, uint32_t size) {
        std::vector<int16_t> out;
        for (uint32_t i = 0; i + 1 < size; i += 2) {
            out.push_back(static_cast<int16_t>(data[i] | (data[i + 1] << 8)));
        }
        return out;
    }

    TempFolder folder_;
    TestMux mux_;
    std::vector<std::unique_ptr<AviInputFile>> inputs_;
};

TEST_F(AviGrabbersTest, VideoInitAcceptsTarsicHandlersAndFillsTheDescriptor) {
    struct Case {
        const char* handler;
        bool accepted;
        int32_t codec;
    };
    const Case cases[] = {{"TZNK", true, 0}, {"tznk", true, 0}, {"QRB7", true, 0},
                          {"qrb7", true, 0}, {"KBWX", true, 2}, {"kbwx", true, 2},
                          {"Tznk", false, 0}, {"XVID", false, 0}};
    AviBuilder avi;
    for (const Case& c : cases) {
        avi.AddStream(AviBuilder::Video(c.handler, 30000, 1001, 800, 240));
    }
    AviBuilder::Stream noRate = AviBuilder::Video("TZNK", 0, 1, 320, 240);
    avi.AddStream(noRate);
    CAviFile& file = Open(avi);
    for (uint32_t i = 0; i < std::size(cases); ++i) {
        CAviVideoGrabber grabber;
        bool ok = grabber.Init(&file, i, 4, 1, 1, 1, 7, mux_.Get());
        EXPECT_EQ(ok, cases[i].accepted) << cases[i].handler;
        if (!ok) {
            continue;
        }
        auto* d = grabber.GetDescriptor();
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(grabber.GetStream(), d);
        EXPECT_EQ(d->type, 3u);
        EXPECT_EQ(d->codec, cases[i].codec);
        EXPECT_EQ(d->layout, 4);
        EXPECT_EQ(d->rotation, 1);
        EXPECT_EQ(d->rateNum, 30000);
        EXPECT_EQ(d->rateDen, 1001);
        EXPECT_EQ(d->width, 800);
        EXPECT_EQ(d->height, 240);
        EXPECT_EQ(d->pixelNum, 1);
        EXPECT_EQ(d->pixelDen, 1);
        EXPECT_EQ(d->index, 7);
    }
    CAviVideoGrabber grabber;
    EXPECT_FALSE(grabber.Init(&file, std::size(cases), 6, 0, 1, 1, 0, mux_.Get())) << "rate 0";
    EXPECT_FALSE(grabber.Init(&file, 99, 6, 0, 1, 1, 0, mux_.Get())) << "no such stream";
}

TEST_F(AviGrabbersTest, RatesThatDoNotFitIn16BitsAreReducedOrApproximated) {
    struct Case {
        uint32_t rate;
        uint32_t scale;
        uint16_t num;
        uint16_t den;
    };
    const Case exact[] = {
        {25, 1, 25, 1},           {30000, 1001, 30000, 1001}, {50, 2, 50, 2},
        {25000000, 1000000, 25, 1}, {30000000, 1001000, 30000, 1001}, {100000, 4, 25000, 1},
    };
    for (const Case& c : exact) {
        VideoRate r = FitVideoRate(c.rate, c.scale);
        EXPECT_EQ(r.num, c.num) << c.rate << "/" << c.scale;
        EXPECT_EQ(r.den, c.den) << c.rate << "/" << c.scale;
    }
    // No exact 16-bit form: the closest one, never with a zero term.
    const std::pair<uint32_t, uint32_t> approximate[] = {
        {1000000000, 33366667}, {100000, 3}, {3, 100000}, {1, 4000000000u}, {4000000000u, 1},
        {65537, 65536},
    };
    for (auto [rate, scale] : approximate) {
        VideoRate r = FitVideoRate(rate, scale);
        ASSERT_GT(r.num, 0);
        ASSERT_GT(r.den, 0);
        double want = static_cast<double>(rate) / scale;
        double got = static_cast<double>(r.num) / r.den;
        double clampedWant = std::min(std::max(want, 1.0 / 65535), 65535.0);
        EXPECT_NEAR(got, clampedWant, clampedWant * 1e-4 + 1e-5) << rate << "/" << scale;
    }
    // The best fits, found by trying every denominator.
    const Case best[] = {{1000000000, 33366667, 30000, 1001}, {100000, 3, 33333, 1}, {65537, 65536, 65535, 65534}};
    for (const Case& c : best) {
        VideoRate r = FitVideoRate(c.rate, c.scale);
        EXPECT_EQ(r.num, c.num) << c.rate << "/" << c.scale;
        EXPECT_EQ(r.den, c.den) << c.rate << "/" << c.scale;
    }
}

TEST_F(AviGrabbersTest, VideoFramesCarryKeyFlagsAndTimes) {
    AviBuilder avi;
    int v = avi.AddStream(AviBuilder::Video("TZNK", 30000, 1001, 320, 240));
    const bool keys[] = {true, false, false, true, false};
    for (int i = 0; i < 5; ++i) {
        avi.AddChunk(v, Frame(static_cast<uint8_t>(i), static_cast<uint32_t>(i)), keys[i]);
    }
    avi.AddChunk(v, {0xEE, 0xEE}, true);  // shorter than the prefix: an empty frame
    CAviFile& file = Open(avi);
    CAviVideoGrabber grabber;
    ASSERT_TRUE(grabber.Init(&file, 0, 6, 0, 1, 1, 0, mux_.Get()));
    for (int i = 0; i < 5; ++i) {
        uint32_t size = 0, type = 9;
        int64_t time = 0;
        const uint8_t* data = grabber.GrabFrame(&size, &type, &time);
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(size, 1u + static_cast<uint32_t>(i));
        EXPECT_EQ(data[0], i);
        EXPECT_EQ(type, keys[i] ? 0u : 1u);
        EXPECT_EQ(time, int64_t{i} * 1001 * 1000000 / 30000 + 1);
        EXPECT_EQ(grabber.GetFrameIndex(), i + 1);
    }
    uint32_t size = 9, type = 9;
    int64_t time = 0;
    EXPECT_NE(grabber.GrabFrame(&size, &type, &time), nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(type, 0u);
    EXPECT_EQ(grabber.GrabFrame(&size, &type, &time), nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(grabber.GetFrameIndex(), 6);
}

TEST_F(AviGrabbersTest, InterleavedStereoPairsShareATimeAndUnindexedFramesAreNotKey) {
    AviBuilder avi;
    avi.legacyIndex = false;
    int v = avi.AddStream(AviBuilder::Video("TZNK", 25000000, 1000000, 320, 240));
    for (int i = 0; i < 6; ++i) {
        avi.AddChunk(v, Frame(static_cast<uint8_t>(i)));
    }
    CAviFile& file = Open(avi);
    CAviVideoGrabber grabber;
    ASSERT_TRUE(grabber.Init(&file, 0, 1, 0, 1, 1, 0, mux_.Get()));
    std::vector<int64_t> times;
    uint32_t size, type;
    int64_t time;
    while (grabber.GrabFrame(&size, &type, &time) != nullptr) {
        EXPECT_EQ(type, 1u);
        times.push_back(time);
    }
    EXPECT_EQ(times, (std::vector<int64_t>{1, 1, 80001, 80001, 160001, 160001}));
}

TEST_F(AviGrabbersTest, StreamsReadTogetherLoseNoChunk) {
    // Two video streams and an audio stream share one walk; whichever grabber walks
    // past another stream's chunk leaves it queued for that stream's first grab.
    AviBuilder avi;
    int left = avi.AddStream(AviBuilder::Video("TZNK", 25, 1, 320, 240));
    int right = avi.AddStream(AviBuilder::Video("TZNK", 25, 1, 320, 240));
    int audio = avi.AddStream(AviBuilder::Audio(1, 1, 8000, 16));
    int text = avi.AddStream(AviBuilder::Other());
    for (int i = 0; i < 4; ++i) {
        avi.AddChunk(audio, Samples({static_cast<int16_t>(i), static_cast<int16_t>(i)}));
        avi.AddChunk(text, {1, 2, 3});
        avi.AddChunk(right, Frame(static_cast<uint8_t>(100 + i)));
        avi.AddChunk(left, Frame(static_cast<uint8_t>(i)));
    }
    CAviFile& file = Open(avi);
    CAviVideoGrabber first, second;
    CAviAudioGrabber sound;
    ASSERT_TRUE(first.Init(&file, 0, 6, 0, 1, 1, 0, mux_.Get()));
    ASSERT_TRUE(second.Init(&file, 1, 6, 0, 1, 1, 1, mux_.Get()));
    ASSERT_TRUE(sound.Init(&file, 0, 2, mux_.Get()));
    uint32_t size, type;
    int64_t time;
    for (int i = 0; i < 4; ++i) {
        const uint8_t* a = first.GrabFrame(&size, &type, &time);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a[0], i);
        const uint8_t* b = second.GrabFrame(&size, &type, &time);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b[0], 100 + i);
    }
    uint32_t samples = 100;
    const uint8_t* pcm = sound.GrabSamples(&samples, &size, &time);
    ASSERT_NE(pcm, nullptr);
    EXPECT_EQ(Values(pcm, size), (std::vector<int16_t>{0, 0, 1, 1, 2, 2, 3, 3}));
    // Only the two current frames are held: the text stream has no reader, so none of
    // its chunks was kept.
    EXPECT_EQ(file.QueuedBytes(), 2u * 5);
}

TEST_F(AviGrabbersTest, AudioInitAcceptsOnlyPcm16MonoOrStereo) {
    struct Case {
        uint16_t tag;
        uint16_t channels;
        uint32_t rate;
        uint16_t bits;
        bool accepted;
    };
    const Case cases[] = {{1, 1, 8000, 16, true},  {1, 2, 48000, 16, true}, {1, 2, 44100, 8, false},
                          {3, 2, 44100, 32, false}, {1, 3, 44100, 16, false}, {2, 2, 44100, 16, false},
                          {1, 2, 0, 16, false}, {0xFFFE, 2, 44100, 16, false}};
    AviBuilder avi;
    for (const Case& c : cases) {
        avi.AddStream(AviBuilder::Audio(c.tag, c.channels, c.rate, c.bits));
    }
    CAviFile& file = Open(avi);
    for (uint32_t i = 0; i < std::size(cases); ++i) {
        CAviAudioGrabber grabber;
        bool ok = grabber.Init(&file, i, 3, mux_.Get());
        EXPECT_EQ(ok, cases[i].accepted) << i;
        if (ok) {
            Korva::StreamAudio* d = grabber.GetStream();
            EXPECT_EQ(d->type, 2u);
            EXPECT_EQ(d->codec, 2);
            EXPECT_EQ(d->channels, cases[i].channels);
            EXPECT_EQ(d->frequency, cases[i].rate);
            EXPECT_EQ(d->index, 3);
            EXPECT_EQ(grabber.GetBlockSize(), 256u);
        }
    }
}

TEST_F(AviGrabbersTest, AudioRequestsSpanChunksAndStraddleTheEnd) {
    AviBuilder avi;
    int v = avi.AddStream(AviBuilder::Video("TZNK", 25, 1, 320, 240));
    int a = avi.AddStream(AviBuilder::Audio(1, 2, 32000, 16));
    avi.AddChunk(a, Samples({1, -1, 2, -2, 3, -3}));
    avi.AddChunk(v, Frame(0));
    std::vector<uint8_t> odd = Samples({4, -4});
    odd.push_back(0x77);  // a stray last byte is not a sample
    avi.AddChunk(a, odd);
    avi.AddChunk(a, {});
    avi.AddChunk(a, Samples({5, -5, 6, -6, 7, -7}));
    CAviFile& file = Open(avi);
    CAviAudioGrabber grabber;
    ASSERT_TRUE(grabber.Init(&file, 0, 0, mux_.Get()));

    uint32_t samples = 4, size = 0;
    int64_t time = 0;
    const uint8_t* data = grabber.GrabSamples(&samples, &size, &time);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(samples, 4u);
    EXPECT_EQ(size, 16u);
    EXPECT_EQ(time, 1);
    EXPECT_EQ(Values(data, size), (std::vector<int16_t>{1, -1, 2, -2, 3, -3, 4, -4}));
    // Without a release the same samples come again.
    samples = 2;
    data = grabber.GrabSamples(&samples, &size, &time);
    EXPECT_EQ(Values(data, size), (std::vector<int16_t>{1, -1, 2, -2}));
    grabber.ReleaseSamples(8);
    EXPECT_EQ(grabber.GetSamplePosition(), 2);

    samples = 10;  // only 5 remain
    data = grabber.GrabSamples(&samples, &size, &time);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(samples, 5u);
    EXPECT_EQ(time, 2 * 1000000 / 32000 + 1);
    EXPECT_EQ(Values(data, size), (std::vector<int16_t>{3, -3, 4, -4, 5, -5, 6, -6, 7, -7}));
    grabber.ReleaseSamples(size);
    samples = 10;
    EXPECT_EQ(grabber.GrabSamples(&samples, &size, &time), nullptr);
    EXPECT_EQ(samples, 0u);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(grabber.GetSamplePosition(), 7);
}

}  // namespace
