#pragma once
// Interleaved 16-bit little-endian samples read from a file and not yet released, in one
// contiguous block that keeps its storage: released samples are removed by moving the
// rest to the front.
#include <cstdint>
#include <memory>

class PcmSampleBuffer {
public:
    // Whole 16-bit values held.
    uint64_t Values() const { return bytes_ / 2; }
    const uint8_t* Data() const { return data_.get(); }

    // Room for `bytes` more bytes at the end; commit what was filled with Commit.
    uint8_t* Reserve(uint64_t bytes);
    // Keeps `bytes` of the reserved room (an odd last byte is not a sample and is dropped).
    void Commit(uint64_t bytes) { bytes_ += bytes & ~uint64_t{1}; }
    // Appends the whole values of `size` bytes.
    void Append(const uint8_t* data, uint32_t size);
    // Drops the first `bytes` bytes (at most what is held).
    void Release(uint64_t bytes);
    void Clear() { bytes_ = 0; }

private:
    std::unique_ptr<uint8_t[]> data_;
    uint64_t bytes_ = 0;
    uint64_t capacity_ = 0;
};
