#include "cadro/CadroWriter.h"

#include <gtest/gtest.h>

#include <vector>

#include "korva/SynchroHeader.h"

namespace {

std::vector<uint8_t> SynchroPacket(uint64_t time) {
    std::vector<uint8_t> bytes(40, 0);
    Korva::WriteSynchroHeader(bytes.data(), time, false, 4096);
    return bytes;
}

TEST(CadroWriter, StartsWithDefaultsAndRefusesWritesWithoutAFile) {
    CadroWriter writer;
    EXPECT_EQ(writer.GetPacketSize(), 4096u);
    EXPECT_TRUE(writer.Start());
    const std::vector<uint8_t> bytes = SynchroPacket(1);
    Korva::PacketInfo info;
    EXPECT_FALSE(writer.Write(bytes.data(), 40, &info));
    EXPECT_EQ(writer.FileSize(), 0);
    EXPECT_FALSE(writer.Seek(1));
    EXPECT_FALSE(writer.Seek(0));  // no file to move in
    EXPECT_TRUE(writer.CloseFile());
}

#ifdef __linux__
TEST(CadroWriter, RefusedWriteIsReportedWhenTheBufferReachesTheFile) {
    const std::vector<uint8_t> bytes = SynchroPacket(1);
    Korva::PacketInfo info;
    info.flags = Korva::kPacketSynchro;

    // A small packet waits in the buffer; the refusal comes with the close.
    CadroWriter writer;
    ASSERT_TRUE(writer.Create(L"/dev/full"));
    EXPECT_TRUE(writer.Write(bytes.data(), 40, &info));
    EXPECT_FALSE(writer.CloseFile());

    // Once the buffer is flushed and refused, every later call fails too.
    ASSERT_TRUE(writer.Create(L"/dev/full"));
    EXPECT_TRUE(writer.Write(bytes.data(), 40, &info));
    EXPECT_FALSE(writer.Seek(0));
    EXPECT_FALSE(writer.Write(bytes.data(), 40, &info));
    EXPECT_EQ(writer.FileSize(), 40);
    EXPECT_FALSE(writer.CloseFile());

    // A packet larger than the buffer goes straight to the file and fails at once.
    std::vector<uint8_t> large(CadroWriter::kBufferSize, 0);
    ASSERT_TRUE(writer.Create(L"/dev/full"));
    EXPECT_FALSE(writer.Write(large.data(), static_cast<uint32_t>(large.size()), &info));
    EXPECT_EQ(writer.FileSize(), 0);
    EXPECT_EQ(writer.Position(), 0);
    EXPECT_FALSE(writer.CloseFile());
}
#endif

}  // namespace
