#pragma once
// Writes bit fields, most significant bit first, into a byte buffer through a 64-bit
// accumulator. Used on the stack to build elementary packet headers in place.
#include <cstdint>

namespace Korva {

class BitWriter {
public:
    explicit BitWriter(uint8_t* out) : out_(out) {}

    // Appends the low `nbits` (1..64) bits of `value`, which must fit in them.
    void PutBits(uint64_t value, uint32_t nbits);
    // Stores the bits still held, the last byte completed with 0 bits; returns the bytes
    // written in all.
    uint32_t Finish();

    uint64_t TotalBits() const { return totalBits_; }

private:
    void StoreTopByte();

    uint64_t accumulator_ = 0;
    uint32_t free_ = 64;
    uint32_t bytesWritten_ = 0;
    uint64_t totalBits_ = 0;
    uint8_t* out_;
};

}  // namespace Korva
