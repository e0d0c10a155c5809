#pragma once
// Variable-length unsigned integers of descriptor records: big-endian groups of 7 bits,
// 1 to 4 bytes, every byte but the last with bit 7 set.
#include <cstdint>

namespace Korva {

inline constexpr uint32_t kVarUIntMaxBytes = 4;
// Values from here on cannot be written.
inline constexpr uint32_t kVarUIntLimit = 1u << 28;

// Bytes WriteVarUInt takes for `value`.
inline constexpr uint32_t VarUIntSize(uint32_t value) {
    return value < (1u << 7) ? 1 : value < (1u << 14) ? 2 : value < (1u << 21) ? 3 : 4;
}

// Writes `value` (below kVarUIntLimit) and returns the bytes written.
uint32_t WriteVarUInt(uint8_t* out, uint32_t value);

// Reads one number at `*position`, not reading at or past `end`, and advances
// `*position`. False when the input ends inside the number; `*value` is then unchanged.
bool ReadVarUInt(const uint8_t** position, const uint8_t* end, uint32_t* value);

}  // namespace Korva
