#pragma once
// Time arithmetic of the frame sources.
#include <cstdint>

namespace MediaTime {

// value × multiplier ÷ divisor, truncated, without losing the product's high bits.
// Results beyond 64 bits keep their low 64 bits; `divisor` must not be 0.
inline uint64_t MulDiv(uint64_t value, uint64_t multiplier, uint64_t divisor) {
    unsigned __int128 product = static_cast<unsigned __int128>(value) * multiplier;
    return static_cast<uint64_t>(product / divisor);
}

// The time of sample `position` at `rate` samples per second: the first sample is at 1 µs.
inline int64_t SampleTime(int64_t position, uint32_t rate) {
    return position * 1000000 / static_cast<int64_t>(rate) + 1;
}

}  // namespace MediaTime
