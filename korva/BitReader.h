#pragma once
// Most-significant-bit-first reader over a byte range, used for elementary packet headers.
// Bits are pulled into a 64-bit accumulator a whole byte at a time. Reading past the end
// of the range, or asking for a value wider than 64 bits, sets a sticky error flag; from
// then on every read returns 0, so a caller checks the flag once after a group of reads.
#include <bit>
#include <cstdint>

namespace Korva {

class BitReader {
public:
    BitReader(const uint8_t* data, const uint8_t* end) : start_(data), next_(data), end_(end) {}

    // `count` bits (0..64) as an unsigned value.
    uint64_t GetBits(uint32_t count) {
        if (count > 32) {
            uint64_t high = GetBits(count - 32);
            return (high << 32) | GetBits(32);
        }
        if (count == 0 || error_) return 0;
        Refill();
        if (held_ < count) return Fail();
        uint64_t value = accumulator_ >> (64 - count);
        Drop(count);
        return value;
    }

    bool GetBit() { return GetBits(1) != 0; }

    // Escape-coded number: k zero bits, a one bit, then (width + k * step) bits of value.
    uint64_t GetEscaped(uint32_t width, uint32_t step) {
        uint64_t zeros = 0;
        for (;;) {
            if (error_) return 0;
            Refill();
            if (held_ == 0) return Fail();
            if (accumulator_ == 0) {  // every held bit is 0 (bits below them are always 0)
                zeros += held_;
                Drop(held_);
                continue;
            }
            uint32_t leading = static_cast<uint32_t>(std::countl_zero(accumulator_));
            zeros += leading;
            Drop(leading + 1);
            break;
        }
        uint64_t bits = width + zeros * step;
        if (bits > 64) return Fail();
        return GetBits(static_cast<uint32_t>(bits));
    }

    bool Failed() const { return error_; }
    // Bytes of the range touched so far, a partly read byte counting whole.
    uint64_t BytesTouched() const {
        uint64_t consumedBits = static_cast<uint64_t>(next_ - start_) * 8 - held_;
        return (consumedBits + 7) / 8;
    }

private:
    void Refill() {
        while (held_ <= 56 && next_ < end_) {
            accumulator_ |= static_cast<uint64_t>(*next_++) << (56 - held_);
            held_ += 8;
        }
    }
    void Drop(uint32_t count) {
        accumulator_ = count >= 64 ? 0 : accumulator_ << count;
        held_ -= count;
    }
    uint64_t Fail() {
        error_ = true;
        return 0;
    }

    const uint8_t* start_;
    const uint8_t* next_;
    const uint8_t* end_;
    uint64_t accumulator_ = 0;  // held bits at the top, zeros below
    uint32_t held_ = 0;
    bool error_ = false;
};

}  // namespace Korva
