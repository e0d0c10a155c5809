#pragma once
// The 40-byte Velune block: ten 32-bit words, each little-endian, W0 first.
//   W0: LARc1(6) LARc2(6) LARc3(5) LARc4(5) LARc5(4) LARc7(3) LARc8(3), from bit 31 down.
//   W1: xmaxc of sub-frames 4, 3, 2, 1 (6 bits each), then Mc of sub-frames 4, 3, 2, 1.
//   Sub-frame j (0-based) uses W(2 + 2j) and W(3 + 2j): ten 3-bit pulses from bit 31 down
//   in each, pulses 0-9 then 10-19; pulse 20 is split, bits 2-1 in bits 1-0 of the first
//   word, bit 0 in bit 1 of the second; bit 0 of the second word carries one bit of LARc6,
//   its most significant bit in sub-frame 0.
#include <cstdint>

#include "audio/VeluneBlockCoder.h"

inline constexpr uint32_t kVeluneBlockBytes = 40;

void PackVeluneBlock(const VeluneBlockParameters& parameters, uint8_t* out);
void UnpackVeluneBlock(const uint8_t* in, VeluneBlockParameters* parameters);
