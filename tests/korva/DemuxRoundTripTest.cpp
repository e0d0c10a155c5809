// Randomly generated frame sequences pushed through the muxer and read back by the
// demuxer must come back frame for frame.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

#include "korva/Demux.h"
#include "korva/Mux.h"
#include "korva/ResultCodes.h"
#include "korva/StreamDescriptors.h"
#include "korva/SynchroHeader.h"
#include "tests/korva/DemuxTestSupport.h"
#include "tests/support/RecordingWriter.h"

namespace {

using namespace demux_test;

struct MuxedFrame {
    std::vector<uint8_t> bytes;
    int64_t time;
    uint32_t frameType;
};

struct Scenario {
    uint32_t packetSize;
    bool variable;
    bool numbered;
    bool timeFlag;
    int64_t synchroPeriod;
    uint32_t streamCount;
    uint32_t frameCount;
};

class RoundTrip {
public:
    explicit RoundTrip(uint32_t seed) : rng_(seed) {}

    uint32_t continuationPackets = 0;

    Scenario Pick() {
        Scenario s;
        // Mostly small packets, so that frames are cut into many pieces and descriptor
        // lists need continuation packets; now and then the largest ones.
        const uint32_t kSizes[] = {33, 35, 40, 64, 100, 257, 1000, 4096, 65535};
        s.packetSize = Uniform(0, 3) == 0 ? Uniform(35, 65535) : kSizes[Uniform(0, 8)];
        s.variable = Uniform(0, 1) == 1;
        s.numbered = s.packetSize >= 35 && Uniform(0, 2) == 0;
        s.timeFlag = Uniform(0, 3) == 0;
        s.synchroPeriod = static_cast<int64_t>(Uniform(1, 400)) * 1000;
        s.streamCount = Uniform(0, 4) == 0 ? Uniform(20, 60) : Uniform(1, 6);
        s.frameCount = Uniform(50, 250);
        return s;
    }

    void Run(const Scenario& s) {
        HeapMemory memory;
        RecordingWriter writer;
        std::map<uint32_t, std::vector<MuxedFrame>> expected;
        std::map<uint32_t, Korva::Stream*> declared;
        {
            Korva::Mux mux(&memory);
            ASSERT_EQ(mux.Open(s.packetSize, s.synchroPeriod, &writer, s.numbered, s.variable,
                               s.timeFlag),
                      0);
            for (uint32_t i = 0; i < s.streamCount; ++i) {
                Korva::Stream* stream = nullptr;
                ASSERT_EQ(mux.AddStream(Uniform(1, 4), &stream), 0);
                FillDescriptor(stream);
                declared[static_cast<uint32_t>(stream->index)] = stream;
            }
            int64_t clock = Uniform(0, 3) == 0 ? static_cast<int64_t>(Uniform(1, 1000)) << 40 : 1;
            std::vector<uint8_t> bytes;
            for (uint32_t n = 0; n < s.frameCount; ++n) {
                const uint32_t index = Uniform(0, s.streamCount - 1);
                const uint32_t size = FrameSize();
                bytes.resize(size);
                for (auto& b : bytes) b = static_cast<uint8_t>(rng_());
                clock += Uniform(0, 60000);
                const int64_t time = clock + TimeOffset();
                const uint32_t frameType = Uniform(0, 3) == 0 ? 0 : Uniform(1, 255);
                const bool synchroPoint = Uniform(0, 9) == 0;
                const bool closePacket = Uniform(0, 9) == 0;
                ASSERT_EQ(mux.AddFrame(index, bytes.data(), size, time, clock, frameType,
                                       synchroPoint, closePacket),
                          0);
                // A frame without bytes leaves no elementary packet: nothing to read back.
                if (size > 0) expected[index].push_back({bytes, time, frameType});
            }
            ASSERT_EQ(mux.Flush(), 0);
            for (const auto& packet : writer.Packets()) {
                if (Korva::IsContinuationPacket(packet.bytes.data(),
                                                static_cast<uint32_t>(packet.bytes.size()))) {
                    ++continuationPackets;
                }
            }
            // Read while the muxer's descriptors still exist, to compare them.
            Read(writer.Bytes(), s, expected, declared);
            const size_t written = writer.Bytes().size();
            ASSERT_EQ(mux.Close(), 0);
            ASSERT_EQ(writer.Bytes().size(), written);
        }
    }

private:
    uint32_t Uniform(uint32_t low, uint32_t high) {
        return std::uniform_int_distribution<uint32_t>(low, high)(rng_);
    }

    uint32_t FrameSize() {
        switch (Uniform(0, 19)) {
            case 0: return 0;
            case 1: return Uniform(8192, 100 * 1024);
            case 2: case 3: return Uniform(1000, 8192);
            default: return Uniform(1, 300);
        }
    }

    // Offset of a frame's time from the clock that drives synchro blocks: usually small,
    // sometimes negative, sometimes far beyond 2^28 (but below the format's 2^60 limit).
    int64_t TimeOffset() {
        switch (Uniform(0, 9)) {
            case 0: return -static_cast<int64_t>(Uniform(1, 1000000));
            case 1: return static_cast<int64_t>(Uniform(1, 1023)) << Uniform(28, 49);
            case 2: return -(static_cast<int64_t>(Uniform(1, 1023)) << Uniform(28, 49));
            default: return Uniform(0, 2000);
        }
    }

