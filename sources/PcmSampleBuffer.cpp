#include "sources/PcmSampleBuffer.h"

#include <algorithm>
#include <cstring>

uint8_t* PcmSampleBuffer::Reserve(uint64_t bytes) {
    uint64_t needed = bytes_ + bytes;
    if (needed > capacity_) {
        uint64_t capacity = std::max<uint64_t>({needed, capacity_ * 2, 4096});
        auto grown = std::make_unique_for_overwrite<uint8_t[]>(capacity);
        if (bytes_ > 0) {
            std::memcpy(grown.get(), data_.get(), bytes_);
        }
        data_ = std::move(grown);
        capacity_ = capacity;
    }
    return data_.get() + bytes_;
}

void PcmSampleBuffer::Append(const uint8_t* data, uint32_t size) {
    uint64_t whole = size & ~1u;
    if (whole == 0) {
        return;
    }
    std::memcpy(Reserve(whole), data, whole);
    Commit(whole);
}

void PcmSampleBuffer::Release(uint64_t bytes) {
    bytes = std::min(bytes & ~uint64_t{1}, bytes_);
    if (bytes == 0) {
        return;
    }
    bytes_ -= bytes;
    if (bytes_ > 0) {
        std::memmove(data_.get(), data_.get() + bytes, bytes_);
    }
}
