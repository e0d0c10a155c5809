#include <gtest/gtest.h>

#include "korva/StreamDescriptors.h"
#include "sources/AacAudioGrabber.h"
#include "sources/AacInputFile.h"
#include "sources/WavAudioGrabber.h"
#include "sources/WavInputFile.h"
#include "tests/sources/TempFiles.h"
#include "tests/support/TestMux.h"
#include "tests/support/AdtsBuilder.h"
#include "tests/support/WavBuilder.h"

namespace {

class WavAacGrabbersTest : public ::testing::Test {
protected:
    std::wstring Write(const std::vector<uint8_t>& bytes) {
        return folder_.Write("file" + std::to_string(count_++), bytes);
    }
    TempFolder folder_;
    TestMux mux_;
    int count_ = 0;
};

TEST_F(WavAacGrabbersTest, WavInitAcceptsOnlyPcm16MonoOrStereo) {
    struct Case {
        uint16_t tag;
        uint16_t subFormat;
        uint16_t channels;
        uint16_t bits;
        uint32_t rate;
        bool accepted;
    };
    const Case cases[] = {
        {1, 1, 1, 16, 32000, true},       {1, 1, 2, 16, 44100, true},  {0xFFFE, 1, 2, 16, 48000, true},
        {1, 1, 2, 8, 44100, false},       {3, 1, 2, 32, 44100, false}, {0xFFFE, 3, 2, 32, 48000, false},
        {1, 1, 3, 16, 44100, false},      {1, 1, 2, 24, 44100, false}, {1, 1, 2, 16, 0, false},
    };
    for (const Case& c : cases) {
        WavBuilder wav;
        wav.formatTag = c.tag;
        wav.subFormatTag = c.subFormat;
        wav.channels = c.channels;
        wav.bitsPerSample = c.bits;
        wav.sampleRate = c.rate;
        wav.SetSamples({1, 2, 3, 4, 5, 6});
        WavInputFile input;
        input.name = Write(wav.Build());
        ASSERT_TRUE(input.Open());
        CWavAudioGrabber grabber;
        bool ok = grabber.Init(&input.GetReader(), 9, mux_.Get());
        EXPECT_EQ(ok, c.accepted) << c.tag << " " << c.channels << " " << c.bits << " " << c.rate;
        if (ok) {
            EXPECT_EQ(grabber.GetStream()->codec, 2);
            EXPECT_EQ(grabber.GetStream()->channels, c.channels);
            EXPECT_EQ(grabber.GetStream()->frequency, c.rate);
            EXPECT_EQ(grabber.GetStream()->index, 9);
            EXPECT_EQ(grabber.GetBlockSize(), 256u);
        }
    }
}

TEST_F(WavAacGrabbersTest, WavBlocksAndTimes) {
    WavBuilder wav;
    wav.channels = 1;
    wav.sampleRate = 32000;
    std::vector<int16_t> samples(600);
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<int16_t>(i * 3 - 700);
    }
    wav.SetSamples(samples);
    WavInputFile input;
    input.name = Write(wav.Build());
    ASSERT_TRUE(input.Open());
    CWavAudioGrabber grabber;
    ASSERT_TRUE(grabber.Init(&input.GetReader(), 0, mux_.Get()));

    uint32_t count = 256, size = 0;
    int64_t time = 0;
    const uint8_t* data = grabber.GrabSamples(&count, &size, &time);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(count, 256u);
    EXPECT_EQ(size, 512u);
    EXPECT_EQ(time, 1);
    EXPECT_EQ(static_cast<int16_t>(data[2] | (data[3] << 8)), samples[1]);
    grabber.ReleaseSamples(size);
    count = 256;
    data = grabber.GrabSamples(&count, &size, &time);
    EXPECT_EQ(time, 8001);
    EXPECT_EQ(static_cast<int16_t>(data[0] | (data[1] << 8)), samples[256]);
    grabber.ReleaseSamples(size);
    // 88 remain of a request for 256.
    count = 256;
    data = grabber.GrabSamples(&count, &size, &time);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(count, 88u);
    EXPECT_EQ(size, 176u);
    EXPECT_EQ(static_cast<int16_t>(data[174] | (data[175] << 8)), samples.back());
    grabber.ReleaseSamples(size);
    EXPECT_EQ(grabber.GetSamplePosition(), 600);
    count = 256;
    EXPECT_EQ(grabber.GrabSamples(&count, &size, &time), nullptr);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(size, 0u);
}

TEST_F(WavAacGrabbersTest, WavStereoFromACutFileDeliversWhatIsThere) {
    WavBuilder wav;
    wav.SetSamples({1, -1, 2, -2, 3, -3});
    wav.declaredDataSize = 4000;
    WavInputFile input;
    input.name = Write(wav.Build());
    ASSERT_TRUE(input.Open());
    CWavAudioGrabber grabber;
    ASSERT_TRUE(grabber.Init(&input.GetReader(), 0, mux_.Get()));
    uint32_t count = 256, size;
    int64_t time;
    ASSERT_NE(grabber.GrabSamples(&count, &size, &time), nullptr);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(size, 12u);
}

class AacGrabberTest : public WavAacGrabbersTest {
protected:
    AacInputFile& Open(const AdtsBuilder& aac) {
        input_.name = Write(aac.Build());
        EXPECT_TRUE(input_.Open());
        return input_;
    }
    AacInputFile input_;
};

