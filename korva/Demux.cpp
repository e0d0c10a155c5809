#include "korva/Demux.h"

#include <cstring>
#include <iterator>
#include <new>

#include "korva/ByteOrder.h"
#include "korva/BitReader.h"
#include "korva/ElementaryPacketHeader.h"
#include "korva/Memory.h"
#include "korva/Reader.h"
#include "korva/ResultCodes.h"
#include "korva/StreamDescriptors.h"
#include "korva/StreamFrameQueue.h"
#include "korva/SynchroHeader.h"
#include "korva/VarUInt.h"

namespace Korva {

namespace {

constexpr uint32_t kUnsetCounter = 64;
constexpr uint32_t kUnsetSequence = 65536;
constexpr uint32_t kSequenceModulo = 65536;
constexpr uint32_t kCounterCycle = 63;  // the writer's synchro counter runs 1..63
// Smallest packet size this reader accepts from a synchro header.
constexpr uint32_t kMinPacketSize = 16;

// Elementary packet header fields.
constexpr uint32_t kIndexWidth = 1, kIndexStep = 1;
constexpr uint32_t kTypeWidth = 1, kTypeStep = 1;
constexpr uint32_t kDeltaWidth = kEpOffsetBaseBits, kDeltaStep = kEpOffsetStepBits;

// The packet size a synchro header states; 16-bit arithmetic, so a field of 65535 gives 0.
uint32_t PacketSizeOf(const SynchroHeaderFields& header) {
    return (header.packetSizeField + 1) & 0xFFFF;
}

// Times are computed modulo 2^64 so that no value a file holds can overflow.
int64_t AddTime(int64_t a, int64_t b) {
    return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
}
int64_t SubtractTime(int64_t a, int64_t b) {
    return static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b));
}
int64_t MultiplyTime(int64_t a, uint64_t b) {
    return static_cast<int64_t>(static_cast<uint64_t>(a) * b);
}

}  // namespace

Demux::Demux(Memory* memory, LogCallback log)
    : streams_(KorvaAllocator<std::pair<const uint32_t, Stream*>>(memory)),
      prototypes_(KorvaAllocator<std::pair<const uint32_t, Stream*>>(memory)),
      memory_(memory),
      lastSynchroCounter_(kUnsetCounter),
      lastSequenceNumber_(kUnsetSequence),
      log_(log) {}

void Demux::CopyBytes(const void* source, void* destination, uint32_t count) {
    std::memcpy(destination, source, count);
}

Demux::~Demux() {
    DetachReader();
    // Detaching only forgets the streams while a reader is attached.
    for (auto& entry : streams_) DestroyStream(entry.second);
    streams_.clear();
    for (auto& entry : prototypes_) DestroyStream(entry.second);
    prototypes_.clear();
}

Stream* Demux::GetStreamAt(uint32_t position) const {
    if (position >= streams_.size()) return nullptr;
    return std::next(streams_.begin(), position)->second;
}

StreamFrameQueue* Demux::QueueOf(const Stream* stream) {
    return stream == nullptr ? nullptr : static_cast<StreamFrameQueue*>(stream->extra);
}

uint32_t Demux::AttachReader(Reader* reader) {
    if (reader == nullptr) return kResultNoReader;
    DetachReader();
    reader_ = reader;
    if (!reader->Start()) return kResultReaderStart;
    alignedReader_ = reader->IsPacketAligned();
    Desynchronize();
    return kResultOk;
}

void Demux::DetachReader() {
    if (reader_ == nullptr) return;
    reader_->Finish();
    reader_ = nullptr;
    for (auto& entry : streams_) DestroyStream(entry.second);
    streams_.clear();
    timeBase_ = 0;
    lastSynchroCounter_ = kUnsetCounter;
    variablePackets_ = true;
    // The packet size was told to this reader only; a reader attached later must learn
    // it again, or its first block would be judged against a size it never heard of.
    packetSize_ = 0;
}

