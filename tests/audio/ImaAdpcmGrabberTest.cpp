#include <gtest/gtest.h>

#include <memory>

#include "audio/CImaAdpcmGrabber.h"
#include "korva/StreamDescriptors.h"
#include "tests/audio/FakePcmGrabber.h"
#include "tests/audio/TestSignals.h"
#include "tests/support/ImaAdpcmDecoder.h"

namespace {

struct Encoded {
    std::vector<uint8_t> bytes;
    uint32_t samples = 0;
    uint32_t size = 0;
    int64_t time = 0;
};

Encoded Grab(CImaAdpcmGrabber& encoder, uint32_t wanted) {
    Encoded e;
    e.samples = wanted;
    const uint8_t* data = encoder.GrabSamples(&e.samples, &e.size, &e.time);
    if (data) {
        e.bytes.assign(data, data + e.size);
    }
    return e;
}

// Every frame of a whole source, requested `request` samples at a time.
std::vector<Encoded> EncodeAll(std::vector<int16_t> pcm, uint32_t channels, uint32_t request) {
    CImaAdpcmGrabber encoder;
    EXPECT_TRUE(encoder.Init(new FakePcmGrabber(std::move(pcm), channels, 32000)));
    std::vector<Encoded> frames;
    for (;;) {
        Encoded e = Grab(encoder, request);
        if (e.bytes.empty()) {
            return frames;
        }
        frames.push_back(std::move(e));
    }
}

}  // namespace

TEST(ImaAdpcmGrabber, InitAcceptsOnlyPcmAndTakesTheSource) {
    bool destroyed = false;
    auto aac = std::make_unique<FakePcmGrabber>(std::vector<int16_t>(512), 1, 32000, &destroyed);
    aac->GetStream()->codec = 3;
    {
        CImaAdpcmGrabber encoder;
        EXPECT_FALSE(encoder.Init(aac.get()));
    }
    EXPECT_FALSE(destroyed) << "a refused source stays with the caller";
    EXPECT_EQ(aac->GetStream()->codec, 3);

    aac->GetStream()->codec = 2;
    {
        CImaAdpcmGrabber encoder;
        ASSERT_TRUE(encoder.Init(aac.release()));
        EXPECT_EQ(encoder.GetStream()->codec, 1);
        EXPECT_EQ(encoder.GetBlockSize(), 256u);
        EXPECT_EQ(encoder.GetStream()->frequency, 32000u);
    }
    EXPECT_TRUE(destroyed);
}

TEST(ImaAdpcmGrabber, RequestBelowOneBlockGivesNoFrame) {
    CImaAdpcmGrabber encoder;
    auto* source = new FakePcmGrabber(std::vector<int16_t>(1024), 1, 32000);
    ASSERT_TRUE(encoder.Init(source));
    Encoded e = Grab(encoder, 255);
    EXPECT_TRUE(e.bytes.empty());
    EXPECT_EQ(e.samples, 0u);
    EXPECT_EQ(e.size, 0u);
    EXPECT_EQ(encoder.GetSamplePosition(), 0);
}

TEST(ImaAdpcmGrabber, StereoFrameIsBlockMajorWithMonoCoding) {
    const std::vector<int16_t> pcm = MusicLikeSignal(1024, 2);
    std::vector<Encoded> stereo = EncodeAll(pcm, 2, 512);
    std::vector<Encoded> left = EncodeAll(ChannelOf(pcm, 2, 0), 1, 512);
    std::vector<Encoded> right = EncodeAll(ChannelOf(pcm, 2, 1), 1, 512);
    ASSERT_EQ(stereo.size(), 2u);
    ASSERT_EQ(left.size(), 2u);
    for (size_t f = 0; f < 2; ++f) {
        ASSERT_EQ(left[f].bytes.size(), 4u + 2 * 128);
        ASSERT_EQ(stereo[f].bytes.size(), 2 * (4u + 2 * 128));
        EXPECT_EQ(stereo[f].samples, 512u);
        EXPECT_EQ(stereo[f].time, f * 512 * 1000000 / 32000 + 1);
        // Headers: left then right; blocks: left 0, right 0, left 1, right 1.
        std::vector<uint8_t> expected;
        auto append = [&](const Encoded& e, size_t from, size_t count) {
            expected.insert(expected.end(), e.bytes.begin() + from, e.bytes.begin() + from + count);
        };
        append(left[f], 0, 4);
        append(right[f], 0, 4);
        for (size_t b = 0; b < 2; ++b) {
            append(left[f], 4 + 128 * b, 128);
            append(right[f], 4 + 128 * b, 128);
        }
        EXPECT_EQ(stereo[f].bytes, expected) << "frame " << f;
    }
    // The first frame starts from the zero state.
    EXPECT_EQ(std::vector<uint8_t>(stereo[0].bytes.begin(), stereo[0].bytes.begin() + 8),
              std::vector<uint8_t>(8, 0));
}

