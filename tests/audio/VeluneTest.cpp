#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>

#include "audio/CVeluneGrabber.h"
#include "audio/VeluneBlockPacking.h"
#include "audio/VeluneFixedPoint.h"
#include "korva/StreamDescriptors.h"
#include "tests/audio/FakePcmGrabber.h"
#include "tests/audio/TestSignals.h"
#include "tests/support/VeluneDecoder.h"

namespace {

struct Frame {
    std::vector<uint8_t> bytes;
    uint32_t samples = 0;
    int64_t time = 0;
};

// Every frame of a whole source, requested `request` samples at a time.
std::vector<Frame> EncodeAll(std::vector<int16_t> pcm, uint32_t channels, uint32_t request) {
    CVeluneGrabber encoder;
    auto* source = new FakePcmGrabber(std::move(pcm), channels, 8000);
    EXPECT_TRUE(encoder.Init(source));
    std::vector<Frame> frames;
    for (;;) {
        Frame f;
        f.samples = request;
        uint32_t size = 0;
        const uint8_t* data = encoder.GrabSamples(&f.samples, &size, &f.time);
        if (!data) {
            EXPECT_EQ(size, 0u);
            EXPECT_EQ(f.samples, 0u);
            break;
        }
        f.bytes.assign(data, data + size);
        frames.push_back(std::move(f));
    }
    return frames;
}

std::vector<uint8_t> Concatenate(const std::vector<Frame>& frames) {
    std::vector<uint8_t> all;
    for (const Frame& f : frames) {
        all.insert(all.end(), f.bytes.begin(), f.bytes.end());
    }
    return all;
}

}  // namespace

TEST(VeluneFixedPoint, PrimitivesAtTheirLimits) {
    using namespace VeluneFixed;
    EXPECT_EQ(Mult(-32768, -32768), 32767);
    EXPECT_EQ(MultR(-32768, -32768), 32767);
    EXPECT_EQ(Mult(-32768, 32767), -32767);
    EXPECT_EQ(MultR(16384, 3), 2);
    EXPECT_EQ(Mult(16384, 3), 1);
    EXPECT_EQ(Add(32000, 1000), 32767);
    EXPECT_EQ(Sub(-32000, 1000), -32768);
    EXPECT_EQ(Abs(-32768), 32767);
    EXPECT_EQ(LAdd(2147483647, 1), 2147483647);
    EXPECT_EQ(LAdd(-2147483647 - 1, -1), -2147483647 - 1);

    const struct {
        int32_t value;
        int norm;
    } norms[] = {{0, 31}, {1, 30}, {0x40000000, 0}, {0x7FFFFFFF, 0}, {0x20000000, 1},
                 {-1, 31}, {-2, 30}, {-1073741823, 1}, {-1073741824, 0}, {INT32_MIN, 0}};
    for (const auto& n : norms) {
        EXPECT_EQ(Norm(n.value), n.norm) << n.value;
    }
    EXPECT_EQ(Div(0, 0), 0);
    EXPECT_EQ(Div(0, 100), 0);
    EXPECT_EQ(Div(100, 100), 32767);
    EXPECT_EQ(Div(1, 2), 16384);
    EXPECT_EQ(Div(1, 3), 10922);
}

TEST(VeluneCoder, AmplitudeExponentAndMantissa) {
    const struct {
        uint8_t xmaxc;
        int exp;
        int mant;
    } cases[] = {{0, -4, 7}, {1, -3, 7}, {2, -2, 3}, {7, -1, 7}, {8, 0, 0}, {15, 0, 7},
                 {16, 1, 0}, {23, 1, 7}, {24, 2, 0}, {63, 6, 7}};
    for (const auto& c : cases) {
        int exp = 99, mant = 99;
        VeluneAmplitudeExpMant(c.xmaxc, &exp, &mant);
        EXPECT_EQ(exp, c.exp) << int(c.xmaxc);
        EXPECT_EQ(mant, c.mant) << int(c.xmaxc);
    }
}

