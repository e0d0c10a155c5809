#include "korva/BitWriter.h"

namespace Korva {

namespace {
constexpr uint32_t kAccumulatorBits = 64;
constexpr uint32_t kByteBits = 8;
}  // namespace

void BitWriter::StoreTopByte() {
    out_[bytesWritten_++] = static_cast<uint8_t>(accumulator_ >> (kAccumulatorBits - kByteBits));
    accumulator_ <<= kByteBits;
    free_ += kByteBits;
}

void BitWriter::PutBits(uint64_t value, uint32_t nbits) {
    // Whole bytes leave the accumulator as soon as they are complete.
    while (free_ <= kAccumulatorBits - kByteBits) StoreTopByte();
    if (nbits <= free_) {
        accumulator_ |= value << (free_ - nbits);
        free_ -= nbits;
    } else {
        const uint32_t rest = nbits - free_;
        accumulator_ |= value >> rest;
        for (uint32_t i = 0; i < kAccumulatorBits / kByteBits; ++i) {
            out_[bytesWritten_++] =
                static_cast<uint8_t>(accumulator_ >> (kAccumulatorBits - kByteBits * (i + 1)));
        }
        accumulator_ = value << (kAccumulatorBits - rest);
        free_ = kAccumulatorBits - rest;
    }
    totalBits_ += nbits;
}

uint32_t BitWriter::Finish() {
    while (free_ < kAccumulatorBits) StoreTopByte();
    accumulator_ = 0;
    free_ = kAccumulatorBits;
    return bytesWritten_;
}

}  // namespace Korva
