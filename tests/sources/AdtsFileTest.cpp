#include <gtest/gtest.h>

#include "sources/AacInputFile.h"
#include "sources/AdtsFile.h"
#include "tests/sources/TempFiles.h"
#include "tests/support/AdtsBuilder.h"

namespace {

class AdtsFileTest : public ::testing::Test {
protected:
    std::wstring Write(const std::vector<uint8_t>& bytes) {
        return folder_.Write("file" + std::to_string(count_++) + ".aac", bytes);
    }
    TempFolder folder_;
    int count_ = 0;
};

TEST_F(AdtsFileTest, DecodesHeaderFields) {
    struct Case {
        AdtsFrameSpec spec;
        int sampleRate;
        int channels;
    };
    const Case cases[] = {
        {AdtsFrameSpec().Profile(1).Frequency(3).Channels(7), 48000, 8},
        {AdtsFrameSpec().Profile(0).Frequency(4).Channels(2).Blocks(2), 44100, 2},
        {AdtsFrameSpec().Profile(2).Frequency(12).Channels(1).Blocks(4), 7350, 1},
        {AdtsFrameSpec().Profile(3).Frequency(0).Channels(6), 96000, 6},
        {AdtsFrameSpec().Profile(1).Frequency(13).Channels(0), 0, 0},
    };
    for (const Case& c : cases) {
        AacInputFile input;
        input.name = Write(AdtsBuilder::Frame(c.spec));
        ASSERT_TRUE(input.Open());
        const AdtsFile& reader = input.GetReader();
        EXPECT_EQ(reader.GetProfile(), c.spec.profile);
        EXPECT_EQ(reader.GetSampleRate(), c.sampleRate);
        EXPECT_EQ(reader.GetChannelCount(), c.channels);
        EXPECT_EQ(reader.GetBlockCount(), c.spec.blocks);
        EXPECT_EQ(reader.GetFrameSize(), 107u);
        EXPECT_EQ(reader.GetFileSize(), 107);
    }
}

TEST_F(AdtsFileTest, CrcIsReadWithTheHeaderAndKeptInTheFrame) {
    AdtsBuilder aac;
    aac.AddFrame(AdtsFrameSpec().Crc().Payload(20, 0x40));
    aac.AddFrame(AdtsFrameSpec().Payload(10));
    AdtsFile reader;
    ASSERT_TRUE(reader.OpenFile(Write(aac.Build())));
    ASSERT_TRUE(reader.ReadHeader());
    EXPECT_TRUE(reader.HasCrc());
    EXPECT_EQ(reader.GetFrameSize(), 9u);
    EXPECT_EQ(reader.GetFrameBytes()[7], 0xC3);

    ASSERT_TRUE(reader.OpenFile(Write(aac.Build())));
    ASSERT_TRUE(reader.ReadFrame());
    std::vector<uint8_t> first(reader.GetFrameBytes(), reader.GetFrameBytes() + reader.GetFrameSize());
    EXPECT_EQ(first, AdtsBuilder::Frame(AdtsFrameSpec().Crc().Payload(20, 0x40)));
    ASSERT_TRUE(reader.ReadFrame());
    EXPECT_FALSE(reader.HasCrc());
    EXPECT_EQ(reader.GetFrameSize(), 17u);
    EXPECT_FALSE(reader.ReadFrame());
    EXPECT_EQ(reader.GetState(), AdtsFile::kEnded);
    reader.CloseFile();
    EXPECT_EQ(reader.GetState(), AdtsFile::kGood);
}

TEST_F(AdtsFileTest, OpenNeedsAWholeFirstFrame) {
    std::vector<uint8_t> frame = AdtsBuilder::Frame({});
    std::vector<uint8_t> cut(frame.begin(), frame.end() - 1);
    std::vector<uint8_t> notAdts = frame;
    notAdts[1] = 0x0F;
    std::vector<uint8_t> shortLength = AdtsBuilder::Frame(AdtsFrameSpec().Payload(0).FrameLength(5));
    std::vector<uint8_t> shortCrcLength =
        AdtsBuilder::Frame(AdtsFrameSpec().Crc().Payload(0).FrameLength(8));
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int state;
    };
    const Case cases[] = {
        {"cut frame", cut, AdtsFile::kEnded},
        {"no sync word", notAdts, AdtsFile::kBadData},
        {"length below the header", shortLength, AdtsFile::kBadData},
        {"length inside the CRC", shortCrcLength, AdtsFile::kBadData},
        {"a few bytes", {0xFF, 0xF1}, AdtsFile::kEnded},
        {"empty", {}, AdtsFile::kEnded},
    };
    for (const Case& c : cases) {
        AacInputFile input;
        input.name = Write(c.bytes);
        EXPECT_FALSE(input.Open()) << c.name;
        EXPECT_EQ(input.GetReader().GetState(), c.state) << c.name;
    }
    AacInputFile missing;
    missing.name = folder_.Path("absent.aac").wstring();
    EXPECT_FALSE(missing.Open());
    EXPECT_EQ(missing.GetReader().GetState(), AdtsFile::kOpenFailed);
}

}  // namespace
