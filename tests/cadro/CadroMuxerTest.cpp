#include "cadro/CadroMuxer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cadro/CadroMemory.h"
#include "korva/StreamDescriptors.h"
#include "korva/SynchroHeader.h"
#include "korva/Timeline.h"
#include "platform/WideText.h"
#include "tests/korva/CadroStreamParser.h"

namespace {

using cadro_test::ParsedPacket;

std::vector<uint8_t> Pattern(uint32_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (uint32_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 13);
    return bytes;
}

class CadroMuxerTest : public ::testing::Test {
protected:
    CadroMuxerTest() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("cadro_muxer_") + info->name() + ".cadro";
        for (char& c : name) {
            if (c == '/') c = '_';
        }
        path_ = std::filesystem::temp_directory_path() / name;
        std::filesystem::remove(path_);
    }
    ~CadroMuxerTest() override {
        muxer.Close();
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }

    std::wstring Path() const { return Platform::FromUtf8(path_.string()); }

    std::vector<uint8_t> FileBytes() const {
        std::ifstream in(path_, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }

    std::vector<ParsedPacket> Parse(uint32_t packetSize) const {
        std::vector<ParsedPacket> packets;
        std::string error;
        EXPECT_TRUE(cadro_test::ParsePackets(FileBytes(), packetSize, &packets, &error)) << error;
        return packets;
    }

    Korva::Stream* Add(uint32_t type) {
        Korva::Stream* stream = nullptr;
        EXPECT_EQ(muxer.AddStream(type, &stream), 0);
        return stream;
    }

    bool Frame(uint32_t stream, const std::vector<uint8_t>& bytes, int64_t time,
               uint32_t frameType, bool synchroPoint) {
        return muxer.AddFrame(stream, bytes.data(), static_cast<uint32_t>(bytes.size()), time,
                              frameType, synchroPoint);
    }

    std::filesystem::path path_;
    CadroMemoryMuxer memory;
    CadroMuxer muxer{&memory};
};

TEST_F(CadroMuxerTest, OpenTruncatesAndCloseIsSafeToRepeat) {
    EXPECT_TRUE(muxer.Close());  // never opened
    {
        std::ofstream old(path_, std::ios::binary);
        old << std::string(10000, 'x');
    }
    ASSERT_TRUE(muxer.Open(Path(), 4096, 15000000, false, true, false));
    EXPECT_TRUE(std::filesystem::exists(path_));
    EXPECT_EQ(std::filesystem::file_size(path_), 0u);
    Add(Korva::kTypeAudio);
    ASSERT_TRUE(Frame(0, Pattern(100, 1), 1, 0, false));
    EXPECT_TRUE(muxer.Close());
    const uintmax_t size = std::filesystem::file_size(path_);
    EXPECT_GT(size, 100u);
    EXPECT_TRUE(muxer.Close());
    EXPECT_EQ(std::filesystem::file_size(path_), size);
    // Opened again after a close.
    ASSERT_TRUE(muxer.Open(Path(), 4096, 15000000, false, true, false));
    EXPECT_TRUE(muxer.Close());
    EXPECT_EQ(std::filesystem::file_size(path_), 0u);
}

TEST_F(CadroMuxerTest, OpenFailures) {
    const std::wstring missingFolder = Path() + L".missing/out.cadro";
    EXPECT_FALSE(muxer.Open(missingFolder, 4096, 15000000, false, true, false));
    // A packet size the muxer refuses: the file is created and Close closes it.
    EXPECT_FALSE(muxer.Open(Path(), 65536, 15000000, false, true, false));
    EXPECT_TRUE(std::filesystem::exists(path_));
    EXPECT_TRUE(muxer.Close());
}

TEST_F(CadroMuxerTest, LastSynchroPositionPointsAtTheSynchroPacketOfEachKeyFrame) {
    for (bool variable : {true, false}) {
        SCOPED_TRACE(variable);
        ASSERT_TRUE(muxer.Open(Path(), 1024, 15000000, false, variable, false));
        Add(Korva::kTypeVideo);
        Add(Korva::kTypeAudio);
        std::vector<int64_t> positions;
        std::vector<int64_t> keyTimes;
        for (int i = 0; i < 40; ++i) {
            const int64_t time = 1 + i * 40000;
            const bool key = i % 8 == 0;
            ASSERT_TRUE(Frame(0, Pattern(700 + i * 11, 1), time, key ? 0 : 1, key));
            if (key) {
                positions.push_back(muxer.LastSynchroPosition());
                keyTimes.push_back(time);
            }
            ASSERT_TRUE(Frame(1, Pattern(300, 2), time, 0, false));
        }
        ASSERT_TRUE(muxer.Close());
        EXPECT_EQ(positions[0], 0);
        const std::vector<uint8_t> file = FileBytes();
        for (size_t k = 0; k < positions.size(); ++k) {
            SCOPED_TRACE(k);
            if (!variable) {
                EXPECT_EQ(positions[k] % 1024, 0);
            }
            Korva::SynchroHeaderFields fields;
            ASSERT_LE(positions[k] + 14, static_cast<int64_t>(file.size()));
            ASSERT_TRUE(Korva::ParseSynchroHeader(file.data() + positions[k], &fields));
            EXPECT_EQ(static_cast<int64_t>(fields.time), keyTimes[k]);
        }
    }
}

TEST_F(CadroMuxerTest, LastSynchroPositionSkipsContinuationPackets) {
    // With 64-byte packets five layout descriptors need two packets; the position must be
    // the first, the one a player can start from.
    ASSERT_TRUE(muxer.Open(Path(), 64, 15000000, false, true, false));
    for (int i = 0; i < 5; ++i) Add(Korva::kTypeVideoWithLayout);
    ASSERT_TRUE(Frame(0, Pattern(30, 1), 1, 0, true));
    EXPECT_EQ(muxer.LastSynchroPosition(), 0);
    ASSERT_TRUE(Frame(0, Pattern(100, 2), 40001, 1, false));
    const int64_t before = muxer.GetWriter().FileSize();
    ASSERT_TRUE(Frame(0, Pattern(30, 3), 80001, 0, true));
    ASSERT_TRUE(muxer.Close());

    const std::vector<ParsedPacket> packets = Parse(64);
    std::vector<size_t> blockStarts;
    for (const ParsedPacket& p : packets) {
        if (p.synchro && p.synchroTime != 0) blockStarts.push_back(p.start);
    }
    ASSERT_EQ(blockStarts.size(), 2u);
    EXPECT_GE(static_cast<int64_t>(blockStarts[1]), before);
    // The second block's packets: its first packet, then a continuation.
    size_t i = 0;
    while (packets[i].start != blockStarts[1]) ++i;
    EXPECT_TRUE(packets[i + 1].synchro);
    EXPECT_EQ(packets[i + 1].synchroTime, 0u);
    // Re-run to read the position right after the key frame.
    std::filesystem::remove(path_);
    ASSERT_TRUE(muxer.Open(Path(), 64, 15000000, false, true, false));
    for (int j = 0; j < 5; ++j) Add(Korva::kTypeVideoWithLayout);
    ASSERT_TRUE(Frame(0, Pattern(30, 1), 1, 0, true));
    ASSERT_TRUE(Frame(0, Pattern(100, 2), 40001, 1, false));
    ASSERT_TRUE(Frame(0, Pattern(30, 3), 80001, 0, true));
    EXPECT_EQ(muxer.LastSynchroPosition(), static_cast<int64_t>(blockStarts[1]));
    ASSERT_TRUE(muxer.Close());
}

// The run of a job with a timeline: timeline frame first with zero positions, video whose
// first frame is not a key frame, audio; then Seek(0) and the timeline again with its
// positions filled in.
class TimelineRewrite : public CadroMuxerTest,
                        public ::testing::WithParamInterface<std::tuple<bool, bool>> {};

TEST_P(TimelineRewrite, SeekZeroRewritesOnlyTheTimelinePayload) {
    const auto [variable, numbered] = GetParam();
    const uint32_t packetSize = 512;
    ASSERT_TRUE(muxer.Open(Path(), packetSize, 200000, numbered, variable, false));
    auto* video = static_cast<Korva::StreamVideo*>(Add(Korva::kTypeVideoWithLayout));
    video->width = 320;
    Add(Korva::kTypeAudio);
    auto* timeline = static_cast<Korva::StreamTimeline*>(Add(Korva::kTypeTimeline));
    timeline->refIndex = 0;

    Korva::TimelineHeader header;
    header.entryCount = 3;
    Korva::TimelineEntry entries[3];
    std::vector<uint8_t> payload(Korva::TimelinePayloadSize(3));
    Korva::StoreTimeline(header, entries, payload.data());
    ASSERT_TRUE(Frame(2, payload, 1, 0, true));

    int keys = 0;
    for (int i = 0; i < 60; ++i) {
        const int64_t time = 1 + i * 40000;
        const bool key = i % 20 == 5;  // the first frame is not a key frame
        ASSERT_TRUE(Frame(0, Pattern(400 + (i * 37) % 300, 1), time, key ? 0 : 1, key));
        if (key) {
            entries[keys].frameIndex = i;
            entries[keys].time = time;
            entries[keys].position = muxer.LastSynchroPosition();
            ++keys;
        }
        ASSERT_TRUE(Frame(1, Pattern(200, 2), time, 0, false));
    }
    ASSERT_EQ(keys, 3);
    header.frameCount = 60;
    header.duration = 60 * 40000;
    // The partly filled last packet goes out before the rewind.
    const std::vector<uint8_t> before = [&] {
        EXPECT_TRUE(muxer.Seek(0));
        return FileBytes();
    }();
    const std::vector<uint8_t> zeros = payload;
    Korva::StoreTimeline(header, entries, payload.data());
    ASSERT_TRUE(Frame(2, payload, 1, 0, true));
    ASSERT_TRUE(muxer.Close());

    const std::vector<uint8_t> after = FileBytes();
    ASSERT_EQ(after.size(), before.size());
    // Locate the timeline payload: the only bytes allowed to change.
    std::vector<ParsedPacket> packets = Parse(packetSize);
    ASSERT_FALSE(packets.empty());
    std::vector<bool> isPayload(after.size(), false);
    std::vector<uint8_t> rewritten;
    for (const ParsedPacket& p : packets) {
        for (const auto& ep : p.eps) {
            if (ep.stream != 2) continue;
            for (size_t b = 0; b < ep.payload.size(); ++b) isPayload[ep.payloadStart + b] = true;
            rewritten.insert(rewritten.end(), ep.payload.begin(), ep.payload.end());
        }
    }
    EXPECT_EQ(rewritten, payload);
    for (size_t b = 0; b < after.size(); ++b) {
        if (!isPayload[b]) {
            ASSERT_EQ(after[b], before[b]) << "byte " << b;
        }
    }
    // Every recorded position is the start of a synchro packet with the key frame's time.
    for (const Korva::TimelineEntry& e : entries) {
        Korva::SynchroHeaderFields fields;
        ASSERT_TRUE(Korva::ParseSynchroHeader(after.data() + e.position, &fields));
        EXPECT_EQ(static_cast<int64_t>(fields.time), e.time);
    }
    EXPECT_NE(zeros, payload);
}

INSTANTIATE_TEST_SUITE_P(Modes, TimelineRewrite,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool()));

