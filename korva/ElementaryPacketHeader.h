#pragma once
// Headers of elementary packets, the pieces of frames inside a packet. Fields, most
// significant bit first: stream index (escape code), timed flag; when timed, the frame
// type (escape code), the sign and magnitude of the time offset; then payload length - 1
// in 13 bits, padded with 0 bits to a whole byte.
#include <cstdint>

namespace Korva {

inline constexpr uint32_t kEpMaxPayload = 8192;
inline constexpr uint32_t kEpLengthBits = 13;
// The offset magnitude takes 28 + 2k bits after a k-zero, one-one prefix; 2^60 is the
// first offset that cannot be written.
inline constexpr uint32_t kEpOffsetBaseBits = 28;
inline constexpr uint32_t kEpOffsetStepBits = 2;
inline constexpr uint32_t kEpOffsetLimitBits = 60;
inline constexpr uint64_t kEpOffsetLimit = 1ull << kEpOffsetLimitBits;
inline constexpr uint32_t kEpMaxValue = 255;  // largest stream index or frame type
// The largest header: index and frame type of 8 bits, the widest offset.
inline constexpr uint32_t kEpMaxHeaderSize = 16;

// Bits needed for `value` (at least 1).
uint32_t EpBitCount(uint32_t value);

uint32_t UntimedEpHeaderSize(uint32_t streamIndex);
// `magnitude` is the absolute time offset, below kEpOffsetLimit.
uint32_t TimedEpHeaderSize(uint32_t streamIndex, uint32_t frameType, uint64_t magnitude);

// Write the header at `out` for a payload of `length` (1..8192) bytes; return its size.
// streamIndex and frameType are at most 255, |offset| below kEpOffsetLimit.
uint32_t WriteUntimedEpHeader(uint8_t* out, uint32_t streamIndex, uint32_t length);
uint32_t WriteTimedEpHeader(uint8_t* out, uint32_t streamIndex, uint32_t frameType,
                            int64_t offset, uint32_t length);

}  // namespace Korva