    void FillDescriptor(Korva::Stream* stream) {
        switch (stream->type) {
            case Korva::kTypeVideoWithLayout: {
                auto* v = static_cast<Korva::StreamVideoWithLayout*>(stream);
                v->layout = static_cast<int32_t>(Uniform(0, 6));
                v->rotation = static_cast<int32_t>(Uniform(0, 3));
                [[fallthrough]];
            }
            case Korva::kTypeVideo: {
                auto* v = static_cast<Korva::StreamVideo*>(stream);
                v->codec = static_cast<int32_t>(Uniform(0, 2));
                v->rateNum = static_cast<uint16_t>(Uniform(1, 65535));
                v->rateDen = static_cast<uint16_t>(Uniform(1, 65535));
                v->width = static_cast<uint16_t>(Uniform(0, 65535));
                v->height = static_cast<uint16_t>(Uniform(0, 65535));
                v->pixelNum = static_cast<uint8_t>(Uniform(1, 255));
                v->pixelDen = static_cast<uint8_t>(Uniform(1, 255));
                break;
            }
            case Korva::kTypeAudio: {
                auto* a = static_cast<Korva::StreamAudio*>(stream);
                a->codec = static_cast<int32_t>(Uniform(0, 4));
                a->frequency = Uniform(1, 16777216);
                a->channels = Uniform(1, 256);
                break;
            }
            case Korva::kTypeTimeline:
                static_cast<Korva::StreamTimeline*>(stream)->refIndex =
                    static_cast<int32_t>(Uniform(0, 255));
                break;
        }
    }

    // Reads the whole output, taking frames out as they complete so the rings wrap.
    void Read(const std::vector<uint8_t>& file, const Scenario& s,
              const std::map<uint32_t, std::vector<MuxedFrame>>& expected,
              const std::map<uint32_t, Korva::Stream*>& declared) {
        HeapMemory memory;
        MemoryReader reader(file);
        TestDemux demux(&memory);
        ASSERT_EQ(demux.AttachReader(&reader), 0u);
        std::map<uint32_t, std::vector<Frame>> got;
        uint32_t code = 0;
        for (int steps = 0; steps < 10000000; ++steps) {
            code = demux.Step();
            ASSERT_LE(code, 3u) << "step " << steps;
            for (uint32_t i = 0; i < demux.GetStreamCount(); ++i) {
                auto& list = got[static_cast<uint32_t>(demux.GetStreamAt(i)->index)];
                for (auto& frame : TakeFrames(demux, i)) list.push_back(std::move(frame));
            }
            if (code == 3) break;
        }
        ASSERT_EQ(code, 3u);
        ASSERT_EQ(demux.GetStreamCount(), s.streamCount);
        for (uint32_t i = 0; i < demux.GetStreamCount(); ++i) {
            Korva::Stream* read = demux.GetStreamAt(i);
            Korva::Stream* written = declared.at(static_cast<uint32_t>(read->index));
            ASSERT_EQ(read->type, written->type);
            EXPECT_TRUE(read->Equals(*written)) << "stream " << read->index;
            if (read->type == Korva::kTypeVideoWithLayout) {
                EXPECT_EQ(static_cast<Korva::StreamVideoWithLayout*>(read)->rotation,
                          static_cast<Korva::StreamVideoWithLayout*>(written)->rotation);
            }
        }
        for (uint32_t index = 0; index < s.streamCount; ++index) {
            auto want = expected.find(index);
            const size_t count = want == expected.end() ? 0 : want->second.size();
            ASSERT_EQ(got[index].size(), count) << "stream " << index;
            for (size_t n = 0; n < count; ++n) {
                const MuxedFrame& w = want->second[n];
                const Frame& g = got[index][n];
                ASSERT_EQ(g.bytes.size(), w.bytes.size()) << "stream " << index << " frame " << n;
                ASSERT_TRUE(g.bytes == w.bytes) << "stream " << index << " frame " << n;
                ASSERT_EQ(g.time, w.time) << "stream " << index << " frame " << n;
                ASSERT_EQ(g.frameType, w.frameType) << "stream " << index << " frame " << n;
            }
        }
    }

    std::mt19937 rng_;
};

TEST(DemuxRoundTripTest, RandomFrameSequencesComeBackUnchanged) {
    uint32_t continuationPackets = 0;
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        RoundTrip trip(seed);
        Scenario s = trip.Pick();
        SCOPED_TRACE(::testing::Message()
                     << "seed " << seed << ", packet size " << s.packetSize
                     << (s.variable ? " variable" : " fixed") << (s.numbered ? " numbered" : "")
                     << ", " << s.streamCount << " streams, " << s.frameCount << " frames");
        trip.Run(s);
        if (HasFatalFailure()) return;
        continuationPackets += trip.continuationPackets;
    }
    // The generator must reach descriptor lists that need continuation packets.
    EXPECT_GT(continuationPackets, 0u);
}

}  // namespace
