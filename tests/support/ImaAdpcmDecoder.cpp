#include "tests/support/ImaAdpcmDecoder.h"

#include <algorithm>

namespace {

constexpr size_t kHeaderBytes = 4;

// Written apart from the encoder's own state update, so the two check each other.
void DecodeSample(ImaAdpcm::ChannelState& state, uint8_t code) {
    const int32_t step = ImaAdpcm::kStepTable[state.stepIndex];
    int32_t e = step >> 3;
    e += (code & 4) ? step : 0;
    e += (code & 2) ? step >> 1 : 0;
    e += (code & 1) ? step >> 2 : 0;
    state.predictor = std::clamp(state.predictor + ((code & 8) ? -e : e), -32768, 32767);
    state.stepIndex = std::clamp(state.stepIndex + ImaAdpcm::kIndexTable[code & 7], 0, 88);
}

}  // namespace

bool ImaAdpcmDecoder::DecodeFrame(const uint8_t* frame, size_t size, std::vector<int16_t>* out) {
    const size_t channels = states_.size();
    if (channels == 0 || size < channels * kHeaderBytes) {
        return false;
    }
    const size_t blockBytes = channels * ImaAdpcm::kBlockBytes;
    const size_t body = size - channels * kHeaderBytes;
    if (body == 0 || body % blockBytes != 0) {
        return false;
    }
    for (size_t c = 0; c < channels; ++c) {
        const uint8_t* header = frame + c * kHeaderBytes;
        if (header[0] > ImaAdpcm::kMaxStepIndex || header[1] != 0) {
            return false;
        }
        headers_[c].stepIndex = header[0];
        headers_[c].predictor =
            static_cast<int16_t>(static_cast<uint16_t>(header[2] | (header[3] << 8)));
        states_[c] = headers_[c];
    }
    const size_t blocks = body / blockBytes;
    const size_t first = out->size();
    out->resize(first + blocks * ImaAdpcm::kBlockSamples * channels);
    const uint8_t* codes = frame + channels * kHeaderBytes;
    for (size_t b = 0; b < blocks; ++b) {
        for (size_t c = 0; c < channels; ++c) {
            ImaAdpcm::ChannelState& state = states_[c];
            size_t at = first + (b * ImaAdpcm::kBlockSamples) * channels + c;
            for (uint32_t i = 0; i < ImaAdpcm::kBlockSamples; ++i) {
                const uint8_t byte = codes[i / 2];
                const uint8_t code = (i & 1) ? byte >> 4 : byte & 0x0F;
                DecodeSample(state, code);
                (*out)[at] = static_cast<int16_t>(state.predictor);
                at += channels;
            }
            codes += ImaAdpcm::kBlockBytes;
        }
    }
    return true;
}
