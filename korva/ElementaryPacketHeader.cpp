#include "korva/ElementaryPacketHeader.h"

#include "korva/BitWriter.h"

namespace Korva {

namespace {

constexpr uint32_t kByteBits = 8;

// Width of the offset magnitude field, 28 + 2k.
uint32_t OffsetWidth(uint64_t magnitude) {
    uint32_t width = kEpOffsetBaseBits;
    while (width < kEpOffsetLimitBits && magnitude >= (1ull << width)) {
        width += kEpOffsetStepBits;
    }
    return width;
}

uint32_t BitsToBytes(uint32_t bits) { return (bits + kByteBits - 1) / kByteBits; }

// n - 1 zero bits and a one, then the value in n bits.
void PutEscaped(BitWriter& bits, uint32_t value) {
    const uint32_t n = EpBitCount(value);
    bits.PutBits(1, n);
    bits.PutBits(value, n);
}

}  // namespace

uint32_t EpBitCount(uint32_t value) {
    uint32_t n = 1;
    uint64_t threshold = 2;
    while (value >= threshold) {
        ++n;
        threshold <<= 1;
    }
    return n;
}

uint32_t UntimedEpHeaderSize(uint32_t streamIndex) {
    return BitsToBytes(2 * EpBitCount(streamIndex) + 1 + kEpLengthBits);
}

uint32_t TimedEpHeaderSize(uint32_t streamIndex, uint32_t frameType, uint64_t magnitude) {
    const uint32_t width = OffsetWidth(magnitude);
    const uint32_t k = (width - kEpOffsetBaseBits) / kEpOffsetStepBits;
    const uint32_t bits = 2 * EpBitCount(streamIndex) + 1 + 2 * EpBitCount(frameType) + 1 +
                          (k + 1) + width + kEpLengthBits;
    return BitsToBytes(bits);
}

uint32_t WriteUntimedEpHeader(uint8_t* out, uint32_t streamIndex, uint32_t length) {
    BitWriter bits(out);
    PutEscaped(bits, streamIndex);
    bits.PutBits(0, 1);
    bits.PutBits(length - 1, kEpLengthBits);
    return bits.Finish();
}

uint32_t WriteTimedEpHeader(uint8_t* out, uint32_t streamIndex, uint32_t frameType,
                            int64_t offset, uint32_t length) {
    BitWriter bits(out);
    PutEscaped(bits, streamIndex);
    bits.PutBits(1, 1);
    PutEscaped(bits, frameType);
    // The magnitude of the most negative offset still fits: callers keep it below 2^60.
    const uint64_t magnitude =
        offset < 0 ? 0 - static_cast<uint64_t>(offset) : static_cast<uint64_t>(offset);
    bits.PutBits(offset < 0 ? 1 : 0, 1);
    const uint32_t width = OffsetWidth(magnitude);
    const uint32_t k = (width - kEpOffsetBaseBits) / kEpOffsetStepBits;
    bits.PutBits(1, k + 1);
    bits.PutBits(magnitude, width);
    bits.PutBits(length - 1, kEpLengthBits);
    return bits.Finish();
}

}  // namespace Korva
