#pragma once
// The DSP-ADPCM frame format: 8-byte frames of 14 samples. Byte 0 holds the predictor
// pair index (high nibble) and the scale shift (low nibble); bytes 1-7 hold 14 signed
// 4-bit values, high nibble first.
#include <algorithm>
#include <cstdint>

namespace DspAdpcm {

inline constexpr uint32_t kFrameBytes = 8;
inline constexpr uint32_t kFrameSamples = 14;
inline constexpr int kPairs = 8;
inline constexpr int kMaxShift = 12;
inline constexpr int kCoefficientBits = 11;

inline uint32_t BytesForSamples(uint32_t samples) {
    return static_cast<uint32_t>((uint64_t{samples} + kFrameSamples - 1) / kFrameSamples *
                                 kFrameBytes);
}

// The decoder's reconstruction of one value: exact rounding and clamping.
inline int32_t Reconstruct(int nibble, int shift, int32_t c1, int32_t c2, int32_t h1,
                           int32_t h2) {
    const int64_t scaled = int64_t{nibble} * (int64_t{1} << (shift + kCoefficientBits));
    const int64_t s = (scaled + 1024 + int64_t{c1} * h1 + int64_t{c2} * h2) >> kCoefficientBits;
    return static_cast<int32_t>(std::clamp<int64_t>(s, -32768, 32767));
}

}  // namespace DspAdpcm
