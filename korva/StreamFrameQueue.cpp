#include "korva/StreamFrameQueue.h"

#include <cstring>
#include <new>

#include "korva/KorvaArray.h"
#include "korva/Memory.h"

namespace Korva {

namespace {

// Largest ring the queue lets itself grow to. A single stream never needs this much; the
// bound keeps capacity arithmetic far from 32-bit overflow whatever a file claims.
constexpr uint64_t kMaxRingBytes = 0x80000000u;

// The library's array growth rule; both values are below kMaxRingBytes here.
uint64_t GrownCapacity(uint64_t current, uint64_t required) {
    return KorvaGrowCapacity(static_cast<uint32_t>(current), static_cast<uint32_t>(required));
}

uint64_t RoundUp4(uint64_t value) { return (value + 3) & ~uint64_t{3}; }

}  // namespace

StreamFrameQueue::~StreamFrameQueue() {
    for (uint32_t i = 0; i < frameCount_; ++i) {
        Release(frames_[(frameHead_ + i) % frameCapacity_]);
    }
    for (uint32_t i = 0; i < poolCount_; ++i) Release(pool_[i]);
    Release(current_);
    Release(frames_);
    Release(pool_);
    Release(bytes_);
    Release(scratch_);
}

void* StreamFrameQueue::Allocate(uint64_t bytes) {
    void* block = bytes <= UINT32_MAX ? memory_->Alloc(static_cast<uint32_t>(bytes)) : nullptr;
    if (block == nullptr) {
        memory_->Fatal(kOutOfMemoryFormat, static_cast<int>(bytes));
    }
    return block;
}

void StreamFrameQueue::Release(void* block) {
    if (block != nullptr) memory_->Free(block);
}

const FrameRecord* StreamFrameQueue::PeekFrame() const {
    return frameCount_ == 0 ? nullptr : frames_[frameHead_];
}

bool StreamFrameQueue::GetFrameData(const uint8_t** data, uint32_t* size) {
    if (frameCount_ == 0) return false;
    const FrameRecord* frame = frames_[frameHead_];
    if (frame->storedSize < frame->size) return false;  // counted, not kept
    *size = frame->size;
    if (frame->size == 0) {
        *data = bytes_;
        return true;
    }
    uint32_t untilEnd = byteCapacity_ - byteHead_;
    if (frame->size <= untilEnd) {
        *data = bytes_ + byteHead_;
        return true;
    }
    if (scratchCapacity_ < frame->size) {
        uint8_t* grown = static_cast<uint8_t*>(Allocate(frame->size));
        if (grown == nullptr) return false;
        Release(scratch_);
        scratch_ = grown;
        scratchCapacity_ = frame->size;
    }
    std::memcpy(scratch_, bytes_ + byteHead_, untilEnd);
    std::memcpy(scratch_ + untilEnd, bytes_, frame->size - untilEnd);
    *data = scratch_;
    return true;
}

bool StreamFrameQueue::PopFrame() {
    if (frameCount_ == 0) return false;
    FrameRecord* frame = frames_[frameHead_];
    if (!PoolRecord(frame)) return false;
    byteHead_ = byteCapacity_ == 0 ? 0 : (byteHead_ + frame->storedSize) % byteCapacity_;
    used_ -= frame->storedSize;
    frameHead_ = (frameHead_ + 1) % frameCapacity_;
    --frameCount_;
    return true;
}

bool StreamFrameQueue::StartFrame() {
    if (current_ != nullptr) return true;
    FrameRecord* record;
    if (poolCount_ > 0) {
        record = pool_[--poolCount_];
    } else {
        void* block = Allocate(sizeof(FrameRecord));
        if (block == nullptr) return false;
        record = new (block) FrameRecord;
    }
    // A frame completed without its last piece keeps these values.
    *record = FrameRecord{};
    current_ = record;
    return true;
}

bool StreamFrameQueue::ReserveBytes(uint32_t extra) {
    uint64_t required = uint64_t{used_} + extra;
    if (required <= byteCapacity_) return true;
    if (required > kMaxRingBytes) return false;
    uint64_t capacity = RoundUp4(GrownCapacity(byteCapacity_, required));
    if (capacity > kMaxRingBytes) capacity = kMaxRingBytes;
    uint8_t* grown = static_cast<uint8_t*>(Allocate(capacity));
    if (grown == nullptr) return false;
    // Move the contents to the start of the new block, unwrapped.
    if (used_ > 0) {
        uint32_t first = byteCapacity_ - byteHead_;
        if (first >= used_) {
            std::memcpy(grown, bytes_ + byteHead_, used_);
        } else {
            std::memcpy(grown, bytes_ + byteHead_, first);
            std::memcpy(grown + first, bytes_, used_ - first);
        }
    }
    Release(bytes_);
    bytes_ = grown;
    byteCapacity_ = static_cast<uint32_t>(capacity);
    byteHead_ = 0;
    return true;
}

bool StreamFrameQueue::AppendToFrame(const uint8_t* data, uint32_t size) {
    if (current_ == nullptr) return false;
    if (size == 0) return true;
    // A stored frame has every byte so far in the ring (its padding comes at completion).
    if (!keepsPayloads || current_->storedSize != current_->size) {
        if (uint64_t{current_->size} + size > kMaxRingBytes) return false;
        used_ -= current_->storedSize;  // the current frame's bytes are the last in the ring
        current_->storedSize = 0;
        current_->size += size;
        return true;
    }
    if (uint64_t{current_->storedSize} + size > kMaxRingBytes) return false;
    if (!ReserveBytes(size)) return false;
    uint32_t tail = (byteHead_ + used_) % byteCapacity_;
    uint32_t untilEnd = byteCapacity_ - tail;
    if (size <= untilEnd) {
        std::memcpy(bytes_ + tail, data, size);
    } else {
        std::memcpy(bytes_ + tail, data, untilEnd);
        std::memcpy(bytes_, data + untilEnd, size - untilEnd);
    }
    used_ += size;
    current_->size += size;
    current_->storedSize += size;
    return true;
}

bool StreamFrameQueue::PushRecord(FrameRecord* record) {
    if (frameCount_ == frameCapacity_) {
        uint64_t capacity = RoundUp4(GrownCapacity(frameCapacity_, uint64_t{frameCount_} + 1));
        if (capacity * sizeof(FrameRecord*) > kMaxRingBytes) return false;
        auto** grown = static_cast<FrameRecord**>(Allocate(capacity * sizeof(FrameRecord*)));
        if (grown == nullptr) return false;
        for (uint32_t i = 0; i < frameCount_; ++i) {
            grown[i] = frames_[(frameHead_ + i) % frameCapacity_];
        }
        Release(frames_);
        frames_ = grown;
        frameCapacity_ = static_cast<uint32_t>(capacity);
        frameHead_ = 0;
    }
    frames_[(frameHead_ + frameCount_) % frameCapacity_] = record;
    ++frameCount_;
    return true;
}

bool StreamFrameQueue::PoolRecord(FrameRecord* record) {
    if (poolCount_ == poolCapacity_) {
        uint64_t capacity = GrownCapacity(poolCapacity_, uint64_t{poolCount_} + 1);
        if (capacity * sizeof(FrameRecord*) > kMaxRingBytes) return false;
        auto** grown = static_cast<FrameRecord**>(Allocate(capacity * sizeof(FrameRecord*)));
        if (grown == nullptr) return false;
        if (poolCount_ > 0) std::memcpy(grown, pool_, poolCount_ * sizeof(FrameRecord*));
        Release(pool_);
        pool_ = grown;
        poolCapacity_ = static_cast<uint32_t>(capacity);
    }
    pool_[poolCount_++] = record;
    return true;
}

bool StreamFrameQueue::CompleteFrame() {
    if (current_ == nullptr) return false;
    // Filler bytes are never read; only the room they take matters.
    uint32_t padding = (4 - current_->storedSize % 4) % 4;
    if (!ReserveBytes(padding) || !PushRecord(current_)) return false;
    used_ += padding;
    current_->storedSize += padding;
    current_ = nullptr;
    return true;
}

bool StreamFrameQueue::FlushFrame() {
    if (current_ == nullptr || current_->size == 0) return true;
    if (!PushRecord(current_)) return false;
    current_ = nullptr;
    return true;
}

bool StreamFrameQueue::DropFrame() {
    if (current_ == nullptr) return true;
    if (!PoolRecord(current_)) return false;
    used_ -= current_->storedSize;
    current_ = nullptr;
    return true;
}

}  // namespace Korva
