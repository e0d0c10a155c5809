#include "korva/Mux.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "korva/ResultCodes.h"
#include "korva/SynchroHeader.h"
#include "tests/korva/CadroStreamParser.h"
#include "tests/korva/KorvaTestMemory.h"
#include "tests/support/RecordingWriter.h"

namespace {

using cadro_test::ParsedFrame;
using cadro_test::ParsedPacket;

std::vector<std::string>* g_logs = nullptr;
void Log(const char* message) {
    if (g_logs != nullptr) g_logs->push_back(message);
}

std::vector<uint8_t> Pattern(uint32_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (uint32_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    return bytes;
}

class MuxTest : public ::testing::Test {
protected:
    MuxTest() { g_logs = &logs; }
    ~MuxTest() override {
        g_logs = nullptr;
        EXPECT_TRUE(logs.empty()) << logs.front();
    }

    int Open(uint32_t packetSize, int64_t period = 15000000, bool variable = true,
             bool numbered = false) {
        packetSize_ = packetSize;
        return mux.Open(packetSize, period, &writer, numbered, variable, false);
    }

    Korva::Stream* Add(uint32_t type) {
        Korva::Stream* stream = nullptr;
        EXPECT_EQ(mux.AddStream(type, &stream), Korva::kResultOk);
        return stream;
    }

    int Frame(uint32_t stream, const std::vector<uint8_t>& bytes, int64_t time,
              uint32_t frameType = 0, bool synchroPoint = false, bool closePacket = false) {
        return mux.AddFrame(stream, bytes.data(), static_cast<uint32_t>(bytes.size()), time,
                            time, frameType, synchroPoint, closePacket);
    }

    // Every recorded Write, each parsed as exactly one packet.
    std::vector<ParsedPacket> Packets() {
        std::vector<ParsedPacket> all;
        for (const RecordingWriter::Packet& packet : writer.Packets()) {
            std::vector<ParsedPacket> one;
            std::string error;
            EXPECT_TRUE(cadro_test::ParsePackets(packet.bytes, packetSize_, &one, &error))
                << error;
            EXPECT_EQ(one.size(), 1u);
            if (one.size() == 1) {
                EXPECT_EQ(one[0].length, packet.bytes.size());
                all.push_back(one[0]);
            }
        }
        return all;
    }

    std::vector<std::string> logs;
    KorvaTestMemory memory;
    RecordingWriter writer;
    Korva::Mux mux{&memory, Log};
    uint32_t packetSize_ = 0;
};

TEST_F(MuxTest, OpenChecksThePacketSize) {
    const struct {
        uint32_t size;
        bool numbered;
        int result;
    } cases[] = {
        {0, false, Korva::kResultPacketSize},      {32, false, Korva::kResultPacketSize},
        {33, false, Korva::kResultOk},             {34, true, Korva::kResultPacketSize},
        {35, true, Korva::kResultOk},              {65535, false, Korva::kResultOk},
        {65536, false, Korva::kResultPacketSize},  {0x10000 + 4096, false, Korva::kResultPacketSize},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        EXPECT_EQ(mux.Open(c.size, 1000, &writer, c.numbered, true, false), c.result);
        EXPECT_EQ(mux.IsOpen(), c.result == Korva::kResultOk);
        if (c.result == Korva::kResultOk) {
            EXPECT_EQ(writer.GetPacketSize(), c.size);
        }
        mux.Close();
    }
}

TEST_F(MuxTest, OpenReportsWriterAndAllocationFailures) {
    writer.SetStartResult(false);
    EXPECT_EQ(Open(4096), Korva::kResultWriterStart);
    EXPECT_FALSE(mux.IsOpen());
    writer.SetStartResult(true);
    memory.failAllocsAbove = 1000;
    EXPECT_EQ(Open(4096), Korva::kResultAlloc);
    EXPECT_FALSE(mux.IsOpen());
    EXPECT_EQ(memory.fatalCount, 0);
}

TEST_F(MuxTest, ClosedMuxerRefusesStreamsAndFrames) {
    Korva::Stream* stream = nullptr;
    EXPECT_EQ(mux.AddStream(Korva::kTypeVideo, &stream), Korva::kResultNotOpen);
    EXPECT_EQ(Frame(0, Pattern(10, 1), 1), Korva::kResultNotOpen);
    EXPECT_EQ(mux.Flush(), Korva::kResultOk);
    EXPECT_EQ(mux.Close(), Korva::kResultOk);
    EXPECT_EQ(writer.Finishes(), 0u);
}

TEST_F(MuxTest, StreamIndexesAndTypes) {
    ASSERT_EQ(Open(4096), Korva::kResultOk);
    Korva::Stream* stream = nullptr;
    EXPECT_EQ(mux.AddStream(5, &stream), Korva::kResultStreamType);
    EXPECT_EQ(mux.AddStream(Korva::kTypeEnd, &stream), Korva::kResultStreamType);
    const uint32_t types[] = {Korva::kTypeVideo, Korva::kTypeAudio, Korva::kTypeVideoWithLayout,
                              Korva::kTypeTimeline};
    for (int i = 0; i < 256; ++i) {
        stream = Add(types[i % 4]);
        ASSERT_NE(stream, nullptr);
        EXPECT_EQ(stream->index, i);
        EXPECT_EQ(stream->type, types[i % 4]);
    }
    EXPECT_EQ(mux.AddStream(Korva::kTypeAudio, &stream), Korva::kResultNoFreeIndex);
    EXPECT_EQ(mux.GetStreamCount(), 256u);
    // Descriptor allocation failing.
    ASSERT_EQ(mux.Close(), Korva::kResultOk);
    ASSERT_EQ(Open(4096), Korva::kResultOk);
    EXPECT_EQ(Add(Korva::kTypeAudio)->index, 0);  // indexes start again at Open
    memory.failAll = true;
    EXPECT_EQ(mux.AddStream(Korva::kTypeAudio, &stream), Korva::kResultStreamType);
    memory.failAll = false;
    EXPECT_EQ(Add(Korva::kTypeAudio)->index, 1);
}

TEST_F(MuxTest, FrameValueChecks) {
    ASSERT_EQ(Open(4096), Korva::kResultOk);
    Add(Korva::kTypeVideo);
    const std::vector<uint8_t> bytes = Pattern(10, 0);
    EXPECT_EQ(Frame(256, bytes, 1), Korva::kResultValueRange);
    EXPECT_EQ(Frame(0, bytes, 1, 256), Korva::kResultValueRange);
    EXPECT_TRUE(writer.Packets().empty());
    const int64_t limit = int64_t{1} << 60;
    EXPECT_EQ(Frame(0, bytes, 1), Korva::kResultOk);  // synchro time 1
    // Frames far from the synchro time, with a synchro time that starts no new block.
    auto far = [&](int64_t time) {
        return mux.AddFrame(0, bytes.data(), 10, time, 2, 0, false, false);
    };
    EXPECT_EQ(far(1 + limit), Korva::kResultTimeRange);
    EXPECT_EQ(far(1 - limit), Korva::kResultTimeRange);
    EXPECT_EQ(far(INT64_MIN), Korva::kResultTimeRange);
    EXPECT_EQ(far(INT64_MAX), Korva::kResultTimeRange);
    EXPECT_EQ(far(limit), Korva::kResultOk);  // offset 2^60 - 1
    EXPECT_EQ(far(2 - limit), Korva::kResultOk);
    ASSERT_EQ(mux.Close(), Korva::kResultOk);
    const std::vector<ParsedFrame> frames = cadro_test::AssembleFrames(Packets());
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[1].time, limit);
    EXPECT_EQ(frames[2].time, 2 - limit);
}

TEST_F(MuxTest, FirstFrameOpensASynchroBlockWithCounterTwo) {
    ASSERT_EQ(Open(4096), Korva::kResultOk);
    auto* video = static_cast<Korva::StreamVideo*>(Add(Korva::kTypeVideo));
    video->width = 320;
    video->height = 240;
    auto* audio = static_cast<Korva::StreamAudio*>(Add(Korva::kTypeAudio));
    audio->frequency = 48000;
    audio->channels = 2;
    // A frame at time 0 gives synchro time 1.
    ASSERT_EQ(Frame(0, {0xAB, 0xCD}, 0), Korva::kResultOk);
    ASSERT_EQ(mux.Close(), Korva::kResultOk);
    EXPECT_EQ(writer.Finishes(), 1u);

    ASSERT_EQ(writer.Packets().size(), 1u);
    const std::vector<uint8_t> expected = {
        0x4C, 0x32, 0xAA, 0xAB, 0, 0, 0, 0, 0, 0, 0, 1, 0x0F, 0xFF,  // synchro header, time 1
        0x01, 0x0C, 0, 0, 0, 0, 0, 0, 0x01, 0x40, 0x00, 0xF0, 0, 0,  // video record
        0x02, 0x06, 1, 0, 0x00, 0xBB, 0x7F, 0x01,                    // audio record
        0x00, 0x00,                                                  // end record
        0x09,                                                        // variable, counter 2
        0xB6, 0x00, 0x00, 0x00, 0x20, 0x01, 0xAB, 0xCD,              // timed Ep, offset -1
        0x00};                                                       // end marker
    EXPECT_EQ(writer.Packets()[0].bytes, expected);
    const Korva::PacketInfo& info = writer.Packets()[0].info;
    EXPECT_EQ(info.flags, Korva::kPacketSynchro | Korva::kPacketTimed);
    EXPECT_EQ(info.minTime, 0);
    EXPECT_EQ(info.maxTime, 0);
}

TEST_F(MuxTest, SynchroPointEndsAPartlyFilledPacket) {
    for (bool variable : {true, false}) {
        SCOPED_TRACE(variable);
        writer.Clear();
        ASSERT_EQ(Open(512, 15000000, variable), Korva::kResultOk);
        Add(Korva::kTypeVideo);
        ASSERT_EQ(Frame(0, Pattern(100, 1), 1), Korva::kResultOk);
        ASSERT_EQ(Frame(0, Pattern(100, 2), 40001, 1), Korva::kResultOk);
        EXPECT_TRUE(writer.Packets().empty());
        ASSERT_EQ(Frame(0, Pattern(50, 3), 80001, 0, true), Korva::kResultOk);
        ASSERT_EQ(writer.Packets().size(), 1u);
        ASSERT_EQ(mux.Close(), Korva::kResultOk);

        const std::vector<ParsedPacket> packets = Packets();
        ASSERT_EQ(packets.size(), 2u);
        EXPECT_TRUE(packets[0].endMarker);
        EXPECT_EQ(packets[0].eps.size(), 2u);
        EXPECT_EQ(writer.Packets()[0].bytes.size(), variable ? 31 + 2 * 106 + 1 : 512u);
        if (!variable) {
            // Padding is zero.
            const auto& bytes = writer.Packets()[0].bytes;
            for (size_t i = 31 + 2 * 106 + 1; i < bytes.size(); ++i) ASSERT_EQ(bytes[i], 0);
        }
        EXPECT_TRUE(packets[1].synchro);
        EXPECT_EQ(packets[1].synchroTime, 80001u);
        EXPECT_EQ(packets[1].counter, 3u);
        EXPECT_EQ(packets[0].counter, 2u);
        EXPECT_EQ(packets[1].variable, variable);
        const std::vector<ParsedFrame> frames = cadro_test::AssembleFrames(packets);
        ASSERT_EQ(frames.size(), 3u);
        EXPECT_EQ(frames[1].frameType, 1u);
        EXPECT_EQ(frames[1].time, 40001);
        EXPECT_EQ(frames[2].time, 80001);
        EXPECT_EQ(frames[2].bytes, Pattern(50, 3));
    }
}

TEST_F(MuxTest, SynchroPeriodAdvancesByExactlyOnePeriod) {
    ASSERT_EQ(Open(4096, 1000), Korva::kResultOk);
    Add(Korva::kTypeAudio);
    const int64_t times[] = {1, 500, 3501, 3600, 3700, 4000};
    for (int64_t t : times) ASSERT_EQ(Frame(0, Pattern(20, 0), t), Korva::kResultOk);
    ASSERT_EQ(mux.Close(), Korva::kResultOk);
    const std::vector<ParsedPacket> packets = Packets();
    std::vector<uint64_t> synchroTimes;
    std::vector<uint32_t> counters;
    for (const ParsedPacket& p : packets) {
        if (p.synchro) synchroTimes.push_back(p.synchroTime);
        counters.push_back(p.counter);
    }
    // 3501 is 2.5 periods past 1: one period only. 3600 is still a period past 1001.
    // 3700 is not a period past 2001; 4000 is.
    EXPECT_EQ(synchroTimes, (std::vector<uint64_t>{1, 1001, 2001, 3001}));
    EXPECT_EQ(counters, (std::vector<uint32_t>{2, 3, 4, 5}));
    const std::vector<ParsedFrame> frames = cadro_test::AssembleFrames(packets);
    ASSERT_EQ(frames.size(), 6u);
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(frames[i].time, times[i]);
}

TEST_F(MuxTest, SynchroCounterWrapsFrom63To1) {
    ASSERT_EQ(Open(4096), Korva::kResultOk);
    Add(Korva::kTypeVideo);
    for (int i = 0; i < 64; ++i) {
        ASSERT_EQ(Frame(0, Pattern(5, 0), 1 + i * 1000, 0, true), Korva::kResultOk);
    }
    ASSERT_EQ(mux.Close(), Korva::kResultOk);
    const std::vector<ParsedPacket> packets = Packets();
    ASSERT_EQ(packets.size(), 64u);
    EXPECT_EQ(packets[0].counter, 2u);
    EXPECT_EQ(packets[61].counter, 63u);
    EXPECT_EQ(packets[62].counter, 1u);
    EXPECT_EQ(packets[63].counter, 2u);
}

TEST_F(MuxTest, LargeFrameIsSplitIntoMaximalPieces) {
    ASSERT_EQ(Open(65535), Korva::kResultOk);
    Add(Korva::kTypeVideo);
    const std::vector<uint8_t> bytes = Pattern(20000, 9);
    ASSERT_EQ(Frame(0, bytes, 1), Korva::kResultOk);
    ASSERT_EQ(mux.Close(), Korva::kResultOk);
    const std::vector<ParsedPacket> packets = Packets();
    ASSERT_EQ(packets.size(), 1u);
    ASSERT_EQ(packets[0].eps.size(), 3u);
    EXPECT_EQ(packets[0].eps[0].payload.size(), 8192u);
    EXPECT_FALSE(packets[0].eps[0].timed);
    EXPECT_EQ(packets[0].eps[1].payload.size(), 8192u);
    EXPECT_FALSE(packets[0].eps[1].timed);
    EXPECT_EQ(packets[0].eps[2].payload.size(), 3616u);
    EXPECT_TRUE(packets[0].eps[2].timed);
    EXPECT_EQ(cadro_test::AssembleFrames(packets)[0].bytes, bytes);
}

TEST_F(MuxTest, ExactFillWritesAFullPacketWithoutEndMarker) {
    // Synchro header 14, video record 14, end record 2, packet header 1, timed header 6.
    const uint32_t fits = 4096 - 14 - 14 - 2 - 1 - 6;
    for (bool closePacket : {false, true}) {
        SCOPED_TRACE(closePacket);
        writer.Clear();
        ASSERT_EQ(Open(4096), Korva::kResultOk);
        Add(Korva::kTypeVideo);
        ASSERT_EQ(Frame(0, Pattern(fits, 4), 1, 0, false, closePacket), Korva::kResultOk);
        ASSERT_EQ(writer.Packets().size(), 1u);
        EXPECT_EQ(writer.Packets()[0].bytes.size(), 4096u);
        EXPECT_EQ(writer.Packets()[0].info.flags, Korva::kPacketSynchro | Korva::kPacketTimed);
        ASSERT_EQ(Frame(0, Pattern(3, 5), 2), Korva::kResultOk);
        ASSERT_EQ(mux.Close(), Korva::kResultOk);
        const std::vector<ParsedPacket> packets = Packets();
        ASSERT_EQ(packets.size(), 2u);
        EXPECT_FALSE(packets[0].endMarker);
        EXPECT_FALSE(packets[1].synchro);
        EXPECT_EQ(packets[1].eps.size(), 1u);
        EXPECT_EQ(writer.Packets()[1].bytes.size(), 1 + 6 + 3 + 1u);
    }
}

TEST_F(MuxTest, LastByteAlwaysTravelsInATimedPiece) {
    // One byte more than fits with a timed header: all but the last byte go untimed and
    // the packet ends; the last byte opens the next packet.
    const uint32_t size = 4096 - 14 - 14 - 2 - 1 - 6 + 1;
    ASSERT_EQ(Open(4096), Korva::kResultOk);
    Add(Korva::kTypeVideo);
    const std::vector<uint8_t> bytes = Pattern(size, 6);
    ASSERT_EQ(Frame(0, bytes, 1), Korva::kResultOk);
    ASSERT_EQ(mux.Close(), Korva::kResultOk);
    const std::vector<ParsedPacket> packets = Packets();
    ASSERT_EQ(packets.size(), 2u);
    ASSERT_EQ(packets[0].eps.size(), 1u);
    EXPECT_FALSE(packets[0].eps[0].timed);
    EXPECT_EQ(packets[0].eps[0].payload.size(), size - 1);
    EXPECT_TRUE(packets[0].endMarker);
    ASSERT_EQ(packets[1].eps.size(), 1u);
    EXPECT_TRUE(packets[1].eps[0].timed);
    EXPECT_EQ(packets[1].eps[0].payload.size(), 1u);
    EXPECT_EQ(cadro_test::AssembleFrames(packets)[0].bytes, bytes);
    EXPECT_EQ(writer.Packets()[0].info.flags, Korva::kPacketSynchro);
    EXPECT_EQ(writer.Packets()[1].info.flags, Korva::kPacketTimed);
}

TEST_F(MuxTest, FrameThatCannotStartIsMovedToTheNextPacket) {
    // After 31 bytes of synchro block and a 2-byte header + 4091-byte untimed piece... a
    // simpler layout: fill the packet up to 2 bytes before its end.
    ASSERT_EQ(Open(4096), Korva::kResultOk);
    Add(Korva::kTypeVideo);
    ASSERT_EQ(Frame(0, Pattern(4096 - 31 - 6 - 2, 1), 1), Korva::kResultOk);
    // Two bytes are left: not enough for a header and one byte.
    ASSERT_EQ(Frame(0, Pattern(10, 2), 2), Korva::kResultOk);
    ASSERT_EQ(writer.Packets().size(), 1u);
    EXPECT_EQ(writer.Packets()[0].info.flags,
              Korva::kPacketSynchro | Korva::kPacketTimed | Korva::kPacketClosedEarly);
    EXPECT_EQ(writer.Packets()[0].info.maxTime, 2);  // the moved frame's time was recorded
    ASSERT_EQ(mux.Close(), Korva::kResultOk);
    EXPECT_EQ(writer.Packets()[1].info.minTime, 2);
    EXPECT_EQ(writer.Packets()[1].info.maxFileTime, 2);
    EXPECT_EQ(cadro_test::AssembleFrames(Packets()).size(), 2u);
}

TEST_F(MuxTest, ZeroSizeFrameWritesNoPieceButMayStartASynchroBlock) {
    ASSERT_EQ(Open(4096), Korva::kResultOk);
    Add(Korva::kTypeTimeline);
    ASSERT_EQ(Frame(0, {}, 5), Korva::kResultOk);
    ASSERT_EQ(mux.Close(), Korva::kResultOk);
    const std::vector<ParsedPacket> packets = Packets();
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_TRUE(packets[0].synchro);
    EXPECT_EQ(packets[0].synchroTime, 5u);
    EXPECT_TRUE(packets[0].eps.empty());
    EXPECT_TRUE(packets[0].endMarker);
    EXPECT_EQ(writer.Packets()[0].info.flags, Korva::kPacketSynchro);
}

TEST_F(MuxTest, ClosePacketEndsThePacketAfterTheFrame) {
    ASSERT_EQ(Open(4096), Korva::kResultOk);
    Add(Korva::kTypeVideo);
    ASSERT_EQ(Frame(0, Pattern(100, 1), 1, 0, true, true), Korva::kResultOk);
    ASSERT_EQ(writer.Packets().size(), 1u);
    EXPECT_EQ(writer.Packets()[0].info.flags,
              Korva::kPacketSynchro | Korva::kPacketTimed | Korva::kPacketClosedEarly);
    ASSERT_EQ(mux.Flush(), Korva::kResultOk);  // nothing left to write
    EXPECT_EQ(writer.Packets().size(), 1u);
    ASSERT_EQ(Frame(0, Pattern(100, 2), 2), Korva::kResultOk);
    ASSERT_EQ(mux.Flush(), Korva::kResultOk);
    EXPECT_EQ(writer.Packets().size(), 2u);
    ASSERT_EQ(mux.Close(), Korva::kResultOk);
    EXPECT_EQ(writer.Packets().size(), 2u);
}

TEST_F(MuxTest, FixedPacketSizeWritesWholePackets) {
    ASSERT_EQ(Open(4096, 100000, false), Korva::kResultOk);
    Add(Korva::kTypeVideo);
    Add(Korva::kTypeAudio);
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(Frame(0, Pattern(1000 + i * 37, 1), 1 + i * 40000, i % 10 ? 1 : 0, i % 10 == 0),
                  Korva::kResultOk);
        ASSERT_EQ(Frame(1, Pattern(10, 2), 1 + i * 40000), Korva::kResultOk);
    }
    ASSERT_EQ(mux.Close(), Korva::kResultOk);
    ASSERT_GT(writer.Packets().size(), 10u);
    for (const auto& packet : writer.Packets()) EXPECT_EQ(packet.bytes.size(), 4096u);
    std::vector<ParsedPacket> packets;
    std::string error;
    ASSERT_TRUE(cadro_test::ParsePackets(writer.Bytes(), 4096, &packets, &error)) << error;
    EXPECT_EQ(cadro_test::AssembleFrames(packets).size(), 100u);
}