TEST_F(CadroMuxerTest, SeekStaysWithinTheWrittenFile) {
    ASSERT_TRUE(muxer.Open(Path(), 4096, 15000000, false, true, false));
    Add(Korva::kTypeAudio);
    ASSERT_TRUE(Frame(0, Pattern(1000, 1), 1, 0, false));
    // Seek ends the partial packet first, so the file size covers it.
    EXPECT_FALSE(muxer.Seek(-1));
    const int64_t size = muxer.GetWriter().FileSize();
    EXPECT_GT(size, 1000);
    EXPECT_FALSE(muxer.Seek(size + 1));
    EXPECT_TRUE(muxer.Seek(size));
    EXPECT_EQ(muxer.GetWriter().Position(), size);
    EXPECT_TRUE(muxer.Seek(10));
    EXPECT_EQ(muxer.GetWriter().Position(), 10);
    EXPECT_EQ(muxer.GetWriter().FileSize(), size);
    ASSERT_TRUE(muxer.Close());
    EXPECT_EQ(static_cast<int64_t>(std::filesystem::file_size(path_)), size);
}

#ifdef __linux__
TEST_F(CadroMuxerTest, WriteFailuresAreReportedByAddFrameAndClose) {
    // Every write to this device fails for lack of space. Packets wait in the writer's
    // buffer, so the refusal surfaces when the buffer is flushed: here, at the close.
    ASSERT_TRUE(muxer.Open(L"/dev/full", 4096, 15000000, false, true, false));
    Add(Korva::kTypeAudio);
    EXPECT_TRUE(Frame(0, Pattern(100, 1), 1, 0, true));
    EXPECT_FALSE(muxer.Close());
    EXPECT_TRUE(muxer.Close());

    // More than a buffer's worth of frames: AddFrame itself reports the refusal.
    ASSERT_TRUE(muxer.Open(L"/dev/full", 4096, 15000000, false, true, false));
    Add(Korva::kTypeAudio);
    bool refused = false;
    for (int i = 0; i < 400 && !refused; ++i) {
        refused = !Frame(0, Pattern(4000, 1), 1 + i, 0, false);
    }
    EXPECT_TRUE(refused);
    EXPECT_FALSE(muxer.Close());

    ASSERT_TRUE(muxer.Open(L"/dev/full", 4096, 15000000, false, true, false));
    Add(Korva::kTypeAudio);
    EXPECT_TRUE(Frame(0, Pattern(100, 1), 1, 0, false));  // still in the packet buffer
    EXPECT_FALSE(muxer.Close());
}
#endif

}  // namespace
