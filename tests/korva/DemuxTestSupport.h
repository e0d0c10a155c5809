#pragma once
// Helpers for the demuxer tests: a heap memory, a reader over bytes in memory that
// behaves like the file reader (blocks of the buffer size from the first unconsumed
// byte), and a builder for hand-made packets.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "korva/Demux.h"
#include "korva/ElementaryPacketHeader.h"
#include "korva/Memory.h"
#include "korva/Reader.h"
#include "korva/StreamDescriptors.h"
#include "korva/StreamFrameQueue.h"
#include "korva/SynchroHeader.h"
#include "korva/VarUInt.h"

namespace demux_test {

class HeapMemory final : public Korva::Memory {
public:
    void* Alloc(uint32_t size) override { return std::malloc(size); }
    void Free(void* block) override { std::free(block); }
    void Fatal(const char*, ...) override { std::abort(); }
};

class MemoryReader final : public Korva::Reader {
public:
    explicit MemoryReader(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

    uint32_t GetBufferSize() override { return bufferSize_; }
    bool IsPacketAligned() override { return false; }
    bool SetBufferSize(uint32_t size) override {
        if (refuseBufferSize) return false;
        bufferSize_ = size;
        return true;
    }
    bool Start() override { return true; }
    void Finish() override { finished = true; }
    bool Read(const uint8_t** data, uint32_t* size) override {
        if (failingReads > 0) {
            --failingReads;
            return false;
        }
        if (position_ >= bytes_.size()) return false;
        *data = bytes_.data() + position_;
        *size = static_cast<uint32_t>(std::min<size_t>(bufferSize_, bytes_.size() - position_));
        return true;
    }
    bool Consume(uint32_t count) override {
        if (count > bytes_.size() - position_) return false;
        position_ += count;
        return true;
    }
    int64_t GetSize() override { return static_cast<int64_t>(bytes_.size()); }
    bool Seek(int64_t position) override {
        if (position < 0 || static_cast<uint64_t>(position) > bytes_.size()) return false;
        position_ = static_cast<size_t>(position);
        return true;
    }
    int64_t Tell() override { return static_cast<int64_t>(position_); }
    bool IsEnd() override { return position_ == bytes_.size(); }

    int failingReads = 0;
    bool refuseBufferSize = false;
    bool finished = false;

private:
    std::vector<uint8_t> bytes_;
    size_t position_ = 0;
    uint32_t bufferSize_ = 4096;
};

// A demuxer with the derived-class hooks of the file-backed one.
class TestDemux final : public Korva::Demux {
public:
    explicit TestDemux(Korva::Memory* memory, LogCallback log = nullptr) : Demux(memory, log) {}
};

// Builds packet bytes by hand, field by field.
class PacketBuilder {
public:
    PacketBuilder& Raw(std::initializer_list<uint8_t> bytes) {
        out.insert(out.end(), bytes);
        return *this;
    }
    PacketBuilder& Raw(const std::vector<uint8_t>& bytes) {
        out.insert(out.end(), bytes.begin(), bytes.end());
        return *this;
    }
    PacketBuilder& Synchro(uint64_t time, uint32_t packetSize, bool timeFlag = false) {
        uint8_t header[Korva::kSynchroHeaderSize];
        Korva::WriteSynchroHeader(header, time, timeFlag, packetSize);
        out.insert(out.end(), header, header + sizeof header);
        return *this;
    }
    PacketBuilder& Record(Korva::Stream& stream) {
        uint8_t record[64];
        int n = stream.Serialize(record);
        out.insert(out.end(), record, record + n);
        return *this;
    }
    PacketBuilder& Audio(uint32_t index, uint32_t frequency = 48000, uint32_t channels = 2) {
        Korva::StreamAudio audio;
        audio.type = Korva::kTypeAudio;
        audio.size = Korva::kSizeAudio;
        audio.index = static_cast<int32_t>(index);
        audio.codec = Korva::kAudioCodecImaAdpcm;
        audio.frequency = frequency;
        audio.channels = channels;
        return Record(audio);
    }
    PacketBuilder& Video(uint32_t index, uint16_t width = 320) {
        Korva::StreamVideo video;
        video.type = Korva::kTypeVideo;
        video.size = Korva::kSizeVideo;
        video.index = static_cast<int32_t>(index);
        video.rateNum = 25;
        video.rateDen = 1;
        video.width = width;
        video.height = 240;
        video.pixelNum = 1;
        video.pixelDen = 1;
        return Record(video);
    }
    PacketBuilder& EndList() { return Raw({0x00, 0x00}); }
    PacketBuilder& Header(uint32_t counter, bool variable = true, int sequence = -1) {
        uint8_t byte = static_cast<uint8_t>(counter << Korva::kPacketCounterShift);
        if (variable) byte |= Korva::kPacketVariableSize;
        if (sequence >= 0) byte |= Korva::kPacketNumbered;
        out.push_back(byte);
        if (sequence >= 0) {
            out.push_back(static_cast<uint8_t>(sequence >> 8));
            out.push_back(static_cast<uint8_t>(sequence));
        }
        return *this;
    }
    PacketBuilder& Piece(uint32_t index, const std::vector<uint8_t>& payload) {
        uint8_t header[Korva::kEpMaxHeaderSize];
        uint32_t n = Korva::WriteUntimedEpHeader(header, index,
                                                 static_cast<uint32_t>(payload.size()));
        out.insert(out.end(), header, header + n);
        return Raw(payload);
    }
    PacketBuilder& Last(uint32_t index, const std::vector<uint8_t>& payload, int64_t offset,
                        uint32_t frameType = 0) {
        uint8_t header[Korva::kEpMaxHeaderSize];
        uint32_t n = Korva::WriteTimedEpHeader(header, index, frameType, offset,
                                               static_cast<uint32_t>(payload.size()));
        out.insert(out.end(), header, header + n);
        return Raw(payload);
    }
    PacketBuilder& EndMarker() { return Raw({Korva::kEndMarker}); }
    // Pads the bytes written since `start` with zeros up to `packetSize`.
    PacketBuilder& PadFrom(size_t start, uint32_t packetSize) {
        out.resize(start + packetSize, 0);
        return *this;
    }
    size_t Size() const { return out.size(); }

    std::vector<uint8_t> out;
};

inline std::vector<uint8_t> Bytes(uint32_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (uint32_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + 31 * i);
    return bytes;
}

struct Frame {
    std::vector<uint8_t> bytes;
    int64_t time;
    uint32_t frameType;
};

// Pops every complete frame waiting for the stream at `position`.
inline std::vector<Frame> TakeFrames(Korva::Demux& demux, uint32_t position) {
    std::vector<Frame> frames;
    Korva::StreamFrameQueue* queue = Korva::Demux::QueueOf(demux.GetStreamAt(position));
    while (queue != nullptr && queue->GetFrameCount() > 0) {
        const uint8_t* data = nullptr;
        uint32_t size = 0;
        queue->GetFrameData(&data, &size);
        frames.push_back({std::vector<uint8_t>(data, data + size), queue->PeekFrame()->time,
                          queue->PeekFrame()->frameType});
        queue->PopFrame();
    }
    return frames;
}

// Steps until a code other than 0, 1 or 2, at most `limit` times; returns that code, or
// -1 when the limit was reached.
inline int StepToEnd(Korva::Demux& demux, int limit = 100000) {
    for (int i = 0; i < limit; ++i) {
        uint32_t code = demux.Step();
        if (code > 2) return static_cast<int>(code);
    }
    return -1;
}

}  // namespace demux_test
