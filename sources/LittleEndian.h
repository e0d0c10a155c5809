#pragma once
// Little-endian field access and four-character codes, as RIFF files store them.
#include <cstdint>

namespace Riff {

inline uint16_t ReadU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t ReadU64(const uint8_t* p) {
    return static_cast<uint64_t>(ReadU32(p)) | (static_cast<uint64_t>(ReadU32(p + 4)) << 32);
}

// A four-character code held with its first character in the low byte, so that the
// value read with ReadU32 compares equal byte for byte.
using FourCC = uint32_t;

constexpr FourCC MakeFourCC(const char (&text)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(text[0])) |
           (static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(text[3])) << 24);
}

constexpr char FourCCChar(FourCC code, int position) {
    return static_cast<char>((code >> (8 * position)) & 0xFF);
}

// The stream number written as two decimal digits at `first` and `first + 1` of a
// chunk id ("01wb" at 0, "ix01" at 2); -1 when they are not digits.
constexpr int StreamNumberAt(FourCC code, int first) {
    char high = FourCCChar(code, first);
    char low = FourCCChar(code, first + 1);
    if (high < '0' || high > '9' || low < '0' || low > '9') {
        return -1;
    }
    return 10 * (high - '0') + (low - '0');
}

}  // namespace Riff
