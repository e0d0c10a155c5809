#include "korva/Demux.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "korva/ResultCodes.h"
#include "tests/korva/DemuxTestSupport.h"

namespace {

using namespace demux_test;

std::string g_log;

int CaptureLog(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    g_log += text;
    return n;
}

class DemuxTest : public ::testing::Test {
protected:
    void SetUp() override { g_log.clear(); }

    // Attaches a reader over `bytes`.
    void Load(std::vector<uint8_t> bytes) {
        auto fresh = std::make_unique<MemoryReader>(std::move(bytes));
        ASSERT_EQ(demux.AttachReader(fresh.get()), 0u);  // lets go of the previous reader
        reader = std::move(fresh);
    }
    std::vector<uint32_t> Steps(int count) {
        std::vector<uint32_t> codes;
        for (int i = 0; i < count; ++i) codes.push_back(demux.Step());
        return codes;
    }

    HeapMemory memory;
    std::unique_ptr<MemoryReader> reader;  // outlives the demuxer, which lets go of it
    TestDemux demux{&memory, CaptureLog};
};

using Codes = std::vector<uint32_t>;

TEST_F(DemuxTest, GarbageBeforeFirstSynchroHeader) {
    PacketBuilder file;
    file.Raw(std::vector<uint8_t>(100, 0x11));
    file.Synchro(1000, 64).Audio(0).EndList().Header(2).Last(0, Bytes(5, 1), 10).EndMarker();
    Load(file.out);

    EXPECT_EQ(demux.Step(), 0u);  // skips to the synchro header
    EXPECT_EQ(reader->Tell(), 100);
    EXPECT_EQ(demux.Step(), 0u);  // learns the packet size, consumes nothing
    EXPECT_EQ(reader->Tell(), 100);
    EXPECT_EQ(demux.GetPacketSize(), 64u);
    EXPECT_EQ(reader->GetBufferSize(), 64u);
    EXPECT_EQ(demux.Step(), 0u);  // parses the packet
    EXPECT_EQ(reader->Tell(), static_cast<int64_t>(file.Size()));
    ASSERT_EQ(demux.GetStreamCount(), 1u);
    auto frames = TakeFrames(demux, 0);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].bytes, Bytes(5, 1));
    EXPECT_EQ(frames[0].time, 1010);
    EXPECT_EQ(demux.Step(), 3u);
}

TEST_F(DemuxTest, SearchKeepsTheLast13BytesOfABlock) {
    Load(std::vector<uint8_t>(13, 0x11));
    EXPECT_EQ(demux.Step(), 0u);  // too short to hold a header: consumed whole
    EXPECT_EQ(reader->Tell(), 13);
    EXPECT_EQ(demux.Step(), 3u);

    Load(std::vector<uint8_t>(20, 0x11));
    EXPECT_EQ(demux.Step(), 2u);
    EXPECT_EQ(reader->Tell(), 7);
}

TEST_F(DemuxTest, HeaderSplitAcrossBlocksIsFound) {
    PacketBuilder file;
    file.Raw(std::vector<uint8_t>(20, 0x11));
    file.Synchro(1000, 64).Audio(0).EndList().Header(2).Last(0, Bytes(3, 1), 1).EndMarker();
    Load(file.out);
    reader->SetBufferSize(25);  // the first block ends inside the header
    EXPECT_EQ(demux.Step(), 2u);
    EXPECT_EQ(reader->Tell(), 12);
    EXPECT_EQ(StepToEnd(demux), 3);
    EXPECT_EQ(TakeFrames(demux, 0).size(), 1u);
}

TEST_F(DemuxTest, PacketSizeFieldLimits) {
    struct Case {
        uint32_t packetSize;  // as given to the header writer: the field holds size - 1
        uint32_t firstCode;
    };
    for (Case c : {Case{15, 73}, Case{16, 0}, Case{65536, 73}}) {
        PacketBuilder file;
        file.Synchro(1000, c.packetSize).EndList().Header(2).EndMarker();
        Load(file.out);
        EXPECT_EQ(demux.Step(), c.firstCode) << c.packetSize;
        if (c.firstCode == 0) {
            EXPECT_EQ(demux.Step(), 0u);
            EXPECT_EQ(demux.GetPacketSize(), 16u);
        }
    }
}

TEST_F(DemuxTest, WrongChecksumIsSkippedAndTimeFlagIgnored) {
    PacketBuilder file;
    file.Synchro(5000, 64);
    file.out[3] ^= 0x01;  // checksum no longer matches
    file.Synchro(1000, 64, /*timeFlag=*/true).Audio(0).EndList().Header(2);
    file.Last(0, Bytes(4, 2), 7).EndMarker();
    Load(file.out);
    EXPECT_EQ(demux.Step(), 0u);
    EXPECT_EQ(reader->Tell(), 14);
    EXPECT_EQ(StepToEnd(demux), 3);
    auto frames = TakeFrames(demux, 0);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].time, 1007);
}