void Demux::Desynchronize() {
    timeBase_ = 0;
    synchroInterval_ = 0;
    lastSynchroCounter_ = kUnsetCounter;
    lastSequenceNumber_ = kUnsetSequence;
    synchronized_ = false;
    sequencePresent_ = false;
}

// Descriptor list ---------------------------------------------------------------------

Stream* Demux::NewStream(uint32_t type, const Stream& prototype) {
    void* block = memory_->Alloc(sizeof(StreamFrameQueue));
    if (block == nullptr) {
        memory_->Fatal(kOutOfMemoryFormat, static_cast<int>(sizeof(StreamFrameQueue)));
        return nullptr;
    }
    auto* queue = new (block) StreamFrameQueue(memory_);
    Stream* stream = registry_.Create(type, memory_, queue);
    if (stream == nullptr) {
        queue->~StreamFrameQueue();
        memory_->Free(block);
        return nullptr;
    }
    stream->CopyFrom(prototype);
    stream->index = prototype.index;
    queue->keepsPayloads = payloadRule_ == nullptr || payloadRule_(type);
    return stream;
}

void Demux::SetPayloadRule(PayloadRule rule) {
    payloadRule_ = rule;
    for (const auto& [index, stream] : streams_) {
        if (StreamFrameQueue* queue = QueueOf(stream)) {
            queue->keepsPayloads = rule == nullptr || rule(stream->type);
        }
    }
}

uint32_t Demux::ParseDescriptorRecord(const uint8_t* data, uint32_t* position, uint32_t end) {
    if (*position > end) {
        Desynchronize();
        return kResultMalformed;
    }
    const uint8_t* cursor = data + *position;
    uint32_t type = 0;
    uint32_t size = 0;
    if (!ReadVarUInt(&cursor, data + end, &type) || !ReadVarUInt(&cursor, data + end, &size)) {
        Desynchronize();
        return kResultMalformed;
    }
    const uint32_t payload = static_cast<uint32_t>(cursor - data);
    if (type == kTypeEnd) {
        // Step checks the result against the end of the packet.
        *position = payload + size < payload ? UINT32_MAX : payload + size;
        return kResultEndOfList;
    }

    auto found = prototypes_.find(type);
    Stream* prototype;
    if (found != prototypes_.end()) {
        prototype = found->second;
    } else {
        prototype = registry_.Create(type, memory_, nullptr);
        if (prototype == nullptr) return kResultAlloc;
        prototypes_.emplace(type, prototype);
    }
    if (size != prototype->size) {
        Desynchronize();
        return kResultDescriptorSize;
    }
    // The payload must lie wholly inside the packet before it is parsed.
    if (size > end - payload) {
        Desynchronize();
        return kResultMalformed;
    }
    if (prototype->Parse(data + payload, size) == 0) {
        Desynchronize();
        return kResultDescriptorSize;
    }

    const uint32_t index = static_cast<uint32_t>(prototype->index);
    auto [first, last] = streams_.equal_range(index);
    if (first == last) {
        Stream* stream = NewStream(type, *prototype);
        if (stream == nullptr) return kResultAlloc;
        streams_.emplace(index, stream);
    } else {
        Stream* match = nullptr;
        for (auto it = first; it != last; ++it) {
            if (QueueOf(it->second)->active) {
                Log("Found stream index %d but this stream is already present (duplicate?)...\n",
                    static_cast<int>(index));
                return kResultDuplicateStream;
            }
            if (match == nullptr && it->second->type == type && it->second->Equals(*prototype)) {
                match = it->second;
            }
        }
        if (match != nullptr) {
            QueueOf(match)->active = true;
        } else {
            Stream* stream = NewStream(type, *prototype);
            if (stream == nullptr) return kResultAlloc;
            streams_.emplace_hint(last, index, stream);
        }
    }
    *position = payload + size;
    return kResultOk;
}

