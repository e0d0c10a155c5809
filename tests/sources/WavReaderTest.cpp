#include <gtest/gtest.h>

#include "sources/WavInputFile.h"
#include "sources/WavReader.h"
#include "tests/sources/TempFiles.h"
#include "tests/support/WavBuilder.h"

namespace {

class WavReaderTest : public ::testing::Test {
protected:
    std::wstring Write(const WavBuilder& wav) { return Write(wav.Build()); }
    std::wstring Write(const std::vector<uint8_t>& bytes) {
        return folder_.Write("file" + std::to_string(count_++) + ".wav", bytes);
    }
    // All sample bytes, read in pieces of `step`.
    static std::vector<uint8_t> ReadAll(WavReader& reader, uint32_t step) {
        std::vector<uint8_t> all;
        std::vector<uint8_t> piece(step);
        for (;;) {
            int32_t got = reader.ReadData(step, piece.data());
            if (got <= 0) {
                break;
            }
            all.insert(all.end(), piece.begin(), piece.begin() + got);
        }
        return all;
    }

    TempFolder folder_;
    int count_ = 0;
};

TEST_F(WavReaderTest, ReadsFormatAndDataPastOtherChunks) {
    WavBuilder wav;
    wav.channels = 1;
    wav.sampleRate = 32000;
    wav.SetSamples({1, -2, 3, -4, 5});
    wav.chunksBeforeFormat = {{"JUNK", {1, 2, 3}}};
    wav.chunksBeforeData = {{"LIST", {'I', 'N', 'F', 'O', 'x'}}, {"odd ", {7}}};
    wav.chunksAfterData = {{"id3 ", {9, 9, 9, 9}}};
    WavInputFile input;
    input.name = Write(wav);
    ASSERT_TRUE(input.Open());
    WavReader& reader = input.GetReader();
    EXPECT_EQ(reader.Format().formatTag, 1);
    EXPECT_EQ(reader.Format().channels, 1);
    EXPECT_EQ(reader.Format().samplesPerSec, 32000u);
    EXPECT_EQ(reader.Format().bitsPerSample, 16);
    EXPECT_EQ(reader.DataSize(), 10u);
    EXPECT_EQ(reader.GetFileSize(), wav.Build().size());
    // The chunk after the data is not sample data.
    EXPECT_EQ(ReadAll(reader, 3), wav.data);
    uint8_t byte;
    EXPECT_EQ(reader.ReadData(1, &byte), 0);
    input.Close();
    EXPECT_EQ(reader.ReadData(1, &byte), -1);
}

TEST_F(WavReaderTest, ReadsEachFormatChunkSize) {
    struct Case {
        uint16_t tag;
        uint32_t formatSize;
        uint16_t subFormat;
        bool pcm;
    };
    const Case cases[] = {
        {1, 16, 1, true}, {1, 18, 1, true}, {0xFFFE, 40, 1, true}, {0xFFFE, 40, 3, false}, {3, 16, 1, false},
    };
    for (const Case& c : cases) {
        WavBuilder wav;
        wav.formatTag = c.tag;
        wav.formatSize = c.formatSize;
        wav.subFormatTag = c.subFormat;
        wav.SetSamples({1, 2});
        WavReader reader;
        ASSERT_TRUE(reader.OpenWav(Write(wav))) << c.formatSize;
        EXPECT_EQ(reader.FormatChunkSize(), c.formatSize);
        EXPECT_EQ(reader.Format().IsPcm(), c.pcm) << c.tag << " " << c.subFormat;
        EXPECT_EQ(reader.Format().channels, 2);
        EXPECT_EQ(ReadAll(reader, 100), wav.data);
    }
}

TEST_F(WavReaderTest, TinyFileWithShortFormatOpens) {
    // 46 bytes in all: nothing follows the 16-byte format but a 2-byte data chunk.
    WavBuilder wav;
    wav.channels = 1;
    wav.SetSamples({0x1234});
    std::vector<uint8_t> bytes = wav.Build();
    ASSERT_EQ(bytes.size(), 46u);
    WavReader reader;
    ASSERT_TRUE(reader.OpenWav(Write(bytes)));
    EXPECT_EQ(reader.Format().channelMask, 0u);  // not taken from the bytes after fmt
    EXPECT_EQ(ReadAll(reader, 8), wav.data);
}

TEST_F(WavReaderTest, RefusesFilesWithoutUsableHeader) {
    WavBuilder good;
    good.SetSamples({1, 2, 3, 4});
    std::vector<uint8_t> base = good.Build();
    auto patched = [&](size_t offset, const char* text) {
        std::vector<uint8_t> bytes = base;
        std::copy(text, text + 4, bytes.begin() + static_cast<long>(offset));
        return bytes;
    };
    WavBuilder dataFirst = good;
    dataFirst.dataBeforeFormat = true;
    WavBuilder noData = good;
    noData.data.clear();
    std::vector<uint8_t> noDataBytes = noData.Build();
    noDataBytes.resize(noDataBytes.size() - 8);  // drop the data chunk header
    std::vector<uint8_t> cutHeader = base;
    cutHeader.resize(40);  // inside the data chunk header
    WavBuilder hugeChunk = good;
    hugeChunk.chunksBeforeData = {{"LIST", {1, 2}}};
    std::vector<uint8_t> hugeBytes = hugeChunk.Build();
    hugeBytes[40] = 0xFF;  // the LIST chunk's size now runs past the end
    hugeBytes[41] = 0xFF;
    hugeBytes[42] = 0xFF;

    const std::pair<const char*, std::vector<uint8_t>> cases[] = {
        {"not RIFF", patched(0, "RIFX")},
        {"not WAVE", patched(8, "AVI ")},
        {"no fmt", patched(12, "fmX ")},
        {"data before fmt", dataFirst.Build()},
        {"no data chunk", noDataBytes},
        {"cut in a chunk header", cutHeader},
        {"chunk beyond the file", hugeBytes},
        {"empty", {}},
    };
    for (const auto& [name, bytes] : cases) {
        WavReader reader;
        EXPECT_FALSE(reader.OpenWav(Write(bytes))) << name;
        EXPECT_FALSE(reader.IsOpen()) << name;
        uint8_t byte;
        EXPECT_EQ(reader.ReadData(1, &byte), -1) << name;
    }
    WavReader reader;
    EXPECT_FALSE(reader.OpenWav(folder_.Path("absent.wav").wstring()));
}

TEST_F(WavReaderTest, DataCutShortGivesWhatTheFileHolds) {
    WavBuilder wav;
    wav.SetSamples({1, 2, 3, 4, 5, 6});
    wav.declaredDataSize = 1000;
    WavReader reader;
    ASSERT_TRUE(reader.OpenWav(Write(wav)));
    std::vector<uint8_t> buffer(100);
    EXPECT_EQ(reader.ReadData(8, buffer.data()), 8);
    EXPECT_EQ(reader.ReadData(100, buffer.data()), 4);
    EXPECT_EQ(buffer[0], 5);
    EXPECT_EQ(reader.ReadData(100, buffer.data()), -1);
}

}  // namespace