TEST_F(MuxTest, DescriptorListContinuesAcrossPackets) {
    // 64-byte packets: after the 14-byte header, three 15-byte records and the 4-byte
    // reserve leave no room for a fourth.
    ASSERT_EQ(Open(64), Korva::kResultOk);
    for (int i = 0; i < 5; ++i) {
        auto* video = static_cast<Korva::StreamVideoWithLayout*>(Add(Korva::kTypeVideoWithLayout));
        video->width = static_cast<uint16_t>(100 + i);
    }
    ASSERT_EQ(Frame(4, Pattern(10, 1), 777), Korva::kResultOk);
    ASSERT_EQ(mux.Close(), Korva::kResultOk);
    const std::vector<ParsedPacket> packets = Packets();
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].synchroTime, 777u);
    EXPECT_EQ(packets[0].records.size(), 3u);
    EXPECT_TRUE(packets[0].eps.empty());
    EXPECT_TRUE(packets[0].endMarker);
    EXPECT_EQ(writer.Packets()[0].bytes.size(), 14 + 45 + 2 + 1 + 1u);
    EXPECT_TRUE(packets[1].synchro);
    EXPECT_EQ(packets[1].synchroTime, 0u);  // continuation header
    EXPECT_EQ(packets[1].checksum, 0xAAAA);
    EXPECT_EQ(packets[1].packetSizeField, 63u);
    ASSERT_EQ(packets[1].records.size(), 2u);
    EXPECT_EQ(packets[1].records[0].payload[0], 3);  // stream index
    EXPECT_EQ(packets[1].records[1].payload[0], 4);
    // A continuation does not advance the synchro counter.
    EXPECT_EQ(packets[0].counter, 2u);
    EXPECT_EQ(packets[1].counter, 2u);
    EXPECT_EQ(writer.Packets()[0].info.flags, Korva::kPacketSynchro);
    EXPECT_EQ(writer.Packets()[1].info.flags, Korva::kPacketSynchro | Korva::kPacketTimed);
    // The frame's time is relative to the block's time, not the continuation's.
    const std::vector<ParsedFrame> frames = cadro_test::AssembleFrames(packets);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].time, 777);
}