void Demux::ChangePeriod() {
    for (auto it = streams_.begin(); it != streams_.end();) {
        StreamFrameQueue* queue = QueueOf(it->second);
        if (!queue->active && queue->GetFrameCount() == 0) {
            DestroyStream(it->second);
            it = streams_.erase(it);
        } else {
            queue->active = false;
            ++it;
        }
    }
}

// Frames ------------------------------------------------------------------------------

bool Demux::FlushPartialFrames() {
    bool ok = true;
    for (auto& entry : streams_) {
        if (!QueueOf(entry.second)->FlushFrame()) ok = false;
    }
    return ok;
}

bool Demux::DropPartialFrames() {
    bool ok = true;
    for (auto& entry : streams_) {
        if (!QueueOf(entry.second)->DropFrame()) ok = false;
    }
    return ok;
}

bool Demux::StartEmptyFrames() {
    bool ok = true;
    for (auto& entry : streams_) {
        StreamFrameQueue* queue = QueueOf(entry.second);
        if (queue->HasCurrentFrame()) continue;
        if (queue->StartFrame()) {
            queue->CurrentFrame()->time = timeBase_;
        } else {
            ok = false;
        }
    }
    return ok;
}

uint32_t Demux::ReadEp(const uint8_t* data, uint32_t* position, uint32_t end) {
    if (*position == end) return kResultEndOfPacket;
    if (*position > end) {
        Desynchronize();
        return kResultMalformed;
    }
    if (data[*position] == kEndMarker) {
        *position += 1;
        // Fixed-size packets are padded up to the packet size after their end marker. (A
        // packet size not learned yet must not move the position back.)
        if (!variablePackets_ && packetSize_ > *position) *position = packetSize_;
        return kResultEndOfPacket;
    }

    BitReader bits(data + *position, data + end);
    const uint64_t index = bits.GetEscaped(kIndexWidth, kIndexStep);
    if (bits.Failed()) {
        Log("Ep goes beyond end of packet\n");
        Desynchronize();
        return kResultMalformed;
    }
    StreamFrameQueue* queue = nullptr;
    if (index <= UINT32_MAX) {
        auto [first, last] = streams_.equal_range(static_cast<uint32_t>(index));
        if (first == last) {
            Log("ReadEp: cannot find stream %d\n", static_cast<int>(index));
            Desynchronize();
            return kResultUnknownStream;
        }
        for (auto it = first; it != last && queue == nullptr; ++it) {
            if (QueueOf(it->second)->active) queue = QueueOf(it->second);
        }
        if (queue == nullptr) {
            Log("ReadEp: stream %d already disabled\n", static_cast<int>(index));
            Desynchronize();
            return kResultStreamDisabled;
        }
    } else {
        Log("ReadEp: cannot find stream %d\n", static_cast<int>(index));
        Desynchronize();
        return kResultUnknownStream;
    }

    const bool timed = bits.GetBit();
    uint64_t frameType = 0;
    int64_t delta = 0;
    if (timed) {
        frameType = bits.GetEscaped(kTypeWidth, kTypeStep);
        const bool negative = bits.GetBit();
        const uint64_t magnitude = bits.GetEscaped(kDeltaWidth, kDeltaStep);
        delta = static_cast<int64_t>(negative ? 0 - magnitude : magnitude);
    }
    const uint32_t payloadSize = static_cast<uint32_t>(bits.GetBits(kEpLengthBits)) + 1;
    const uint64_t payloadStart = *position + bits.BytesTouched();
    if (bits.Failed() || payloadStart + payloadSize > end) {
        Log("Ep goes beyond end of packet\n");
        Desynchronize();
        return kResultMalformed;
    }

    if (!queue->HasCurrentFrame()) {
        if (!queue->StartFrame()) return kResultAlloc;
        // A frame cut short (end of data) keeps the time of the period it began in.
        queue->CurrentFrame()->time = timeBase_;
    }
    if (timed) {
        queue->CurrentFrame()->frameType = static_cast<uint32_t>(frameType);
        queue->CurrentFrame()->time = AddTime(timeBase_, delta);
    }
    if (!queue->AppendToFrame(data + payloadStart, payloadSize)) return kResultAlloc;
    *position = static_cast<uint32_t>(payloadStart + payloadSize);
    if (timed && !queue->CompleteFrame()) return kResultAlloc;
    return *position < end ? kResultOk : kResultEndOfPacket;
}

