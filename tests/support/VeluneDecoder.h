#pragma once
// Decodes Velune frames (test and measurement only): inverse pulse quantisation, the
// decimation-3 grid, short-term synthesis with each block's own coefficients,
// de-emphasis and upscaling, in the coder's fixed-point arithmetic.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/VeluneBlockCoder.h"

class VeluneDecoder {
public:
    explicit VeluneDecoder(uint32_t channels) : states_(channels) {}

    // Decodes a frame of block groups (one block per channel in each group) and appends
    // the interleaved samples to `out`. False when the size is not whole groups.
    bool DecodeFrame(const uint8_t* frame, size_t size, std::vector<int16_t>* out);

    // One block of one channel: 256 samples into `out`.
    void DecodeBlock(uint32_t channel, const VeluneBlockParameters& parameters, int16_t* out);

private:
    struct State {
        int16_t v[9] = {};  // synthesis filter memory
        int16_t msr = 0;    // de-emphasis memory
    };
    std::vector<State> states_;
};
