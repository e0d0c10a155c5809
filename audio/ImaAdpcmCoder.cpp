#include "audio/ImaAdpcmCoder.h"

#include <algorithm>

#include "audio/PcmBlockReader.h"

namespace ImaAdpcm {

namespace {

// Moves the state by one code exactly as a decoder does, so the next frame's header
// repeats where decoding ended.
void ApplyCode(ChannelState& state, uint8_t code, int32_t increment) {
    const int32_t predicted =
        (code & kSignBit) ? state.predictor - increment : state.predictor + increment;
    state.predictor = std::clamp<int32_t>(predicted, INT16_MIN, INT16_MAX);
    state.stepIndex = std::clamp<int32_t>(state.stepIndex + kIndexTable[code & 7], 0,
                                          kMaxStepIndex);
}

}  // namespace

uint8_t EncodeSample(ChannelState& state, int16_t sample) {
    const int32_t step = kStepTable[state.stepIndex];
    int32_t difference = sample - state.predictor;
    uint8_t code = 0;
    if (difference < 0) {
        code = kSignBit;
        difference = -difference;
    }
    // Strict comparisons: a difference equal to a threshold does not take its bit.
    int32_t increment = step >> 3;
    if (difference > step) {
        code |= 4;
        difference -= step;
        increment += step;
    }
    if (difference > (step >> 1)) {
        code |= 2;
        difference -= step >> 1;
        increment += step >> 1;
    }
    if (difference > (step >> 2)) {
        code |= 1;
        increment += step >> 2;
    }
    ApplyCode(state, code, increment);
    return code;
}

void EncodeBlock(ChannelState& state, const uint8_t* interleaved, uint32_t channels,
                 uint32_t channel, uint8_t* out) {
    size_t index = channel;
    for (uint32_t i = 0; i < kBlockBytes; ++i) {
        const uint8_t low = EncodeSample(state, PcmSampleAt(interleaved, index));
        index += channels;
        const uint8_t high = EncodeSample(state, PcmSampleAt(interleaved, index));
        index += channels;
        out[i] = static_cast<uint8_t>(low | (high << 4));
    }
}

}  // namespace ImaAdpcm