TEST_F(DemuxTest, ShortLastFixedPacketFails) {
    PacketBuilder file;
    file.Synchro(1000, 64).Audio(0).EndList().Header(2, false).Last(0, Bytes(4, 2), 7);
    file.EndMarker().PadFrom(0, 64);
    size_t second = file.Size();
    file.Header(2, false).Piece(0, Bytes(30, 3));
    ASSERT_EQ(file.Size() - second, 33u);
    Load(file.out);
    EXPECT_EQ((Codes{0, 0, 0}), Steps(3));
    EXPECT_EQ(reader->Tell(), 64);
    EXPECT_EQ(demux.Step(), 73u);
    EXPECT_EQ(g_log,
              "error: synchronized fixe packet size reader returned a packet with an "
              "unexpected size (33 != 64)\n");
    EXPECT_FALSE(demux.IsSynchronized());
    EXPECT_EQ(TakeFrames(demux, 0).size(), 1u);
}

TEST_F(DemuxTest, OversizedVariableBlockFails) {
    PacketBuilder file;
    file.Synchro(1000, 32).Audio(0).EndList().Header(2).EndMarker();
    file.Raw(std::vector<uint8_t>(40, 0x11));
    Load(file.out);
    EXPECT_EQ((Codes{0, 0, 0}), Steps(3));
    reader->SetBufferSize(40);  // a reader not keeping to the packet size
    EXPECT_EQ(demux.Step(), 73u);
    EXPECT_EQ(g_log,
              "error: synchronized variable packet size reader returned a packet with an "
              "unexpected size (40 > 32)\n");
}

TEST_F(DemuxTest, SequenceGapDropsPartialFrames) {
    PacketBuilder file;
    file.Synchro(1000, 64).Audio(0).Audio(1).EndList().Header(2, true, 7);
    file.Piece(0, Bytes(5, 1)).EndMarker();
    file.Header(2, true, 8).Piece(1, Bytes(4, 2)).EndMarker();
    file.Header(2, true, 10).Last(0, Bytes(3, 3), 50).Last(1, Bytes(2, 4), 60).EndMarker();
    Load(file.out);
    EXPECT_EQ((Codes{0, 0, 0, 0, 80}), Steps(5));
    // The same packet again: its number is now accepted and its frames complete.
    EXPECT_EQ((Codes{0, 3}), Steps(2));
    auto first = TakeFrames(demux, 0);
    auto second = TakeFrames(demux, 1);
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(first[0].bytes, Bytes(3, 3));
    EXPECT_EQ(first[0].time, 1050);
    EXPECT_EQ(second[0].bytes, Bytes(2, 4));
    EXPECT_EQ(second[0].time, 1060);
}

TEST_F(DemuxTest, SequenceNumberWrapsAt65536) {
    PacketBuilder file;
    file.Synchro(1000, 64).Audio(0).EndList().Header(2, true, 65535);
    file.Piece(0, Bytes(5, 1)).EndMarker();
    file.Header(2, true, 0).Last(0, Bytes(3, 3), 50).EndMarker();
    Load(file.out);
    EXPECT_EQ(StepToEnd(demux), 3);
    auto frames = TakeFrames(demux, 0);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].bytes.size(), 8u);
}

TEST_F(DemuxTest, CounterJumpMovesTimesOn) {
    PacketBuilder file;
    file.Synchro(1000, 64).Audio(0).EndList().Header(2).Last(0, Bytes(1, 1), 10).EndMarker();
    file.Synchro(2000, 64).Audio(0).EndList().Header(3).Last(0, Bytes(1, 1), 10).EndMarker();
    // Two synchro blocks lost: the counter goes from 3 to 5.
    file.Header(5).Last(0, Bytes(1, 1), 10).EndMarker();
    // 60 more lost, across the wrap from 63 to 1.
    file.Header(2).Last(0, Bytes(1, 1), 10).EndMarker();
    file.Synchro(9000, 64).Audio(0).EndList().Header(3).Last(0, Bytes(1, 1), 10).EndMarker();
    Load(file.out);
    EXPECT_EQ(StepToEnd(demux), 3);
    EXPECT_EQ(demux.GetSynchroInterval(), 1000);  // later blocks leave it alone
    auto frames = TakeFrames(demux, 0);
    ASSERT_EQ(frames.size(), 5u);
    EXPECT_EQ(frames[0].time, 1010);
    EXPECT_EQ(frames[1].time, 2010);
    EXPECT_EQ(frames[2].time, 4010);
    EXPECT_EQ(frames[3].time, 64010);
    EXPECT_EQ(frames[4].time, 9010);
}

