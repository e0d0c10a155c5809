#include "tests/support/VeluneDecoder.h"

#include "audio/VeluneBlockPacking.h"
#include "audio/VeluneFixedPoint.h"

using namespace VeluneFixed;

namespace {

constexpr int16_t kFac[8] = {18431, 20479, 22527, 24575, 26623, 28671, 30719, 32767};

// Inverse adaptive quantisation of one sub-frame's pulses, placed on their grid.
void Excitation(const VeluneSubFrame& sub, int16_t* ep) {
    int exp = 0;
    int mant = 0;
    VeluneAmplitudeExpMant(sub.xmaxc, &exp, &mant);
    const int16_t factor = kFac[mant];
    const int shift = 6 - exp;
    const int16_t rounding = static_cast<int16_t>(shift >= 1 ? 1 << (shift - 1) : 0);
    for (int k = 0; k < kVeluneSubFrameSamples; ++k) {
        ep[k] = 0;
    }
    for (int i = 0; i < kVelunePulses; ++i) {
        const int16_t level = static_cast<int16_t>(((sub.xmc[i] << 1) - 7) << 12);
        const int16_t t = Add(MultR(factor, level), rounding);
        ep[sub.mc + kVeluneGridStep * i] = static_cast<int16_t>(t >> shift);
    }
}

}  // namespace

void VeluneDecoder::DecodeBlock(uint32_t channel, const VeluneBlockParameters& parameters,
                                int16_t* out) {
    State& state = states_[channel];
    int16_t rp[kVeluneLarCount];
    VeluneReflectionCoefficients(parameters.larc, rp);
    int16_t ep[kVeluneSubFrameSamples];
    for (int j = 0; j < kVeluneSubFrames; ++j) {
        Excitation(parameters.sub[j], ep);
        for (int k = 0; k < kVeluneSubFrameSamples; ++k) {
            int16_t sri = ep[k];
            for (int i = kVeluneLarCount; i >= 1; --i) {
                sri = Sub(sri, MultR(rp[i - 1], state.v[i - 1]));
                state.v[i] = Add(state.v[i - 1], MultR(rp[i - 1], sri));
            }
            state.v[0] = sri;
            state.msr = Add(sri, MultR(state.msr, 28180));
            const int16_t up = Add(state.msr, state.msr);
            out[j * kVeluneSubFrameSamples + k] = static_cast<int16_t>(up & ~7);
        }
    }
}

bool VeluneDecoder::DecodeFrame(const uint8_t* frame, size_t size, std::vector<int16_t>* out) {
    const size_t channels = states_.size();
    const size_t group = channels * kVeluneBlockBytes;
    if (channels == 0 || size == 0 || size % group != 0) {
        return false;
    }
    const size_t groups = size / group;
    const size_t first = out->size();
    out->resize(first + groups * kVeluneBlockSamples * channels);
    VeluneBlockParameters parameters;
    int16_t block[kVeluneBlockSamples];
    for (size_t g = 0; g < groups; ++g) {
        for (size_t c = 0; c < channels; ++c) {
            UnpackVeluneBlock(frame + (g * channels + c) * kVeluneBlockBytes, &parameters);
            DecodeBlock(static_cast<uint32_t>(c), parameters, block);
            for (int k = 0; k < kVeluneBlockSamples; ++k) {
                (*out)[first + (g * kVeluneBlockSamples + k) * channels + c] = block[k];
            }
        }
    }
    return true;
}