TEST_F(AacGrabberTest, InitAcceptsLowComplexityWithKnownRateAndChannels) {
    struct Case {
        AdtsFrameSpec spec;
        bool accepted;
    };
    const Case cases[] = {
        {AdtsFrameSpec().Profile(1).Frequency(3).Channels(7), true},
        {AdtsFrameSpec().Profile(0), false},
        {AdtsFrameSpec().Profile(2), false},
        {AdtsFrameSpec().Profile(3), false},
        {AdtsFrameSpec().Profile(1).Frequency(13), false},
        {AdtsFrameSpec().Profile(1).Frequency(15), false},
        {AdtsFrameSpec().Profile(1).Channels(0), false},
    };
    for (const Case& c : cases) {
        AdtsBuilder aac;
        aac.AddFrame(c.spec);
        AacInputFile& input = Open(aac);
        CAacAudioGrabber grabber;
        EXPECT_EQ(grabber.Init(&input.GetReader(), 4, mux_.Get()), c.accepted)
            << c.spec.profile << " " << c.spec.frequencyIndex << " " << c.spec.channelConfiguration;
        if (c.accepted) {
            EXPECT_EQ(grabber.GetStream()->codec, 3);
            EXPECT_EQ(grabber.GetStream()->frequency, 48000u);
            EXPECT_EQ(grabber.GetStream()->channels, 8u);
            EXPECT_EQ(grabber.GetStream()->index, 4);
            EXPECT_EQ(grabber.GetBlockSize(), 1024u);
        }
    }
    CAacAudioGrabber grabber;
    EXPECT_FALSE(grabber.Init(nullptr, 0, mux_.Get()));
}

TEST_F(AacGrabberTest, HandsOutWholeFramesUntilTheWantedCount) {
    AdtsBuilder aac;
    aac.AddFrame(AdtsFrameSpec().Payload(10, 1));
    aac.AddFrame(AdtsFrameSpec().Crc().Payload(11, 2));
    aac.AddFrame(AdtsFrameSpec().Blocks(2).Payload(12, 3));
    aac.AddFrame(AdtsFrameSpec().Payload(13, 4));
    aac.AddBytes({0xFF, 0xF1, 0x50});  // garbage: not a whole header
    AacInputFile& input = Open(aac);
    CAacAudioGrabber grabber;
    ASSERT_TRUE(grabber.Init(&input.GetReader(), 0, mux_.Get()));

    uint32_t samples = 1024, size = 0;
    int64_t time = 0;
    const uint8_t* data = grabber.GrabSamples(&samples, &size, &time);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(samples, 1024u);
    EXPECT_EQ(size, 17u);
    EXPECT_EQ(time, 1);
    EXPECT_EQ(std::vector<uint8_t>(data, data + size), AdtsBuilder::Frame(AdtsFrameSpec().Payload(10, 1)));
    grabber.ReleaseSamples(size);

    // 1500 wanted: the CRC frame (1024) and the two-block frame (2048).
    samples = 1500;
    data = grabber.GrabSamples(&samples, &size, &time);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(samples, 3072u);
    EXPECT_EQ(size, 20u + 19u);
    EXPECT_EQ(time, 1024 * 1000000 / 44100 + 1);
    std::vector<uint8_t> expected = AdtsBuilder::Frame(AdtsFrameSpec().Crc().Payload(11, 2));
    std::vector<uint8_t> second = AdtsBuilder::Frame(AdtsFrameSpec().Blocks(2).Payload(12, 3));
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(std::vector<uint8_t>(data, data + size), expected);
    grabber.ReleaseSamples(0);  // the size plays no part
    EXPECT_EQ(grabber.GetSamplePosition(), 4096);

    samples = 1024;
    data = grabber.GrabSamples(&samples, &size, &time);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(size, 20u);
    grabber.ReleaseSamples(size);
    // The garbage ends the stream.
    samples = 1024;
    EXPECT_EQ(grabber.GrabSamples(&samples, &size, &time), nullptr);
    EXPECT_EQ(samples, 0u);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(input.GetReader().GetState(), AdtsFile::kEnded);
    samples = 0;
    EXPECT_EQ(grabber.GrabSamples(&samples, &size, &time), nullptr);
}

TEST_F(AacGrabberTest, TimeFollowsReleasedSamples) {
    AdtsBuilder aac;
    for (int i = 0; i < 50; ++i) {
        aac.AddFrame(AdtsFrameSpec().Frequency(4).Payload(5));
    }
    AacInputFile& input = Open(aac);
    CAacAudioGrabber grabber;
    ASSERT_TRUE(grabber.Init(&input.GetReader(), 0, mux_.Get()));
    uint32_t samples = 1500, size;
    int64_t time;
    ASSERT_NE(grabber.GrabSamples(&samples, &size, &time), nullptr);
    EXPECT_EQ(samples, 2048u);
    EXPECT_EQ(size, 2 * 12u);
    grabber.ReleaseSamples(size);
    samples = 44100 - 2048;
    ASSERT_NE(grabber.GrabSamples(&samples, &size, &time), nullptr);
    EXPECT_EQ(samples, 42 * 1024u);
    grabber.ReleaseSamples(size);
    EXPECT_EQ(grabber.GetSamplePosition(), 44 * 1024);
    samples = 1024;
    grabber.GrabSamples(&samples, &size, &time);
    EXPECT_EQ(time, int64_t{44 * 1024} * 1000000 / 44100 + 1);
    // A grab without release appends; the time stays that of the first sample.
    samples = 1024;
    grabber.GrabSamples(&samples, &size, &time);
    EXPECT_EQ(size, 2 * 12u);
    EXPECT_EQ(time, int64_t{44 * 1024} * 1000000 / 44100 + 1);
}

}  // namespace