TEST_F(DemuxTest, CounterChangeWithoutIntervalResynchronizes) {
    PacketBuilder file;
    file.Synchro(1000, 64).Audio(0).EndList().Header(2).Last(0, Bytes(1, 1), 10).EndMarker();
    file.Header(4).Last(0, Bytes(1, 1), 10).EndMarker();
    file.Synchro(3000, 64).Audio(0).EndList().Header(4).Last(0, Bytes(1, 1), 20).EndMarker();
    Load(file.out);
    EXPECT_EQ((Codes{0, 0, 0, 0}), Steps(4));
    EXPECT_FALSE(demux.IsSynchronized());  // not reported; the search takes over
    EXPECT_EQ(StepToEnd(demux), 3);
    auto frames = TakeFrames(demux, 0);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1].time, 3020);
}

TEST_F(DemuxTest, EndOfDataQueuesPartialFrame) {
    PacketBuilder file;
    file.Synchro(1000, 64).Audio(0).EndList().Header(2).Last(0, Bytes(2, 1), 1);
    file.Piece(0, Bytes(7, 2)).EndMarker();
    Load(file.out);
    EXPECT_EQ(StepToEnd(demux), 3);
    EXPECT_EQ(demux.Step(), 3u);
    auto frames = TakeFrames(demux, 0);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1].bytes, Bytes(7, 2));
}

TEST_F(DemuxTest, FrameSplitOverPacketsAndStreams) {
    PacketBuilder file;
    file.Synchro(1000, 48).Audio(0).Audio(1).EndList().Header(2);
    file.Piece(0, Bytes(4, 1)).Piece(1, Bytes(2, 9)).EndMarker();
    file.Header(2).Piece(0, Bytes(20, 2)).EndMarker();
    file.Header(2).Last(0, Bytes(3, 3), -200, 1).Last(1, Bytes(1, 8), 5).EndMarker();
    Load(file.out);
    EXPECT_EQ(StepToEnd(demux), 3);
    auto frames = TakeFrames(demux, 0);
    ASSERT_EQ(frames.size(), 1u);
    std::vector<uint8_t> expected = Bytes(4, 1);
    for (auto part : {Bytes(20, 2), Bytes(3, 3)}) expected.insert(expected.end(), part.begin(), part.end());
    EXPECT_EQ(frames[0].bytes, expected);
    EXPECT_EQ(frames[0].time, 800);  // before the synchro time
    EXPECT_EQ(frames[0].frameType, 1u);
    auto other = TakeFrames(demux, 1);
    ASSERT_EQ(other.size(), 1u);
    EXPECT_EQ(other[0].bytes.size(), 3u);
}

// Stream table ------------------------------------------------------------------------

TEST_F(DemuxTest, RedeclaredStreamKeepsItsQueue) {
    PacketBuilder file;
    file.Synchro(1000, 64).Audio(0).Video(1).EndList().Header(2);
    file.Last(0, Bytes(1, 1), 1).Last(1, Bytes(1, 1), 1).EndMarker();
    file.Synchro(2000, 64).Audio(0).Video(1).EndList().Header(3);
    file.Last(0, Bytes(1, 1), 1).Last(1, Bytes(1, 1), 1).EndMarker();
    Load(file.out);
    EXPECT_EQ((Codes{0, 0, 0}), Steps(3));
    Korva::Stream* video = demux.GetStreamAt(1);
    EXPECT_EQ(StepToEnd(demux), 3);
    ASSERT_EQ(demux.GetStreamCount(), 2u);
    EXPECT_EQ(demux.GetStreamAt(1), video);
    EXPECT_EQ(TakeFrames(demux, 1).size(), 2u);
}