TEST(VeluneCoder, ZeroBlockFromFreshState) {
    VeluneChannelState state;
    const int16_t zeros[256] = {};
    VeluneBlockParameters p;
    EncodeVeluneBlock(state, zeros, &p);
    const uint8_t larc[8] = {32, 32, 20, 11, 8, 5, 3, 2};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(p.larc[i], larc[i]) << i;
    }
    for (const VeluneSubFrame& sub : p.sub) {
        EXPECT_EQ(sub.xmaxc, 0);
        EXPECT_EQ(sub.mc, 0);
        for (uint8_t x : sub.xmc) {
            EXPECT_EQ(x, 4);
        }
    }
    uint8_t block[40];
    PackVeluneBlock(p, block);
    const std::vector<uint8_t> expected = {
        0x1a, 0x2e, 0x0a, 0x82, 0x00, 0x00, 0x00, 0x00,  //
        0x92, 0x24, 0x49, 0x92, 0x90, 0x24, 0x49, 0x92,  //
        0x92, 0x24, 0x49, 0x92, 0x91, 0x24, 0x49, 0x92,  //
        0x92, 0x24, 0x49, 0x92, 0x90, 0x24, 0x49, 0x92,  //
        0x92, 0x24, 0x49, 0x92, 0x91, 0x24, 0x49, 0x92};
    EXPECT_EQ(std::vector<uint8_t>(block, block + 40), expected);
}

TEST(VelunePacking, EveryFieldSurvivesARoundTrip) {
    // Random values in every field's width: any overlap or misplaced bit shows up.
    std::mt19937 random(7);
    const int larWidth[8] = {6, 6, 5, 5, 4, 4, 3, 3};
    for (int round = 0; round < 200; ++round) {
        VeluneBlockParameters p;
        for (int i = 0; i < 8; ++i) {
            p.larc[i] = static_cast<uint8_t>(random() & ((1u << larWidth[i]) - 1));
        }
        for (VeluneSubFrame& sub : p.sub) {
            sub.xmaxc = static_cast<uint8_t>(random() & 63);
            sub.mc = static_cast<uint8_t>(random() & 3);
            for (uint8_t& x : sub.xmc) {
                x = static_cast<uint8_t>(random() & 7);
            }
        }
        uint8_t block[40];
        PackVeluneBlock(p, block);
        VeluneBlockParameters back;
        UnpackVeluneBlock(block, &back);
        ASSERT_EQ(std::vector<uint8_t>(back.larc, back.larc + 8),
                  std::vector<uint8_t>(p.larc, p.larc + 8));
        for (int j = 0; j < 4; ++j) {
            ASSERT_EQ(back.sub[j].xmaxc, p.sub[j].xmaxc);
            ASSERT_EQ(back.sub[j].mc, p.sub[j].mc);
            ASSERT_EQ(std::vector<uint8_t>(back.sub[j].xmc, back.sub[j].xmc + 21),
                      std::vector<uint8_t>(p.sub[j].xmc, p.sub[j].xmc + 21));
        }
    }
    // One field alone lands where the layout puts it: xmaxc of the last sub-frame is the
    // top of W1, Mc of the first its bottom.
    VeluneBlockParameters p;
    p.sub[3].xmaxc = 0x3F;
    p.sub[0].mc = 3;
    uint8_t block[40];
    PackVeluneBlock(p, block);
    EXPECT_EQ(block[4], 0x03);
    EXPECT_EQ(block[7], 0xFC);
}

TEST(VeluneGrabber, InitChecksTheSource) {
    struct Case {
        int32_t codec;
        uint32_t channels;
        bool accepted;
    };
    const Case cases[] = {{2, 1, true}, {2, 2, true}, {2, 3, false}, {1, 1, false}, {3, 2, false}};
    for (const Case& c : cases) {
        bool destroyed = false;
        auto source = std::make_unique<FakePcmGrabber>(std::vector<int16_t>(256 * c.channels),
                                                       c.channels, 8000, &destroyed);
        source->GetStream()->codec = c.codec;
        {
            CVeluneGrabber encoder;
            const bool ok = encoder.Init(source.get());
            EXPECT_EQ(ok, c.accepted) << c.codec << " " << c.channels;
            if (ok) {
                source.release();
                EXPECT_EQ(encoder.GetStream()->codec, 0);
                EXPECT_EQ(encoder.GetBlockSize(), 256u);
            } else {
                EXPECT_EQ(source->GetStream()->codec, c.codec);
            }
        }
        EXPECT_EQ(destroyed, c.accepted);
    }
}

