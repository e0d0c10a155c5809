#pragma once
// The Velune signal coder: one block of 256 samples of one channel becomes 8 coded
// log-area ratios and, for each of 4 sub-frames of 64 samples, a block amplitude, a grid
// offset and 21 three-bit pulses on a decimation-3 grid. All in 16/32-bit fixed point.
// How the parameters are laid out in bytes is VeluneBlockPacking's business.
#include <cstdint>

inline constexpr int kVeluneBlockSamples = 256;
inline constexpr int kVeluneSubFrames = 4;
inline constexpr int kVeluneSubFrameSamples = 64;
inline constexpr int kVelunePulses = 21;
inline constexpr int kVeluneGridStep = 3;
inline constexpr int kVeluneGridOffsets = 4;
inline constexpr int kVeluneLarCount = 8;

// Per-channel coder memory; all zero for a new stream.
struct VeluneChannelState {
    int16_t z1 = 0;     // offset compensation
    int32_t L_z2 = 0;   // offset compensation
    int16_t mp = 0;     // pre-emphasis
    int16_t u[8] = {};  // short-term analysis filter
};

struct VeluneSubFrame {
    uint8_t xmaxc = 0;               // 6-bit block amplitude
    uint8_t mc = 0;                  // 2-bit grid offset
    uint8_t xmc[kVelunePulses] = {};  // 3-bit pulse codes, pulse i at sample mc + 3 i
};

struct VeluneBlockParameters {
    uint8_t larc[kVeluneLarCount] = {};  // coded log-area ratios, each >= 0
    VeluneSubFrame sub[kVeluneSubFrames];
};

// Encodes 256 samples with the channel's state, which it advances.
void EncodeVeluneBlock(VeluneChannelState& state, const int16_t* samples,
                       VeluneBlockParameters* out);

// Shared with decoders: the filter's reflection coefficients from the coded ratios.
void VeluneReflectionCoefficients(const uint8_t* larc, int16_t* rp);

// Shared with decoders: exponent and mantissa of a coded block amplitude.
void VeluneAmplitudeExpMant(uint8_t xmaxc, int* exp, int* mant);