TEST_F(DemuxTest, RedeclaredDifferentStreamGetsSecondEntry) {
    PacketBuilder file;
    file.Synchro(1000, 64).Audio(0).Video(1, 320).EndList().Header(2);
    file.Last(1, Bytes(1, 1), 1).EndMarker();
    file.Synchro(2000, 64).Audio(0).Video(1, 640).EndList().Header(3);
    file.Last(1, Bytes(2, 1), 1).EndMarker();
    file.Synchro(3000, 64).Audio(0).Video(1, 640).EndList().Header(4).EndMarker();
    file.Synchro(4000, 64).Audio(0).Video(1, 640).EndList().Header(5).EndMarker();
    Load(file.out);
    EXPECT_EQ((Codes{0, 0, 0, 0}), Steps(4));
    ASSERT_EQ(demux.GetStreamCount(), 3u);
    auto* old = static_cast<Korva::StreamVideo*>(demux.GetStreamAt(1));
    auto* fresh = static_cast<Korva::StreamVideo*>(demux.GetStreamAt(2));
    EXPECT_EQ(old->width, 320);
    EXPECT_EQ(fresh->width, 640);
    EXPECT_EQ(fresh->index, 1);
    EXPECT_EQ(TakeFrames(demux, 2).at(0).bytes.size(), 2u);  // the new entry got the Ep
    // The old entry keeps its frame until it is taken, then goes at the next synchro block.
    EXPECT_EQ(demux.Step(), 0u);
    EXPECT_EQ(demux.GetStreamCount(), 3u);
    EXPECT_EQ(TakeFrames(demux, 1).size(), 1u);
    EXPECT_EQ(demux.Step(), 0u);
    ASSERT_EQ(demux.GetStreamCount(), 2u);
    EXPECT_EQ(static_cast<Korva::StreamVideo*>(demux.GetStreamAt(1))->width, 640);
}

TEST_F(DemuxTest, UndeclaredStreamStaysUntilItsQueueEmpties) {
    PacketBuilder file;
    file.Synchro(1000, 64).Audio(0).Audio(1).EndList().Header(2);
    file.Last(1, Bytes(1, 1), 1).EndMarker();
    file.Synchro(2000, 64).Audio(0).EndList().Header(3).EndMarker();
    file.Synchro(3000, 64).Audio(0).EndList().Header(4).EndMarker();
    file.Synchro(4000, 64).Audio(0).EndList().Header(5).EndMarker();
    file.Header(5).Last(1, Bytes(1, 1), 1).EndMarker();
    Load(file.out);
    EXPECT_EQ((Codes{0, 0, 0, 0, 0}), Steps(5));
    ASSERT_EQ(demux.GetStreamCount(), 2u);  // not declared in two periods, frame waiting
    EXPECT_EQ(TakeFrames(demux, 1).size(), 1u);
    EXPECT_EQ(demux.Step(), 0u);
    EXPECT_EQ(demux.GetStreamCount(), 1u);
    EXPECT_EQ(demux.Step(), 71u);  // its index is now unknown
    EXPECT_EQ(g_log, "ReadEp: cannot find stream 1\n");
}

TEST_F(DemuxTest, EpOfUndeclaredStreamIsRefused) {
    PacketBuilder file;
    file.Synchro(1000, 64).Audio(0).Audio(1).EndList().Header(2);
    file.Last(1, Bytes(1, 1), 1).EndMarker();
    file.Synchro(2000, 64).Audio(0).EndList().Header(3).Last(1, Bytes(1, 1), 1).EndMarker();
    Load(file.out);
    EXPECT_EQ((Codes{0, 0, 0, 72}), Steps(4));
    EXPECT_EQ(g_log, "ReadEp: stream 1 already disabled\n");
    EXPECT_FALSE(demux.IsSynchronized());
}

TEST_F(DemuxTest, DuplicateIndexIsRefused) {
    PacketBuilder twice;
    twice.Synchro(1000, 64).Audio(2).Video(2).EndList().Header(2).EndMarker();
    Load(twice.out);
    EXPECT_EQ((Codes{0, 0, 83}), Steps(3));
    EXPECT_EQ(g_log, "Found stream index 2 but this stream is already present (duplicate?)...\n");

    // A continuation header (time 0) does not end the period: its streams are still active.
    g_log.clear();
    PacketBuilder continued;
    continued.Synchro(1000, 64).Audio(2).EndList().Header(2).EndMarker();
    continued.Synchro(0, 64).Audio(2).EndList().Header(2).EndMarker();
    Load(continued.out);
    EXPECT_EQ((Codes{0, 0, 0, 83}), Steps(4));
    EXPECT_EQ(g_log, "Found stream index 2 but this stream is already present (duplicate?)...\n");
}