// Packets -----------------------------------------------------------------------------

uint32_t Demux::ParsePacketHeader(const uint8_t* data, uint32_t* position, uint32_t end) {
    if (*position >= end) {
        Desynchronize();
        return kResultMalformed;
    }
    const uint8_t header = data[(*position)++];
    variablePackets_ = (header & kPacketVariableSize) != 0;
    sequencePresent_ = (header & kPacketNumbered) != 0;
    const uint32_t counter = header >> kPacketCounterShift;

    if (lastSynchroCounter_ == kUnsetCounter) {
        lastSynchroCounter_ = counter;
    } else if (counter != lastSynchroCounter_) {
        if (synchroInterval_ == 0) {
            Desynchronize();
            return kResultCounterChange;
        }
        // Synchro blocks were missed. The counter wraps from 63 to 1, so a smaller value
        // is a forward distance modulo 63, never a step back.
        const uint32_t distance =
            (counter + kCounterCycle - lastSynchroCounter_ % kCounterCycle) % kCounterCycle;
        timeBase_ = AddTime(timeBase_, MultiplyTime(synchroInterval_, distance));
        lastSynchroCounter_ = counter;
        if (!StartEmptyFrames()) return kResultAlloc;
    }

    if (sequencePresent_) {
        if (end - *position < kPacketSequenceSize) {
            Desynchronize();
            return kResultMalformed;
        }
        const uint32_t sequence = LoadBE16(data + *position);
        *position += kPacketSequenceSize;
        if (lastSequenceNumber_ != kUnsetSequence &&
            sequence != (lastSequenceNumber_ + 1) % kSequenceModulo) {
            // A packet was lost: the frames it carried pieces of cannot be completed.
            lastSequenceNumber_ = kUnsetSequence;
            return DropPartialFrames() ? kResultSequenceGap : kResultAlloc;
        }
        lastSequenceNumber_ = sequence;
    }
    return kResultOk;
}

uint32_t Demux::ConsumeAndReturn(uint32_t count, uint32_t result) {
    return reader_->Consume(count) ? result : kResultConsume;
}

uint32_t Demux::Step() {
    if (reader_ == nullptr) return kResultNoReader;
    const uint8_t* data = nullptr;
    uint32_t length = 0;
    if (!reader_->Read(&data, &length)) {
        if (!reader_->IsEnd()) return kResultNoData;
        return FlushPartialFrames() ? kResultEndOfData : kResultAlloc;
    }
    if (data == nullptr || length == 0) {
        lastSequenceNumber_ = kUnsetSequence;
        if (alignedReader_) {
            // A lost packet: pieces of frames before it cannot be joined to pieces after.
            if (!DropPartialFrames() || !StartEmptyFrames()) return kResultAlloc;
            return ConsumeAndReturn(0, synchronized_ ? kResultOk : kResultSkipped);
        }
        Desynchronize();
        return ConsumeAndReturn(0, kResultSkipped);
    }
    return synchronized_ ? ParsePacket(data, length) : Search(data, length);
}

uint32_t Demux::Search(const uint8_t* data, uint32_t length) {
    if (length < kSynchroHeaderSize) return ConsumeAndReturn(length, kResultOk);
    const uint32_t last = alignedReader_ ? 0 : length - kSynchroHeaderSize;
    for (uint32_t offset = 0; offset <= last; ++offset) {
        SynchroHeaderFields header;
        if (!ParseSynchroHeader(data + offset, &header)) continue;
        if (PacketSizeOf(header) < kMinPacketSize) {
            Desynchronize();
            return kResultPacketSize;
        }
        synchronized_ = true;
        return ConsumeAndReturn(offset, kResultOk);
    }
    // The last 13 bytes may hold the start of a header that the next block completes.
    const uint32_t skip = alignedReader_ ? length : length - (kSynchroHeaderSize - 1);
    return ConsumeAndReturn(skip, kResultSkipped);
}