TEST(ImaAdpcmGrabber, ShortFinalDeliveryIsPaddedWithSilence) {
    std::vector<int16_t> pcm = MusicLikeSignal(300, 2);
    auto* source = new FakePcmGrabber(pcm, 2, 32000);
    CImaAdpcmGrabber encoder;
    ASSERT_TRUE(encoder.Init(source));
    Encoded e = Grab(encoder, 512);
    EXPECT_EQ(e.samples, 512u);
    EXPECT_EQ(e.size, 2 * (4u + 2 * 128));
    EXPECT_EQ(encoder.GetSamplePosition(), 300);
    EXPECT_EQ(source->releases, std::vector<uint32_t>{300 * 2 * 2});

    // Same bytes as a source that really holds the 212 zeros.
    pcm.resize(512 * 2, 0);
    std::vector<Encoded> full = EncodeAll(pcm, 2, 512);
    ASSERT_EQ(full.size(), 1u);
    EXPECT_EQ(e.bytes, full[0].bytes);

    EXPECT_TRUE(Grab(encoder, 512).bytes.empty()) << "the source is exhausted";
}

TEST(ImaAdpcmCoder, ThresholdsAreStrict) {
    // From the initial state the step is 7: thresholds 7, 3 and 1, increment base 0.
    struct Case {
        int16_t sample;
        uint8_t code;
        int32_t predictor;
        int32_t stepIndex;
    };
    const Case cases[] = {
        {0, 0x0, 0, 0},    {1, 0x0, 0, 0},    {2, 0x1, 1, 0},   {3, 0x1, 1, 0},
        {4, 0x2, 3, 0},    {7, 0x3, 4, 0},    {8, 0x4, 7, 2},   {-7, 0xB, -4, 0},
        {-8, 0xC, -7, 2},  {-32768, 0xF, -11, 8}, {32767, 0x7, 11, 8},
    };
    for (const Case& c : cases) {
        ImaAdpcm::ChannelState state;
        EXPECT_EQ(ImaAdpcm::EncodeSample(state, c.sample), c.code) << c.sample;
        EXPECT_EQ(state.predictor, c.predictor) << c.sample;
        EXPECT_EQ(state.stepIndex, c.stepIndex) << c.sample;
    }
}

TEST(ImaAdpcmCoder, StateStaysInRangeAtFullScale) {
    // Square wave between the extremes: the predictor clamps at both ends.
    ImaAdpcm::ChannelState state;
    bool reachedLow = false, reachedHigh = false, reachedTopStep = false;
    for (int i = 0; i < 400; ++i) {
        ImaAdpcm::EncodeSample(state, (i / 50) % 2 ? 32767 : -32768);
        ASSERT_GE(state.predictor, -32768);
        ASSERT_LE(state.predictor, 32767);
        ASSERT_GE(state.stepIndex, 0);
        ASSERT_LE(state.stepIndex, 88);
        reachedLow |= state.predictor == -32768;
        reachedHigh |= state.predictor == 32767;
        reachedTopStep |= state.stepIndex == 88;
    }
    EXPECT_TRUE(reachedLow);
    EXPECT_TRUE(reachedHigh);
    EXPECT_TRUE(reachedTopStep);
}

TEST(ImaAdpcmCoder, ConstantInputSettlesOnSignOnlyCodes) {
    // Silence from the start codes as nibble 0 and never moves the state.
    ImaAdpcm::ChannelState state;
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(ImaAdpcm::EncodeSample(state, 0), 0);
    }
    EXPECT_EQ(state.predictor, 0);
    EXPECT_EQ(state.stepIndex, 0);
    // A constant equal to the predictor, from a large step: the codes carry no magnitude
    // and the step index walks down to 0.
    state = {1000, 40};
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(ImaAdpcm::EncodeSample(state, 1000) & 7, 0) << i;
        EXPECT_EQ(state.stepIndex, 39 - i);
    }
}

TEST(ImaAdpcmGrabber, DecoderFollowsTheEncoderAcrossFrames) {
    const std::vector<int16_t> pcm = MusicLikeSignal(256 * 13 + 77, 2, 20000);
    CImaAdpcmGrabber encoder;
    ASSERT_TRUE(encoder.Init(new FakePcmGrabber(pcm, 2, 32000)));
    ImaAdpcmDecoder decoder(2);
    std::vector<int16_t> decoded;
    const uint32_t requests[] = {256, 1024, 300, 768, 2048};
    for (size_t f = 0;; ++f) {
        Encoded e = Grab(encoder, requests[f % 5]);
        if (e.bytes.empty()) {
            break;
        }
        ImaAdpcmDecoder check = decoder;
        ASSERT_TRUE(decoder.DecodeFrame(e.bytes.data(), e.bytes.size(), &decoded));
        for (uint32_t c = 0; c < 2; ++c) {
            if (f > 0) {
                EXPECT_EQ(decoder.Header(c).predictor, check.State(c).predictor);
                EXPECT_EQ(decoder.Header(c).stepIndex, check.State(c).stepIndex);
            }
            EXPECT_EQ(decoder.State(c).predictor, encoder.State(c).predictor);
            EXPECT_EQ(decoder.State(c).stepIndex, encoder.State(c).stepIndex);
        }
    }
    ASSERT_EQ(decoded.size(), 256 * 14 * 2u);
    decoded.resize(pcm.size());
    EXPECT_GT(SnrDb(pcm, decoded), 20.0);
}