TEST_F(DemuxTest, DescriptorRecordErrors) {
    struct Case {
        std::vector<uint8_t> list;
        uint32_t code;
        uint32_t position;  // after the call
        bool desynchronizes;
    };
    const std::vector<Case> cases = {
        {{0x00, 0x03}, 256, 5, false},                    // end record skips its size
        {{0x05, 0x01, 0x00}, 68, 0, false},               // no class for type 5
        {{0x01, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 69, 0, true},  // video of 11 bytes
        {{0x02, 0x06, 0, 1, 0}, 67, 0, true},             // payload beyond the end
        {{0x82}, 67, 0, true},                            // type runs into the end
    };
    for (const Case& c : cases) {
        PacketBuilder file;
        file.Synchro(1000, 64).Audio(0).EndList().Header(2).EndMarker();
        Load(file.out);
        ASSERT_EQ((Codes{0, 0, 0}), Steps(3));
        ASSERT_TRUE(demux.IsSynchronized());
        uint32_t position = 0;
        EXPECT_EQ(demux.ParseDescriptorRecord(c.list.data(), &position,
                                              static_cast<uint32_t>(c.list.size())),
                  c.code);
        EXPECT_EQ(position, c.position);
        EXPECT_EQ(demux.IsSynchronized(), !c.desynchronizes);
        EXPECT_EQ(demux.GetStreamCount(), 1u);
    }
}

TEST_F(DemuxTest, BadRecordInSynchroBlockFailsTheStep) {
    PacketBuilder file;
    file.Synchro(1000, 64).Raw({0x01, 0x0B}).Raw(std::vector<uint8_t>(11, 0));
    file.EndList().Header(2).EndMarker();
    Load(file.out);
    EXPECT_EQ((Codes{0, 0, 69}), Steps(3));
    EXPECT_FALSE(demux.IsSynchronized());
}

TEST_F(DemuxTest, EpPayloadSizesAndBounds) {
    PacketBuilder file;
    file.Synchro(1000, 64).Audio(0).EndList().Header(2).EndMarker();
    Load(file.out);
    ASSERT_EQ((Codes{0, 0, 0}), Steps(3));

    for (uint32_t size : {1u, 8192u}) {
        PacketBuilder ep;
        ep.Last(0, Bytes(size, 5), 3);
        uint32_t position = 0;
        EXPECT_EQ(demux.ReadEp(ep.out.data(), &position, static_cast<uint32_t>(ep.Size())), 257u);
        EXPECT_EQ(position, ep.Size());
        auto frames = TakeFrames(demux, 0);
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frames[0].bytes, Bytes(size, 5));
    }

    PacketBuilder ep;
    ep.Last(0, Bytes(10, 5), 3);
    uint32_t position = 0;
    EXPECT_EQ(demux.ReadEp(ep.out.data(), &position, static_cast<uint32_t>(ep.Size() - 1)), 67u);
    EXPECT_EQ(g_log, "Ep goes beyond end of packet\n");
    EXPECT_EQ(position, 0u);
    EXPECT_FALSE(demux.IsSynchronized());
}

TEST_F(DemuxTest, StreamTableLookups) {
    PacketBuilder file;
    file.Synchro(1000, 64).Audio(3).Audio(1).EndList().Header(2).EndMarker();
    Load(file.out);
    ASSERT_EQ((Codes{0, 0, 0}), Steps(3));
    ASSERT_EQ(demux.GetStreamCount(), 2u);
    EXPECT_EQ(demux.GetStreamAt(0)->index, 1);  // ordered by index
    EXPECT_EQ(demux.GetStreamAt(1)->index, 3);
    EXPECT_EQ(demux.GetStreamAt(2), nullptr);
    auto* audio = static_cast<Korva::StreamAudio*>(demux.GetStreamAt(0));
    EXPECT_EQ(audio->frequency, 48000u);
    EXPECT_EQ(audio->channels, 2u);

    demux.DetachReader();
    EXPECT_TRUE(reader->finished);
    EXPECT_EQ(demux.GetStreamCount(), 0u);
}

TEST_F(DemuxTest, ReaderFailuresBecomeCodes) {
    EXPECT_EQ(demux.AttachReader(nullptr), 64u);

    PacketBuilder file;
    file.Synchro(1000, 64).Audio(0).EndList().Header(2).EndMarker();
    Load(file.out);
    reader->failingReads = 2;
    EXPECT_EQ((Codes{1, 1, 0}), Steps(3));

    Load(file.out);
    reader->refuseBufferSize = true;
    EXPECT_EQ((Codes{0, 66}), Steps(2));
    EXPECT_EQ(g_log, "error: reader could not change its packet size\n");
}

// A synchro packet cut off right after its descriptor list has no packet header. The
// failure is not reported, and the search must not find the same header again forever.
TEST_F(DemuxTest, SynchroPacketWithoutPacketHeaderDoesNotLoop) {
    PacketBuilder file;
    file.Synchro(1000, 64).Audio(0).EndList();
    Load(file.out);
    EXPECT_EQ(StepToEnd(demux, 1000), 3);
}

}  // namespace
