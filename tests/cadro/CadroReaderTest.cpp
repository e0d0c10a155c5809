#include "cadro/CadroReader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "cadro/CadroDemuxer.h"
#include "cadro/CadroMemory.h"
#include "cadro/CadroMuxer.h"
#include "korva/StreamDescriptors.h"

namespace {

class CadroReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = std::filesystem::temp_directory_path() /
                (std::string("cadro_reader_") +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".bin");
    }
    void TearDown() override { std::filesystem::remove(path_); }

    void WriteBytes(const std::vector<uint8_t>& bytes) {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    std::wstring Path() const { return path_.wstring(); }

    std::filesystem::path path_;
};

std::vector<uint8_t> Numbered(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return bytes;
}

// Checks that a block holds the file's bytes from `from` on.
void ExpectBlock(const uint8_t* data, uint32_t size, const std::vector<uint8_t>& file,
                 size_t from, uint32_t expectedSize) {
    ASSERT_EQ(size, expectedSize);
    EXPECT_TRUE(std::equal(data, data + size, file.begin() + static_cast<ptrdiff_t>(from)));
}

TEST_F(CadroReaderTest, BlocksFollowTheBufferSize) {
    const auto file = Numbered(10000);
    WriteBytes(file);
    CadroReader reader;
    ASSERT_TRUE(reader.Open(Path()));
    EXPECT_EQ(reader.GetSize(), 10000);
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    ASSERT_TRUE(reader.Read(&data, &size));
    ExpectBlock(data, size, file, 0, 4096);

    // Smaller: bytes are given back to the file and read again later.
    ASSERT_TRUE(reader.SetBufferSize(2048));
    ASSERT_TRUE(reader.Read(&data, &size));
    ExpectBlock(data, size, file, 0, 2048);
    ASSERT_TRUE(reader.Consume(100));
    EXPECT_EQ(reader.Tell(), 100);
    ASSERT_TRUE(reader.Read(&data, &size));
    ExpectBlock(data, size, file, 100, 2048);

    // Larger: more is read after the bytes kept.
    ASSERT_TRUE(reader.SetBufferSize(8192));
    ASSERT_TRUE(reader.Read(&data, &size));
    ExpectBlock(data, size, file, 100, 8192);
    ASSERT_TRUE(reader.Consume(8000));
    ASSERT_TRUE(reader.Read(&data, &size));
    ExpectBlock(data, size, file, 8100, 1900);  // only what is left in the file
    ASSERT_TRUE(reader.Consume(1900));
    EXPECT_TRUE(reader.IsEnd());
    EXPECT_FALSE(reader.Read(&data, &size));
}

TEST_F(CadroReaderTest, ConsumeAndSeekStayInsideTheFile) {
    const auto file = Numbered(300);
    WriteBytes(file);
    CadroReader reader;
    ASSERT_TRUE(reader.Open(Path()));
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    ASSERT_TRUE(reader.Read(&data, &size));
    EXPECT_FALSE(reader.Consume(301));
    EXPECT_FALSE(reader.Seek(-1));
    EXPECT_FALSE(reader.Seek(301));
    ASSERT_TRUE(reader.Seek(250));
    EXPECT_EQ(reader.Tell(), 250);
    ASSERT_TRUE(reader.Read(&data, &size));
    ExpectBlock(data, size, file, 250, 50);
    EXPECT_FALSE(reader.SetBufferSize(0));
    EXPECT_EQ(reader.GetBufferSize(), 4096u);
    ASSERT_TRUE(reader.Seek(300));
    EXPECT_TRUE(reader.IsEnd());
    EXPECT_FALSE(reader.Read(&data, &size));
    ASSERT_TRUE(reader.Seek(0));
    ASSERT_TRUE(reader.Read(&data, &size));
    ExpectBlock(data, size, file, 0, 300);
}

TEST_F(CadroReaderTest, EmptyAndMissingFiles) {
    WriteBytes({});
    CadroReader reader;
    ASSERT_TRUE(reader.Open(Path()));
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    EXPECT_FALSE(reader.Read(&data, &size));
    EXPECT_TRUE(reader.IsEnd());

    CadroMemoryDemuxer memory;
    CadroDemuxer empty(&memory);
    EXPECT_FALSE(empty.Open(Path()));
    CadroDemuxer missing(&memory);
    EXPECT_FALSE(missing.Open(Path() + L".none"));
}

// A file with packet size 2048: the first block is the initial 4096 bytes; once the
// synchro header has been read the reader keeps to 2048.
TEST_F(CadroReaderTest, DemuxerSetsTheReaderToThePacketSize) {
    {
        CadroMemoryMuxer memory;
        CadroMuxer mux(&memory);
        ASSERT_TRUE(mux.Open(Path(), 2048, 15000000, false, false, false));
        Korva::Stream* stream = nullptr;
        ASSERT_EQ(mux.AddStream(Korva::kTypeAudio, &stream), 0);
        std::vector<uint8_t> frame(5000, 0x5A);
        for (int i = 0; i < 4; ++i) ASSERT_TRUE(mux.AddFrame(0, frame.data(), 5000, 1 + i, 0, false));
        ASSERT_TRUE(mux.Close());
    }
    CadroMemoryDemuxer memory;
    CadroDemuxer demuxer(&memory);
    EXPECT_EQ(demuxer.GetFileReader().GetBufferSize(), 4096u);
    ASSERT_TRUE(demuxer.Open(Path()));
    EXPECT_EQ(demuxer.GetFileReader().GetBufferSize(), 2048u);
    EXPECT_EQ(demuxer.GetPacketSize(), 2048u);
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    ASSERT_TRUE(demuxer.GetFileReader().Read(&data, &size));
    EXPECT_EQ(size, 2048u);
}

}  // namespace
