#include "korva/Mux.h"

#include <cstring>
#include <limits>

#include "korva/ByteOrder.h"
#include "korva/ElementaryPacketHeader.h"
#include "korva/ResultCodes.h"
#include "korva/SynchroHeader.h"

namespace Korva {

namespace {

constexpr int64_t kMaxTime = std::numeric_limits<int64_t>::max();
constexpr int64_t kMinTime = std::numeric_limits<int64_t>::min();

// The largest packet size whose header field (P - 1) reads back as P.
constexpr uint32_t kMaxPacketSize = 65535;
// A synchro time of 0 means "none"; a synchro block due at time 0 uses this instead.
constexpr int64_t kFirstSynchroTime = 1;

// a - b, clamped to the int64 range instead of overflowing.
int64_t SaturatingDifference(int64_t a, int64_t b) {
    if (b > 0 && a < kMinTime + b) return kMinTime;
    if (b < 0 && a > kMaxTime + b) return kMaxTime;
    return a - b;
}

int64_t SaturatingSum(int64_t a, int64_t b) {
    if (b > 0 && a > kMaxTime - b) return kMaxTime;
    if (b < 0 && a < kMinTime - b) return kMinTime;
    return a + b;
}

uint64_t Magnitude(int64_t v) {
    return v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
}

// Bytes after the last descriptor record that a synchro block still needs: the end
// record, the packet header (with its sequence number when numbered) and the end marker.
uint32_t SynchroReserve(bool numberPackets) {
    return kEndRecordSize + kPacketHeaderSize + (numberPackets ? kPacketSequenceSize : 0) +
           sizeof(kEndMarker);
}

}  // namespace

Mux::Mux(Memory* memory, MuxLogFunction log)
    : memory_(memory), streams_(KorvaAllocator<StreamHandle>(memory)), log_(log) {
    for (bool& free : freeIndex_) free = true;
}

Mux::~Mux() {
    // A packet that cannot be written is dropped by the second attempt.
    if (Close() != kResultOk) Close();
}

void Mux::CopyBytes(const void* source, void* destination, uint32_t count) {
    std::memcpy(destination, source, count);
}

void Mux::Log(const char* message) const {
    if (log_ != nullptr) log_(message);
}

int Mux::Open(uint32_t packetSize, int64_t synchroPeriod, Writer* writer, bool numberPackets,
              bool variablePacketSize, bool timeFlag) {
    const uint32_t minimum =
        kSynchroHeaderSize + kLargestDescriptorRecord + SynchroReserve(numberPackets);
    if (packetSize < minimum || packetSize > kMaxPacketSize) return kResultPacketSize;
    const int closed = Close();
    if (closed != kResultOk) return closed;
    if (writer == nullptr) return kResultWriterStart;

    writer_ = writer;
    packetSize_ = packetSize;
    writer_->SetPacketSize(packetSize);
    if (!writer_->Start()) return kResultWriterStart;
    packet_ = static_cast<uint8_t*>(memory_->Alloc(packetSize));
    if (packet_ == nullptr) return kResultAlloc;
    write_ = packet_;

    synchroPeriod_ = synchroPeriod;
    numberPackets_ = numberPackets;
    variablePacketSize_ = variablePacketSize;
    timeFlag_ = timeFlag;
    continuation_ = false;
    pending_ = true;
    writeFailed_ = false;
    streams_.clear();
    synchroTime_ = 0;
    synchroCounter_ = kSynchroCounterFirst;
    sequence_ = 0;
    for (bool& free : freeIndex_) free = true;
    ResetPacketInfo();
    info_.maxFileTime = kMinTime;
    return kResultOk;
}

int Mux::AddStream(uint32_t type, Stream** out) {
    if (!IsOpen()) return kResultNotOpen;
    const StreamTypeEntry* entry = registry_.Find(type);
    if (entry == nullptr) return kResultStreamType;
    uint32_t index = kMaxStreams;
    if (entry->assignsIndex) {
        for (uint32_t i = 0; i < kMaxStreams; ++i) {
            if (freeIndex_[i]) {
                index = i;
                break;
            }
        }
        if (index == kMaxStreams) return kResultNoFreeIndex;
    }
    Stream* stream = entry->factory(memory_, nullptr);
    if (stream == nullptr) return kResultStreamType;
    // Every record must fit a packet after a synchro header, or a descriptor list could
    // never be written.
    if (kSynchroHeaderSize + stream->RecordSize() + SynchroReserve(numberPackets_) >
        packetSize_) {
        DestroyStream(stream);
        return kResultStreamType;
    }
    if (entry->assignsIndex) {
        freeIndex_[index] = false;
        stream->index = static_cast<int32_t>(index);
    }
    streams_.emplace_back(stream, memory_);
    *out = stream;
    pending_ = true;
    return kResultOk;
}

int Mux::AddFrame(uint32_t streamIndex, const uint8_t* data, uint32_t size, int64_t time,
                  int64_t synchroTime, uint32_t frameType, bool synchroPoint,
                  bool closePacket) {
    if (!IsOpen()) return kResultNotOpen;
    if (streamIndex > kEpMaxValue || frameType > kEpMaxValue) return kResultValueRange;
    // The buffer still holds a packet the writer refused; nothing can follow it.
    if (writeFailed_) return kResultWrite;

    bool synchro = true;
    if (synchroTime_ == 0 || synchroPoint || pending_) {
        synchroTime_ = synchroTime;
    } else if (SaturatingDifference(synchroTime, synchroTime_) >= synchroPeriod_) {
        // Exactly one period, however far ahead the frame is: synchro blocks keep a
        // regular spacing and the next frames catch up.
        synchroTime_ = SaturatingSum(synchroTime_, synchroPeriod_);
    } else {
        synchro = false;
    }
    if (synchro) {
        if (synchroTime_ == 0) synchroTime_ = kFirstSynchroTime;
        if (!WriteSynchroBlock()) return kResultWrite;
        pending_ = false;
    }

    RecordTime(time);
    const int64_t offset = SaturatingDifference(time, synchroTime_);
    const uint64_t magnitude = Magnitude(offset);
    if (magnitude >= kEpOffsetLimit) return kResultTimeRange;

    if (Used() == 0) BeginPacket();
    const uint32_t untimedHeader = UntimedEpHeaderSize(streamIndex);
    const uint32_t timedHeader = TimedEpHeaderSize(streamIndex, frameType, magnitude);
    if (size == 0) return kResultOk;

    const uint8_t* source = data;
    uint32_t remaining = size;
    bool placed = false;
    while (remaining > 0) {
        const uint32_t room = packetSize_ - Used();
        bool timed = false;
        uint32_t length = 0;
        bool endAfter = false;
        if (untimedHeader + 1 <= room) {
            if (room > timedHeader && remaining <= room - timedHeader &&
                remaining <= kEpMaxPayload) {
                timed = true;
                length = remaining;
            } else {
                length = room - untimedHeader;
                if (length > kEpMaxPayload) length = kEpMaxPayload;
                if (remaining <= length) {
                    // The last byte always travels in the timed piece, in the next packet.
                    length = remaining - 1;
                    endAfter = true;
                }
            }
        }
        if (length == 0) {
            // No room for a piece here: the frame starts (or goes on) in the next packet.
            if (!placed) info_.flags |= kPacketClosedEarly;
            if (!EndPacket()) return kResultWrite;
            RecordTime(time);
            BeginPacket();
            continue;
        }

        if (timed) {
            info_.flags |= kPacketTimed;
            write_ += WriteTimedEpHeader(write_, streamIndex, frameType, offset, length);
        } else {
            write_ += WriteUntimedEpHeader(write_, streamIndex, length);
        }
        std::memcpy(write_, source, length);
        write_ += length;
        source += length;
        remaining -= length;
        placed = true;
        if (write_ > packet_ + packetSize_) Log("PacketPtr>Packet+PacketSize\n");

        if (Used() == packetSize_) {
            // Filled to the last byte: no end marker.
            if (!WriteFullPacket()) return kResultWrite;
            if (remaining == 0) return kResultOk;
            BeginPacket();
            RecordTime(time);
        } else if (endAfter) {
            if (!EndPacket()) return kResultWrite;
            RecordTime(time);
            BeginPacket();
        } else if (timed && closePacket) {
            info_.flags |= kPacketClosedEarly;
            if (!EndPacket()) return kResultWrite;
        }
    }
    return kResultOk;
}

int Mux::Flush() {
    if (!IsOpen()) return kResultOk;
    if (writeFailed_) {
        DropPacket();
        return kResultWrite;
    }
    if (Used() != 0 && !EndPacket()) return kResultWrite;
    return kResultOk;
}

int Mux::Close() {
    if (!IsOpen()) return kResultOk;
    int result = kResultOk;
    if (writeFailed_) {
        // Ending that packet again could run past the buffer; it is lost.
        DropPacket();
        result = kResultWrite;
    } else if (Used() != 0 && !EndPacket()) {
        return kResultWrite;  // still open; the next Close drops the packet
    }
    memory_->Free(packet_);
    packet_ = nullptr;
    write_ = nullptr;
    writer_->Finish();
    streams_.clear();
    return result;
}

void Mux::RestartPacketNumbering() {
    synchroCounter_ = kSynchroCounterFirst;
    sequence_ = 0;
}

bool Mux::WriteSynchroBlock() {
    if (Used() != 0 && !EndPacket()) return false;
    continuation_ = false;
    WriteSynchroHeader();
    const uint32_t reserve = SynchroReserve(numberPackets_);
    for (const StreamHandle& handle : streams_) {
        Stream* stream = handle.Get();
        const uint32_t record = stream->RecordSize();
        if (Used() + record + reserve > packetSize_) {
            // The list goes on in a packet opened by a continuation header. AddStream
            // made sure that every record fits after a header.
            write_[0] = 0;
            write_[1] = 0;
            write_ += kEndRecordSize;
            BeginPacket();
            if (!EndPacket()) return false;
            continuation_ = true;
            WriteSynchroHeader();
        }
        write_ += stream->Serialize(write_);
    }
    write_[0] = 0;
    write_[1] = 0;
    write_ += kEndRecordSize;
    BeginPacket();
    return true;
}

void Mux::WriteSynchroHeader() {
    if (write_ != packet_) Log("PacketPtr!=Packet\n");
    info_.flags |= kPacketSynchro;
    const int64_t time = continuation_ ? kContinuationTime : synchroTime_;
    Korva::WriteSynchroHeader(write_, static_cast<uint64_t>(time), timeFlag_, packetSize_);
    write_ += kSynchroHeaderSize;
    if (!continuation_) {
        synchroCounter_ = synchroCounter_ == kSynchroCounterLast ? kSynchroCounterFirst
                                                                 : synchroCounter_ + 1;
    }
}

void Mux::BeginPacket() {
    uint8_t header = static_cast<uint8_t>(synchroCounter_ << kPacketCounterShift);
    if (variablePacketSize_) header |= kPacketVariableSize;
    if (numberPackets_) header |= kPacketNumbered;
    *write_++ = header;
    if (numberPackets_) {
        StoreBE16(write_, sequence_);
        write_ += kPacketSequenceSize;
    }
    ++sequence_;
}

bool Mux::EndPacket() {
    *write_++ = kEndMarker;
    uint32_t length = Used();
    if (!variablePacketSize_) {
        // Padding to the full packet size; zero so that the output depends only on what
        // was muxed.
        std::memset(write_, 0, packetSize_ - length);
        length = packetSize_;
    }
    if (!writer_->Write(packet_, length, &info_)) {
        writeFailed_ = true;
        return false;
    }
    ResetPacketInfo();
    write_ = packet_;
    return true;
}

bool Mux::WriteFullPacket() {
    if (!writer_->Write(packet_, packetSize_, &info_)) {
        writeFailed_ = true;
        return false;
    }
    ResetPacketInfo();
    write_ = packet_;
    return true;
}

void Mux::DropPacket() {
    write_ = packet_;
    ResetPacketInfo();
    writeFailed_ = false;
}

void Mux::ResetPacketInfo() {
    info_.minTime = kMaxTime;
    info_.maxTime = kMinTime;
    info_.flags = 0;
}

void Mux::RecordTime(int64_t time) {
    if (time < info_.minTime) info_.minTime = time;
    if (time > info_.maxTime) info_.maxTime = time;
    if (time > info_.maxFileTime) info_.maxFileTime = time;
}

}  // namespace Korva