uint32_t Demux::HandleSynchroBlock(const uint8_t* data, uint32_t length, uint32_t* position,
                                   uint32_t* end, bool* stepDone) {
    SynchroHeaderFields header;
    ParseSynchroHeader(data, &header);
    const uint32_t packetSize = PacketSizeOf(header);
    if (packetSize < kMinPacketSize) {
        *stepDone = true;
        Desynchronize();
        return kResultPacketSize;
    }
    if (packetSize != packetSize_) {
        const bool larger = packetSize > packetSize_;
        packetSize_ = packetSize;
        if (!reader_->SetBufferSize(packetSize_)) {
            Log("error: reader could not change its packet size\n");
            *stepDone = true;
            return kResultReaderBufferSize;
        }
        if (larger) {
            // The block may hold less than the whole packet: read it again at the new size.
            // Nothing of the synchro block has been acted on yet, so the next step handles
            // it exactly once.
            *stepDone = true;
            return kResultOk;
        }
    }
    if (header.time != 0) {
        const int64_t time = static_cast<int64_t>(header.time);
        if (timeBase_ != 0 && synchroInterval_ == 0) synchroInterval_ = SubtractTime(time, timeBase_);
        timeBase_ = time;
        if (!FlushPartialFrames()) {
            *stepDone = true;
            return kResultAlloc;
        }
        ChangePeriod();
        lastSynchroCounter_ = kUnsetCounter;
    }
    *end = length < packetSize_ ? length : packetSize_;
    *position = kSynchroHeaderSize;
    for (;;) {
        const uint32_t code = ParseDescriptorRecord(data, position, *end);
        if (code == kResultEndOfList) break;
        if (code != kResultOk) {
            *stepDone = true;
            return code;
        }
    }
    if (*position > *end) {
        *stepDone = true;
        return kResultMalformed;
    }
    return kResultOk;
}

uint32_t Demux::ParsePacket(const uint8_t* data, uint32_t length) {
    if (packetSize_ != 0) {
        if (variablePackets_ && length > packetSize_) {
            Log("error: synchronized variable packet size reader returned a packet with an "
                "unexpected size (%d > %d)\n",
                static_cast<int>(length), static_cast<int>(packetSize_));
            Desynchronize();
            return kResultPacketSize;
        }
        if (!variablePackets_ && length != packetSize_) {
            Log("error: synchronized fixe packet size reader returned a packet with an "
                "unexpected size (%d != %d)\n",
                static_cast<int>(length), static_cast<int>(packetSize_));
            Desynchronize();
            return kResultPacketSize;
        }
    }
    uint32_t position = 0;
    uint32_t end = length;
    SynchroHeaderFields header;
    const bool synchroPacket = length > kSynchroHeaderSize && ParseSynchroHeader(data, &header);
    if (synchroPacket) {
        bool stepDone = false;
        const uint32_t code = HandleSynchroBlock(data, length, &position, &end, &stepDone);
        if (stepDone) return code;
    }
    uint32_t code = ParsePacketHeader(data, &position, end);
    if (code != kResultOk) {
        if (synchronized_) return code;
        // Not reported: the next step searches again. A packet that began with a synchro
        // header would be found again at once and fail the same way, so the search is
        // made to start past that header.
        return synchroPacket ? ConsumeAndReturn(1, kResultOk) : kResultOk;
    }
    do {
        code = ReadEp(data, &position, end);
    } while (code == kResultOk);
    if (code != kResultEndOfPacket) return code;
    if (position > end) return kResultMalformed;
    return ConsumeAndReturn(position, kResultOk);
}

}  // namespace Korva
