#pragma once
// The IMA ADPCM quantiser: 4-bit codes against an adaptive step size.
#include <cstdint>

namespace ImaAdpcm {

inline constexpr int kStepCount = 89;
inline constexpr int32_t kMaxStepIndex = kStepCount - 1;

inline constexpr int32_t kStepTable[kStepCount] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,   253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,   876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749,  3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493,  10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

// Step-index change, by the code's magnitude bits.
inline constexpr int32_t kIndexTable[8] = {-1, -1, -1, -1, 2, 4, 6, 8};

inline constexpr uint8_t kSignBit = 8;

struct ChannelState {
    int32_t predictor = 0;  // -32768 ... 32767
    int32_t stepIndex = 0;  // 0 ... kMaxStepIndex
};

// Codes one sample and advances the state. Returns the 4-bit code.
uint8_t EncodeSample(ChannelState& state, int16_t sample);

inline constexpr uint32_t kBlockSamples = 256;
inline constexpr uint32_t kBlockBytes = kBlockSamples / 2;

// Codes the kBlockSamples samples of one channel (every `channels`-th little-endian value
// of `interleaved`, starting at the channel's own) into kBlockBytes bytes, the earlier
// sample of each pair in the low nibble.
void EncodeBlock(ChannelState& state, const uint8_t* interleaved, uint32_t channels,
                 uint32_t channel, uint8_t* out);

}  // namespace ImaAdpcm
