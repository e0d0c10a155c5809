#include "korva/ElementaryPacketHeader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <vector>

#include "korva/BitWriter.h"
#include "tests/korva/CadroStreamParser.h"

namespace {

std::vector<uint8_t> Untimed(uint32_t stream, uint32_t length) {
    uint8_t out[Korva::kEpMaxHeaderSize + 8] = {};
    const uint32_t n = Korva::WriteUntimedEpHeader(out, stream, length);
    EXPECT_EQ(n, Korva::UntimedEpHeaderSize(stream));
    return std::vector<uint8_t>(out, out + n);
}

std::vector<uint8_t> Timed(uint32_t stream, uint32_t type, int64_t offset, uint32_t length) {
    uint8_t out[Korva::kEpMaxHeaderSize + 8] = {};
    const uint32_t n = Korva::WriteTimedEpHeader(out, stream, type, offset, length);
    const uint64_t magnitude = offset < 0 ? -offset : offset;
    EXPECT_EQ(n, Korva::TimedEpHeaderSize(stream, type, magnitude));
    return std::vector<uint8_t>(out, out + n);
}

TEST(ElementaryPacketHeader, MatchesTheKnownBytes) {
    EXPECT_EQ(Untimed(0, 100), (std::vector<uint8_t>{0x80, 0x63}));
    EXPECT_EQ(Untimed(0, 8192), (std::vector<uint8_t>{0x9F, 0xFF}));
    EXPECT_EQ(Timed(1, 0, 1000, 4096), (std::vector<uint8_t>{0xF2, 0x00, 0x00, 0x7D, 0x0F, 0xFF}));
    EXPECT_EQ(Timed(2, 1, -5, 1),
              (std::vector<uint8_t>{0x6F, 0x80, 0x00, 0x00, 0x28, 0x00, 0x00}));
    EXPECT_EQ(Timed(3, 0, int64_t{1} << 28, 300),
              (std::vector<uint8_t>{0x7C, 0x50, 0x00, 0x00, 0x00, 0x09, 0x58}));
}

TEST(ElementaryPacketHeader, SizesFollowTheFieldWidths) {
    // Untimed: 2n + 14 bits rounded up.
    EXPECT_EQ(Korva::UntimedEpHeaderSize(1), 2u);
    EXPECT_EQ(Korva::UntimedEpHeaderSize(2), 3u);
    EXPECT_EQ(Korva::UntimedEpHeaderSize(255), 4u);
    // Timed: the smallest is index 0, type 0, offset below 2^28.
    EXPECT_EQ(Korva::TimedEpHeaderSize(0, 0, 0), 6u);
    EXPECT_EQ(Korva::TimedEpHeaderSize(0, 0, (1ull << 28) - 1), 6u);
    EXPECT_EQ(Korva::TimedEpHeaderSize(0, 0, 1ull << 28), 7u);
    // The widest: both values of 8 bits and an offset just below 2^60.
    EXPECT_EQ(Korva::TimedEpHeaderSize(255, 255, (1ull << 60) - 1), Korva::kEpMaxHeaderSize);
    EXPECT_EQ(Korva::EpBitCount(0), 1u);
    EXPECT_EQ(Korva::EpBitCount(1), 1u);
    EXPECT_EQ(Korva::EpBitCount(2), 2u);
    EXPECT_EQ(Korva::EpBitCount(255), 8u);
}

TEST(ElementaryPacketHeader, HeadersDecodeBackToTheirFields) {
    const struct {
        uint32_t stream;
        uint32_t type;
        int64_t offset;
        uint32_t length;
    } cases[] = {
        {0, 0, 0, 1},
        {1, 1, -1, 8192},
        {127, 3, (int64_t{1} << 28) - 1, 77},
        {128, 200, -(int64_t{1} << 40), 4096},
        {255, 255, (int64_t{1} << 60) - 1, 8192},
        {255, 255, -((int64_t{1} << 60) - 1), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stream);
        uint8_t out[Korva::kEpMaxHeaderSize + 8];
        std::fill(std::begin(out), std::end(out), 0xEE);
        const uint32_t n = Korva::WriteTimedEpHeader(out, c.stream, c.type, c.offset, c.length);
        EXPECT_LE(n, Korva::kEpMaxHeaderSize);
        EXPECT_EQ(out[n], 0xEE);  // nothing written past the header
        cadro_test::BitCursor bits(out, n);
        uint64_t v = 0;
        uint32_t bit = 0;
        ASSERT_TRUE(bits.Escaped(1, 1, &v));
        EXPECT_EQ(v, c.stream);
        ASSERT_TRUE(bits.Bit(&bit));
        EXPECT_EQ(bit, 1u);
        ASSERT_TRUE(bits.Escaped(1, 1, &v));
        EXPECT_EQ(v, c.type);
        ASSERT_TRUE(bits.Bit(&bit));
        EXPECT_EQ(bit, c.offset < 0 ? 1u : 0u);
        ASSERT_TRUE(bits.Escaped(28, 2, &v));
        EXPECT_EQ(static_cast<int64_t>(v), c.offset < 0 ? -c.offset : c.offset);
        ASSERT_TRUE(bits.Bits(13, &v));
        EXPECT_EQ(v + 1, c.length);
        EXPECT_EQ(bits.BytesTouched(), n);

        const uint32_t u = Korva::WriteUntimedEpHeader(out, c.stream, c.length);
        cadro_test::BitCursor plain(out, u);
        ASSERT_TRUE(plain.Escaped(1, 1, &v));
        EXPECT_EQ(v, c.stream);
        ASSERT_TRUE(plain.Bit(&bit));
        EXPECT_EQ(bit, 0u);
        ASSERT_TRUE(plain.Bits(13, &v));
        EXPECT_EQ(v + 1, c.length);
        EXPECT_EQ(plain.BytesTouched(), u);
    }
}

TEST(BitWriter, PacksAcrossTheAccumulatorBoundary) {
    uint8_t out[24] = {};
    Korva::BitWriter bits(out);
    bits.PutBits(0x5, 3);                    // 101
    bits.PutBits(0x123456789ABCDEFull, 60);  // crosses 64 bits in one call
    bits.PutBits(0x3, 2);
    bits.PutBits(0xFFFFFFFFFFFFFFFFull, 64);
    EXPECT_EQ(bits.TotalBits(), 129u);
    EXPECT_EQ(bits.Finish(), 17u);
    // Reassemble the stream and compare with the fields written.
    auto bit = [&](uint32_t i) { return (out[i / 8] >> (7 - i % 8)) & 1; };
    auto field = [&](uint32_t from, uint32_t n) {
        uint64_t v = 0;
        for (uint32_t i = 0; i < n; ++i) v = (v << 1) | bit(from + i);
        return v;
    };
    EXPECT_EQ(field(0, 3), 0x5u);
    EXPECT_EQ(field(3, 60), 0x123456789ABCDEFull);
    EXPECT_EQ(field(63, 2), 0x3u);
    EXPECT_EQ(field(65, 64), 0xFFFFFFFFFFFFFFFFull);
    EXPECT_EQ(field(129, 7), 0u);  // padding
    EXPECT_EQ(out[17], 0);         // nothing written past the last byte
}

}  // namespace