TEST_F(MuxTest, StreamAddedLaterStartsASynchroBlockListingIt) {
    ASSERT_EQ(Open(4096), Korva::kResultOk);
    Add(Korva::kTypeVideo);
    ASSERT_EQ(Frame(0, Pattern(10, 1), 1), Korva::kResultOk);
    ASSERT_EQ(Frame(0, Pattern(10, 1), 2), Korva::kResultOk);
    Add(Korva::kTypeAudio);
    ASSERT_EQ(Frame(1, Pattern(10, 1), 3), Korva::kResultOk);
    ASSERT_EQ(Frame(0, Pattern(10, 1), 4), Korva::kResultOk);
    ASSERT_EQ(mux.Close(), Korva::kResultOk);
    const std::vector<ParsedPacket> packets = Packets();
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].records.size(), 1u);
    EXPECT_EQ(packets[1].synchroTime, 3u);
    EXPECT_EQ(packets[1].records.size(), 2u);
    EXPECT_EQ(packets[1].eps.size(), 2u);
}

TEST_F(MuxTest, NumberedPacketsCarryConsecutiveSequenceNumbers) {
    ASSERT_EQ(Open(100, 15000000, true, true), Korva::kResultOk);
    Add(Korva::kTypeAudio);
    for (int i = 0; i < 30; ++i) ASSERT_EQ(Frame(0, Pattern(70, 1), 1 + i), Korva::kResultOk);
    ASSERT_EQ(mux.Close(), Korva::kResultOk);
    const std::vector<ParsedPacket> packets = Packets();
    ASSERT_GT(packets.size(), 20u);
    for (size_t i = 0; i < packets.size(); ++i) {
        EXPECT_TRUE(packets[i].numbered);
        EXPECT_EQ(packets[i].sequence, i);
    }
    EXPECT_EQ(cadro_test::AssembleFrames(packets).size(), 30u);
}

