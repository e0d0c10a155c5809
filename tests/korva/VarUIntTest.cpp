#include "korva/VarUInt.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct VarUIntCase {
    uint32_t value;
    std::vector<uint8_t> bytes;
};

const VarUIntCase kCases[] = {
    {0, {0x00}},
    {127, {0x7F}},
    {128, {0x81, 0x00}},
    {300, {0x82, 0x2C}},
    {16383, {0xFF, 0x7F}},
    {16384, {0x81, 0x80, 0x00}},
    {2097151, {0xFF, 0xFF, 0x7F}},
    {2097152, {0x81, 0x80, 0x80, 0x00}},
    {268435455, {0xFF, 0xFF, 0xFF, 0x7F}},
};

TEST(VarUInt, WritesAndReadsTheTable) {
    for (const VarUIntCase& c : kCases) {
        SCOPED_TRACE(c.value);
        uint8_t out[8] = {};
        const uint32_t n = Korva::WriteVarUInt(out, c.value);
        EXPECT_EQ(std::vector<uint8_t>(out, out + n), c.bytes);
        EXPECT_EQ(Korva::VarUIntSize(c.value), c.bytes.size());

        const uint8_t* position = c.bytes.data();
        uint32_t value = 0xDEAD;
        ASSERT_TRUE(Korva::ReadVarUInt(&position, c.bytes.data() + c.bytes.size(), &value));
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(position, c.bytes.data() + c.bytes.size());
    }
}

TEST(VarUInt, ReadFailsWhenTheInputEndsInsideANumber) {
    for (const VarUIntCase& c : kCases) {
        for (size_t cut = 0; cut < c.bytes.size(); ++cut) {
            const uint8_t* position = c.bytes.data();
            uint32_t value = 0xDEAD;
            EXPECT_FALSE(Korva::ReadVarUInt(&position, c.bytes.data() + cut, &value));
            EXPECT_EQ(value, 0xDEADu);
        }
    }
}

TEST(VarUInt, FourthByteEndsTheNumberWhateverItsTopBit) {
    const uint8_t bytes[] = {0x80, 0x80, 0x80, 0x81, 0x05};
    const uint8_t* position = bytes;
    uint32_t value = 0;
    ASSERT_TRUE(Korva::ReadVarUInt(&position, bytes + sizeof bytes, &value));
    EXPECT_EQ(value, 0x81u);
    EXPECT_EQ(position, bytes + 4);
}

}  // namespace
