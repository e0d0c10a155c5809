// Damaged input: whatever the bytes, the demuxer must neither crash (the sanitizer build
// checks every access) nor keep returning progress codes without end.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "korva/Demux.h"
#include "korva/Mux.h"
#include "tests/korva/DemuxTestSupport.h"
#include "tests/support/RecordingWriter.h"

namespace {

using namespace demux_test;

// A small file with every descriptor kind, split and whole frames, several synchro
// blocks, a continuation packet and numbered packets.
std::vector<uint8_t> SmallFile(bool variable, bool numbered) {
    HeapMemory memory;
    RecordingWriter writer;
    Korva::Mux mux(&memory);
    EXPECT_EQ(mux.Open(40, 3000, &writer, numbered, variable, false), 0);
    for (uint32_t type : {Korva::kTypeVideoWithLayout, Korva::kTypeAudio, Korva::kTypeVideo,
                          Korva::kTypeTimeline}) {
        Korva::Stream* stream = nullptr;
        EXPECT_EQ(mux.AddStream(type, &stream), 0);
    }
    std::vector<uint8_t> bytes(90);
    for (uint32_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 13 + 1);
    int64_t time = 1;
    for (uint32_t n = 0; n < 12; ++n) {
        const uint32_t size = 1 + (n * 37) % 90;
        EXPECT_EQ(mux.AddFrame(n % 4, bytes.data(), size, time - 500, time, n % 3, n % 5 == 0,
                               false),
                  0);
        time += 1000;
    }
    EXPECT_EQ(mux.Close(), 0);
    return writer.Bytes();
}

// Steps to the end of the data; after an error code the next steps go on for a while,
// as a careless caller would. Returns false when progress codes never stop.
bool ReadsToAnEnd(const std::vector<uint8_t>& file, int stepsAfterErrors) {
    HeapMemory memory;
    MemoryReader reader(file);
    TestDemux demux(&memory);
    if (demux.AttachReader(&reader) != 0) return false;
    int errors = 0;
    for (int steps = 0; steps < 200000; ++steps) {
        uint32_t code = demux.Step();
        if (code == 3) return true;
        if (code > 3 && ++errors > stepsAfterErrors) return true;
        for (uint32_t i = 0; i < demux.GetStreamCount(); ++i) TakeFrames(demux, i);
    }
    return false;
}

TEST(DemuxDamagedInputTest, TruncatedAtEveryByte) {
    for (bool variable : {true, false}) {
        for (bool numbered : {false, true}) {
            const std::vector<uint8_t> file = SmallFile(variable, numbered);
            ASSERT_GT(file.size(), 200u);
            ASSERT_TRUE(ReadsToAnEnd(file, 0));
            for (size_t length = 0; length <= file.size(); ++length) {
                std::vector<uint8_t> cut(file.begin(), file.begin() + length);
                ASSERT_TRUE(ReadsToAnEnd(cut, 20)) << "cut at " << length;
            }
        }
    }
}

TEST(DemuxDamagedInputTest, RandomByteFlips) {
    std::mt19937 rng(2024);
    const std::vector<uint8_t> files[] = {SmallFile(true, false), SmallFile(false, true)};
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> file = files[round % 2];
        const int flips = 1 + static_cast<int>(rng() % 8);
        for (int i = 0; i < flips; ++i) {
            file[rng() % file.size()] ^= static_cast<uint8_t>(1 + rng() % 255);
        }
        ASSERT_TRUE(ReadsToAnEnd(file, 20)) << "round " << round;
    }
}

TEST(DemuxDamagedInputTest, RandomBytes) {
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> file(1 + rng() % 3000);
        for (auto& b : file) b = static_cast<uint8_t>(rng());
        // Plant a valid synchro header so that the packet parser sees the noise too.
        PacketBuilder header;
        header.Synchro(1 + rng() % 100000, 16 + rng() % 2000);
        const size_t at = rng() % file.size();
        for (size_t i = 0; i < header.Size() && at + i < file.size(); ++i) {
            file[at + i] = header.out[i];
        }
        ASSERT_TRUE(ReadsToAnEnd(file, 20)) << "round " << round;
    }
}

}  // namespace
