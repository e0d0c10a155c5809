#pragma once
// Decodes the IMA ADPCM frames of the tool's encoder (test and measurement only).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/ImaAdpcmCoder.h"

class ImaAdpcmDecoder {
public:
    explicit ImaAdpcmDecoder(uint32_t channels) : states_(channels), headers_(channels) {}

    // Decodes one frame, starting every channel from the state in its header, and appends
    // the interleaved samples to `out`. False when the size is not a whole frame.
    bool DecodeFrame(const uint8_t* frame, size_t size, std::vector<int16_t>* out);

    // A channel's header of the last frame, and its state after the frame's last sample.
    const ImaAdpcm::ChannelState& Header(uint32_t channel) const { return headers_[channel]; }
    const ImaAdpcm::ChannelState& State(uint32_t channel) const { return states_[channel]; }

private:
    std::vector<ImaAdpcm::ChannelState> states_;
    std::vector<ImaAdpcm::ChannelState> headers_;
};
