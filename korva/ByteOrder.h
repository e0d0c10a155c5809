#pragma once
// Loads and stores of fixed-width integers in a given byte order, byte by byte, so they
// work at any alignment and on any host.
#include <cstdint>

namespace Korva {

inline void StoreBE16(uint8_t* out, uint16_t v) {
    out[0] = static_cast<uint8_t>(v >> 8);
    out[1] = static_cast<uint8_t>(v);
}
inline void StoreBE32(uint8_t* out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}
inline void StoreBE64(uint8_t* out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(v >> (56 - 8 * i));
}
inline uint16_t LoadBE16(const uint8_t* in) {
    return static_cast<uint16_t>((in[0] << 8) | in[1]);
}
inline uint32_t LoadBE32(const uint8_t* in) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | in[i];
    return v;
}
inline uint64_t LoadBE64(const uint8_t* in) {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = (v << 8) | in[i];
    return v;
}

inline void StoreLE32(uint8_t* out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void StoreLE64(uint8_t* out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint32_t LoadLE32(const uint8_t* in) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | in[i];
    return v;
}
inline uint64_t LoadLE64(const uint8_t* in) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | in[i];
    return v;
}

}  // namespace Korva