// Random interleaved frames of several streams, in both packet modes and small packets:
// every frame must come back whole, with its time and type, from packets that respect the
// size limit and whose PacketInfo matches their content.
TEST_F(MuxTest, RandomFramesRoundTrip) {
    std::mt19937 random(1234);
    for (uint32_t packetSize : {40u, 100u, 1500u, 9000u}) {
        for (bool variable : {true, false}) {
            SCOPED_TRACE(std::to_string(packetSize) + (variable ? " variable" : " fixed"));
            writer.Clear();
            ASSERT_EQ(Open(packetSize, 5000, variable, packetSize == 100), Korva::kResultOk);
            Add(Korva::kTypeVideo);
            Add(Korva::kTypeAudio);
            Add(Korva::kTypeTimeline);
            std::vector<ParsedFrame> sent;
            int64_t time = 0;
            for (int i = 0; i < 300; ++i) {
                ParsedFrame f;
                f.stream = random() % 3;
                f.frameType = f.stream == 0 ? random() % 3 : 0;
                time += random() % 3000;
                f.time = time - static_cast<int64_t>(random() % 100);
                const uint32_t sizes[] = {0, 1, 2, 7, 30, 500, 8191, 8192, 8193, 20000};
                f.bytes = Pattern(sizes[random() % 10], static_cast<uint8_t>(i));
                const bool synchroPoint = f.stream == 0 && f.frameType == 0;
                ASSERT_EQ(Frame(f.stream, f.bytes, f.time, f.frameType, synchroPoint,
                                random() % 8 == 0),
                          Korva::kResultOk);
                if (!f.bytes.empty()) sent.push_back(f);
            }
            ASSERT_EQ(mux.Close(), Korva::kResultOk);
            const std::vector<ParsedPacket> packets = Packets();
            ASSERT_EQ(packets.size(), writer.Packets().size());
            for (size_t i = 0; i < packets.size(); ++i) {
                const auto& info = writer.Packets()[i].info;
                const auto& bytes = writer.Packets()[i].bytes;
                EXPECT_LE(bytes.size(), packetSize);
                if (!variable) {
                    EXPECT_EQ(bytes.size(), packetSize);
                }
                EXPECT_EQ((info.flags & Korva::kPacketSynchro) != 0, packets[i].synchro);
                bool timed = false;
                for (const auto& ep : packets[i].eps) timed = timed || ep.timed;
                EXPECT_EQ((info.flags & Korva::kPacketTimed) != 0, timed);
                // Only a packet whose last piece ends on its last byte has no end marker.
                if (!packets[i].endMarker) {
                    ASSERT_FALSE(packets[i].eps.empty());
                    const auto& last = packets[i].eps.back();
                    EXPECT_EQ(last.payloadStart + last.payload.size(), packetSize);
                }
            }
            const std::vector<ParsedFrame> received = cadro_test::AssembleFrames(packets);
            ASSERT_EQ(received.size(), sent.size());
            for (size_t i = 0; i < sent.size(); ++i) {
                ASSERT_EQ(received[i].stream, sent[i].stream) << i;
                ASSERT_EQ(received[i].frameType, sent[i].frameType) << i;
                ASSERT_EQ(received[i].time, sent[i].time) << i;
                ASSERT_EQ(received[i].bytes, sent[i].bytes) << i;
            }
        }
    }
}

