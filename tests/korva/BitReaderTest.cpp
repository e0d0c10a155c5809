#include "korva/BitReader.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct EpFields {
    uint64_t index;
    bool timed;
    uint64_t frameType;
    bool negative;
    uint64_t magnitude;
    uint64_t length;
    uint64_t bytes;
};

EpFields ReadHeader(const std::vector<uint8_t>& header) {
    Korva::BitReader bits(header.data(), header.data() + header.size());
    EpFields f{};
    f.index = bits.GetEscaped(1, 1);
    f.timed = bits.GetBit();
    if (f.timed) {
        f.frameType = bits.GetEscaped(1, 1);
        f.negative = bits.GetBit();
        f.magnitude = bits.GetEscaped(28, 2);
    }
    f.length = bits.GetBits(13) + 1;
    f.bytes = bits.BytesTouched();
    EXPECT_FALSE(bits.Failed());
    return f;
}

TEST(BitReaderTest, ElementaryPacketHeaders) {
    struct Case {
        std::vector<uint8_t> header;
        EpFields expected;
    };
    const Case cases[] = {
        {{0x80, 0x63}, {0, false, 0, false, 0, 100, 2}},
        {{0x9F, 0xFF}, {0, false, 0, false, 0, 8192, 2}},
        {{0xF2, 0x00, 0x00, 0x7D, 0x0F, 0xFF}, {1, true, 0, false, 1000, 4096, 6}},
        {{0x6F, 0x80, 0x00, 0x00, 0x28, 0x00, 0x00}, {2, true, 1, true, 5, 1, 7}},
        {{0x7C, 0x50, 0x00, 0x00, 0x00, 0x09, 0x58}, {3, true, 0, false, 1u << 28, 300, 7}},
    };
    for (const Case& c : cases) {
        EpFields f = ReadHeader(c.header);
        EXPECT_EQ(f.index, c.expected.index);
        EXPECT_EQ(f.timed, c.expected.timed);
        EXPECT_EQ(f.frameType, c.expected.frameType);
        EXPECT_EQ(f.negative, c.expected.negative);
        EXPECT_EQ(f.magnitude, c.expected.magnitude);
        EXPECT_EQ(f.length, c.expected.length);
        EXPECT_EQ(f.bytes, c.expected.bytes);
    }
}

TEST(BitReaderTest, WideValuesCrossTheAccumulator) {
    const std::vector<uint8_t> bytes = {0xA5, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD,
                                        0xEF, 0xFE, 0xDC};
    Korva::BitReader bits(bytes.data(), bytes.data() + bytes.size());
    EXPECT_EQ(bits.GetBits(4), 0xAu);
    EXPECT_EQ(bits.GetBits(64), 0x50123456789ABCDEull);
    EXPECT_EQ(bits.GetBits(12), 0xFFEu);
    EXPECT_EQ(bits.BytesTouched(), 10u);
    EXPECT_FALSE(bits.Failed());
}

TEST(BitReaderTest, ErrorsAreSticky) {
    const std::vector<uint8_t> bytes = {0xFF, 0x00};
    Korva::BitReader past(bytes.data(), bytes.data() + bytes.size());
    EXPECT_EQ(past.GetBits(12), 0xFF0u);
    EXPECT_EQ(past.GetBits(5), 0u);  // only 4 bits left
    EXPECT_TRUE(past.Failed());
    EXPECT_EQ(past.GetBits(1), 0u);
    EXPECT_TRUE(past.Failed());

    // All zeros: the escape code never finds its 1 bit.
    const std::vector<uint8_t> zeros(40, 0);
    Korva::BitReader unterminated(zeros.data(), zeros.data() + zeros.size());
    unterminated.GetEscaped(1, 1);
    EXPECT_TRUE(unterminated.Failed());

    // 40 zero bits with step 2 ask for 28 + 80 bits: wider than any value.
    std::vector<uint8_t> wide(30, 0);
    wide[5] = 0x80;
    for (size_t i = 6; i < wide.size(); ++i) wide[i] = 0xFF;
    Korva::BitReader tooWide(wide.data(), wide.data() + wide.size());
    tooWide.GetEscaped(28, 2);
    EXPECT_TRUE(tooWide.Failed());

    Korva::BitReader empty(bytes.data(), bytes.data());
    EXPECT_EQ(empty.GetBits(1), 0u);
    EXPECT_TRUE(empty.Failed());
}

}  // namespace
