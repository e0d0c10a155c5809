#include "korva/Timeline.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(Timeline, PayloadIsLittleEndianHeaderThenEntries) {
    Korva::TimelineHeader header;
    header.entryCount = 2;
    header.frameCount = 0x01020304;
    header.duration = 0x1122334455667788;
    Korva::TimelineEntry entries[2];
    entries[0].frameIndex = 0;
    entries[0].time = 1;
    entries[0].position = 0;
    entries[1].frameIndex = -2;
    entries[1].time = 0x0A0B0C0D;
    entries[1].position = 0x100000000;

    std::vector<uint8_t> bytes(Korva::TimelinePayloadSize(2), 0xEE);
    ASSERT_EQ(bytes.size(), 64u);
    Korva::StoreTimeline(header, entries, bytes.data());
    const std::vector<uint8_t> expected = {
        0x02, 0, 0, 0, 0x04, 0x03, 0x02, 0x01, 0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11,
        0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        0xFE, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0x0D, 0x0C, 0x0B, 0x0A, 0, 0, 0, 0,
        0, 0, 0, 0, 1, 0, 0, 0};
    EXPECT_EQ(bytes, expected);

    const Korva::TimelineHeader h = Korva::LoadTimelineHeader(bytes.data());
    EXPECT_EQ(h.entryCount, 2u);
    EXPECT_EQ(h.frameCount, 0x01020304u);
    EXPECT_EQ(h.duration, 0x1122334455667788);
    const Korva::TimelineEntry e = Korva::LoadTimelineEntry(bytes.data() + 16 + 24);
    EXPECT_EQ(e.frameIndex, -2);
    EXPECT_EQ(e.time, 0x0A0B0C0D);
    EXPECT_EQ(e.position, 0x100000000);
}

}  // namespace