TEST_F(MuxTest, FailedWriteIsReportedAndTheBufferNeverOverruns) {
    // The writer refuses the full packet; nothing may be written after it, and closing
    // drops it instead of appending an end marker past the buffer.
    ASSERT_EQ(Open(64), Korva::kResultOk);
    Add(Korva::kTypeVideo);
    writer.FailWritesFrom(0);
    EXPECT_EQ(Frame(0, Pattern(200, 1), 1), Korva::kResultWrite);
    const uint32_t attempts = writer.Attempts();
    EXPECT_EQ(Frame(0, Pattern(10, 1), 2), Korva::kResultWrite);
    EXPECT_EQ(writer.Attempts(), attempts);
    EXPECT_EQ(mux.Close(), Korva::kResultWrite);
    EXPECT_FALSE(mux.IsOpen());
    EXPECT_EQ(writer.Finishes(), 1u);
    EXPECT_EQ(writer.Attempts(), attempts);
    EXPECT_EQ(mux.Close(), Korva::kResultOk);
}

TEST_F(MuxTest, FailedFlushAndCloseKeepReportingUntilTheBufferIsDropped) {
    ASSERT_EQ(Open(4096), Korva::kResultOk);
    Add(Korva::kTypeVideo);
    ASSERT_EQ(Frame(0, Pattern(100, 1), 1), Korva::kResultOk);
    writer.FailWritesFrom(0);
    // Close's own write fails: still open, as the write might be retried by the caller...
    EXPECT_EQ(mux.Close(), Korva::kResultWrite);
    EXPECT_TRUE(mux.IsOpen());
    // ...but the packet is not written again: it is dropped and the muxer closes.
    EXPECT_EQ(mux.Close(), Korva::kResultWrite);
    EXPECT_FALSE(mux.IsOpen());
    EXPECT_EQ(writer.Attempts(), 1u);

    writer.StopFailing();
    ASSERT_EQ(Open(4096), Korva::kResultOk);
    Add(Korva::kTypeVideo);
    ASSERT_EQ(Frame(0, Pattern(100, 1), 1), Korva::kResultOk);
    writer.FailWritesFrom(writer.Attempts());
    EXPECT_EQ(mux.Flush(), Korva::kResultWrite);
    EXPECT_EQ(mux.Flush(), Korva::kResultWrite);  // drops the packet
    EXPECT_EQ(mux.Flush(), Korva::kResultOk);     // nothing left
    EXPECT_EQ(mux.Close(), Korva::kResultOk);
}

TEST_F(MuxTest, ReopeningClosesThePreviousOutput) {
    ASSERT_EQ(Open(4096), Korva::kResultOk);
    Add(Korva::kTypeVideo);
    ASSERT_EQ(Frame(0, Pattern(10, 1), 1), Korva::kResultOk);
    ASSERT_EQ(Open(4096), Korva::kResultOk);
    EXPECT_EQ(writer.Packets().size(), 1u);
    EXPECT_EQ(writer.Finishes(), 1u);
    EXPECT_EQ(mux.GetStreamCount(), 0u);
}

}  // namespace
