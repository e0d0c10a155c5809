#include "korva/VarUInt.h"

namespace Korva {

namespace {
constexpr uint32_t kGroupBits = 7;
constexpr uint8_t kMoreFlag = 0x80;
constexpr uint8_t kGroupMask = 0x7F;
}  // namespace

uint32_t WriteVarUInt(uint8_t* out, uint32_t value) {
    const uint32_t bytes = VarUIntSize(value);
    for (uint32_t i = 0; i < bytes; ++i) {
        const uint32_t shift = (bytes - 1 - i) * kGroupBits;
        uint8_t group = static_cast<uint8_t>((value >> shift) & kGroupMask);
        if (i + 1 < bytes) group |= kMoreFlag;
        out[i] = group;
    }
    return bytes;
}

bool ReadVarUInt(const uint8_t** position, const uint8_t* end, uint32_t* value) {
    uint32_t result = 0;
    for (uint32_t i = 0; i < kVarUIntMaxBytes; ++i) {
        if (*position >= end) return false;
        const uint8_t byte = **position;
        ++*position;
        // The fourth byte always ends the number, whatever its top bit.
        if (byte < kMoreFlag || i + 1 == kVarUIntMaxBytes) {
            *value = (result << kGroupBits) | byte;
            return true;
        }
        result = (result << kGroupBits) | (byte & kGroupMask);
    }
    return false;  // not reached
}

}  // namespace Korva
