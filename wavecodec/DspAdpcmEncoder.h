#pragma once
// Our DSP-ADPCM encoder. It designs the 8 predictor pairs from the signal itself: every
// 14-sample frame contributes its second-order prediction statistics, and the pairs are
// the centres of a clustering that minimises the total (level-normalised) prediction
// error. Each frame then takes the pair and scale shift whose coding, simulated with the
// decoder's exact rounding and clamping, gives the least squared error.
#include <cstdint>

namespace DspAdpcm {

// Encodes `count` samples, starting from a silent history, into BytesForSamples(count)
// bytes at `out`; `coefficients` receives the 8 pairs (c1, c2 interleaved).
void Encode(const int16_t* samples, uint32_t count, uint8_t* out, int16_t* coefficients);

}  // namespace DspAdpcm
