#include "korva/SynchroHeader.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<uint8_t> Header(uint64_t time, bool flag, uint32_t packetSize) {
    std::vector<uint8_t> out(Korva::kSynchroHeaderSize);
    Korva::WriteSynchroHeader(out.data(), time, flag, packetSize);
    return out;
}

TEST(SynchroHeader, MatchesTheKnownBytes) {
    EXPECT_EQ(Header(1, false, 4096),
              (std::vector<uint8_t>{0x4C, 0x32, 0xAA, 0xAB, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x0F,
                                    0xFF}));
    EXPECT_EQ(Header(15000001, false, 65535),
              (std::vector<uint8_t>{0x4C, 0x32, 0x4B, 0x8F, 0x00, 0x00, 0x00, 0x00, 0x00, 0xE4,
                                    0xE1, 0xC1, 0xFF, 0xFE}));
    // A continuation header.
    EXPECT_EQ(Header(0, false, 33),
              (std::vector<uint8_t>{0x4C, 0x32, 0xAA, 0xAA, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x20}));
}

TEST(SynchroHeader, TimeFlagIsNotCoveredByTheChecksum) {
    const std::vector<uint8_t> plain = Header(15000001, false, 4096);
    const std::vector<uint8_t> flagged = Header(15000001, true, 4096);
    EXPECT_EQ(flagged[4], 0x80);
    EXPECT_EQ(flagged[2], plain[2]);
    EXPECT_EQ(flagged[3], plain[3]);

    Korva::SynchroHeaderFields fields;
    ASSERT_TRUE(Korva::ParseSynchroHeader(flagged.data(), &fields));
    EXPECT_TRUE(fields.timeFlag);
    EXPECT_EQ(fields.time, 15000001u);
    EXPECT_EQ(fields.packetSizeField, 4095u);
}

TEST(SynchroHeader, ParseRefusesABadMarkerOrChecksum) {
    std::vector<uint8_t> bytes = Header(123456789, false, 4096);
    Korva::SynchroHeaderFields fields;
    ASSERT_TRUE(Korva::ParseSynchroHeader(bytes.data(), &fields));
    bytes[11] ^= 1;
    EXPECT_FALSE(Korva::ParseSynchroHeader(bytes.data(), &fields));
    bytes[11] ^= 1;
    bytes[1] = 0x33;
    EXPECT_FALSE(Korva::ParseSynchroHeader(bytes.data(), &fields));
}

TEST(SynchroHeader, RecognisesContinuationPackets) {
    const std::vector<uint8_t> continuation = Header(0, false, 4096);
    const std::vector<uint8_t> block = Header(1, false, 4096);
    EXPECT_TRUE(Korva::IsContinuationPacket(continuation.data(), 14));
    EXPECT_FALSE(Korva::IsContinuationPacket(block.data(), 14));
    EXPECT_FALSE(Korva::IsContinuationPacket(continuation.data(), 13));
}

}  // namespace
