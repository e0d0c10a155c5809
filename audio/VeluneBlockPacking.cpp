#include "audio/VeluneBlockPacking.h"

namespace {

constexpr int kWords = 10;
constexpr int kPulsesPerWord = 10;
constexpr int kSplitPulse = 20;
constexpr int kLar6 = 5;  // index of LARc6

// Position (lowest bit) and width of each log-area ratio in W0; LARc6 is spread over the
// sub-frame words instead.
struct Field {
    int shift;
    int width;
};
constexpr Field kLarFields[kVeluneLarCount] = {
    {26, 6}, {20, 6}, {15, 5}, {10, 5}, {6, 4}, {0, 0}, {3, 3}, {0, 3}};

constexpr int kAmplitudeShift[kVeluneSubFrames] = {8, 14, 20, 26};
constexpr int kOffsetShift[kVeluneSubFrames] = {0, 2, 4, 6};

// Shift of pulse i (0..9) of a word.
constexpr int PulseShift(int i) { return 29 - 3 * i; }

uint32_t Bits(uint32_t value, int shift, int width) {
    return (value & ((1u << width) - 1)) << shift;
}
uint8_t Field8(uint32_t word, int shift, int width) {
    return static_cast<uint8_t>((word >> shift) & ((1u << width) - 1));
}

}  // namespace

void PackVeluneBlock(const VeluneBlockParameters& p, uint8_t* out) {
    uint32_t w[kWords] = {};
    for (int i = 0; i < kVeluneLarCount; ++i) {
        if (i != kLar6) {
            w[0] |= Bits(p.larc[i], kLarFields[i].shift, kLarFields[i].width);
        }
    }
    for (int j = 0; j < kVeluneSubFrames; ++j) {
        const VeluneSubFrame& sub = p.sub[j];
        w[1] |= Bits(sub.xmaxc, kAmplitudeShift[j], 6) | Bits(sub.mc, kOffsetShift[j], 2);
        uint32_t& first = w[2 + 2 * j];
        uint32_t& second = w[3 + 2 * j];
        for (int i = 0; i < kPulsesPerWord; ++i) {
            first |= Bits(sub.xmc[i], PulseShift(i), 3);
            second |= Bits(sub.xmc[kPulsesPerWord + i], PulseShift(i), 3);
        }
        first |= Bits(sub.xmc[kSplitPulse] >> 1, 0, 2);
        second |= Bits(sub.xmc[kSplitPulse], 1, 1);
        second |= Bits(p.larc[kLar6] >> (3 - j), 0, 1);
    }
    for (int k = 0; k < kWords; ++k) {
        out[4 * k] = static_cast<uint8_t>(w[k]);
        out[4 * k + 1] = static_cast<uint8_t>(w[k] >> 8);
        out[4 * k + 2] = static_cast<uint8_t>(w[k] >> 16);
        out[4 * k + 3] = static_cast<uint8_t>(w[k] >> 24);
    }
}

void UnpackVeluneBlock(const uint8_t* in, VeluneBlockParameters* p) {
    uint32_t w[kWords];
    for (int k = 0; k < kWords; ++k) {
        w[k] = uint32_t{in[4 * k]} | uint32_t{in[4 * k + 1]} << 8 |
               uint32_t{in[4 * k + 2]} << 16 | uint32_t{in[4 * k + 3]} << 24;
    }
    p->larc[kLar6] = 0;
    for (int i = 0; i < kVeluneLarCount; ++i) {
        if (i != kLar6) {
            p->larc[i] = Field8(w[0], kLarFields[i].shift, kLarFields[i].width);
        }
    }
    for (int j = 0; j < kVeluneSubFrames; ++j) {
        VeluneSubFrame& sub = p->sub[j];
        sub.xmaxc = Field8(w[1], kAmplitudeShift[j], 6);
        sub.mc = Field8(w[1], kOffsetShift[j], 2);
        const uint32_t first = w[2 + 2 * j];
        const uint32_t second = w[3 + 2 * j];
        for (int i = 0; i < kPulsesPerWord; ++i) {
            sub.xmc[i] = Field8(first, PulseShift(i), 3);
            sub.xmc[kPulsesPerWord + i] = Field8(second, PulseShift(i), 3);
        }
        sub.xmc[kSplitPulse] =
            static_cast<uint8_t>(Field8(first, 0, 2) << 1 | Field8(second, 1, 1));
        p->larc[kLar6] = static_cast<uint8_t>(p->larc[kLar6] | Field8(second, 0, 1) << (3 - j));
    }
}