TEST(VeluneGrabber, StereoRequestIsBlockMajor) {
    const std::vector<int16_t> pcm = MusicLikeSignal(512, 2);
    std::vector<Frame> stereo = EncodeAll(pcm, 2, 512);
    std::vector<Frame> left = EncodeAll(ChannelOf(pcm, 2, 0), 1, 512);
    std::vector<Frame> right = EncodeAll(ChannelOf(pcm, 2, 1), 1, 512);
    ASSERT_EQ(stereo.size(), 1u);
    ASSERT_EQ(stereo[0].bytes.size(), 160u);
    EXPECT_EQ(stereo[0].samples, 512u);
    EXPECT_EQ(stereo[0].time, 1);
    std::vector<uint8_t> expected;
    for (int b = 0; b < 2; ++b) {
        for (const auto* mono : {&left[0], &right[0]}) {
            expected.insert(expected.end(), mono->bytes.begin() + 40 * b,
                            mono->bytes.begin() + 40 * (b + 1));
        }
    }
    EXPECT_EQ(stereo[0].bytes, expected);
}

TEST(VeluneGrabber, StateCarriesAcrossFramesAndShortRequestsGiveNothing) {
    const std::vector<int16_t> pcm = MusicLikeSignal(256 * 6, 1);
    // One frame of six blocks, or six frames of one block: the same bytes.
    EXPECT_EQ(Concatenate(EncodeAll(pcm, 1, 256 * 6)), Concatenate(EncodeAll(pcm, 1, 256)));
    // Fewer than 256 samples wanted: no frame, nothing consumed.
    EXPECT_TRUE(EncodeAll(pcm, 1, 255).empty());
}

TEST(VeluneGrabber, FinalShortDeliveryIsPaddedToOneBlock) {
    std::vector<int16_t> pcm = MusicLikeSignal(100, 2);
    auto* source = new FakePcmGrabber(pcm, 2, 8000);
    CVeluneGrabber encoder;
    ASSERT_TRUE(encoder.Init(source));
    uint32_t samples = 512, size = 0;
    int64_t time = 0;
    const uint8_t* data = encoder.GrabSamples(&samples, &size, &time);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(samples, 256u);
    EXPECT_EQ(size, 80u);
    EXPECT_EQ(encoder.GetSamplePosition(), 100);
    EXPECT_EQ(source->releases, std::vector<uint32_t>{100 * 2 * 2});
    std::vector<uint8_t> bytes(data, data + size);

    pcm.resize(256 * 2, 0);
    std::vector<Frame> full = EncodeAll(pcm, 2, 256);
    ASSERT_EQ(full.size(), 1u);
    EXPECT_EQ(bytes, full[0].bytes);
}

TEST(VeluneCoder, FullScaleInputStaysInRange) {
    // Constant -32768, a full-scale square wave and full-scale noise drive every
    // saturating primitive; the sanitizer build checks nothing overflows.
    std::mt19937 random(3);
    std::vector<std::vector<int16_t>> inputs(3, std::vector<int16_t>(256 * 8));
    for (size_t i = 0; i < 256 * 8; ++i) {
        inputs[0][i] = -32768;
        inputs[1][i] = (i / 3) % 2 ? 32767 : -32768;
        inputs[2][i] = static_cast<int16_t>(random());
    }
    const uint8_t larMax[8] = {63, 63, 31, 31, 15, 15, 7, 7};
    for (const auto& input : inputs) {
        VeluneChannelState state;
        for (size_t b = 0; b < 8; ++b) {
            VeluneBlockParameters p;
            EncodeVeluneBlock(state, input.data() + 256 * b, &p);
            for (int i = 0; i < 8; ++i) {
                ASSERT_LE(p.larc[i], larMax[i]);
            }
            for (const VeluneSubFrame& sub : p.sub) {
                ASSERT_LE(sub.xmaxc, 63);
                ASSERT_LE(sub.mc, 3);
                for (uint8_t x : sub.xmc) {
                    ASSERT_LE(x, 7);
                }
            }
        }
    }
}

TEST(VeluneDecoder, ReconstructsTheSignal) {
    const std::vector<int16_t> pcm = MusicLikeSignal(256 * 40, 1, 8000);
    std::vector<uint8_t> all = Concatenate(EncodeAll(pcm, 1, 1024));
    VeluneDecoder decoder(1);
    std::vector<int16_t> decoded;
    ASSERT_TRUE(decoder.DecodeFrame(all.data(), all.size(), &decoded));
    ASSERT_EQ(decoded.size(), pcm.size());
    EXPECT_GT(SnrDb(pcm, decoded), 5.0);
    EXPECT_FALSE(decoder.DecodeFrame(all.data(), 39, &decoded));
}
