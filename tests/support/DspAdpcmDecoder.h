#pragma once
// Decodes DSP-ADPCM (test and measurement only): the 8-byte frame format, and the frames
// of the tool's DSP-ADPCM encoder, whose channels each carry a 38-byte header (8
// coefficient pairs, pred_scale, yn1, yn2) before their encoded data.
#include <cstddef>
#include <cstdint>
#include <vector>

// Decodes `samples` samples of one channel from `data` (`bytes` long) with the given
// coefficients and starting history, appending to `out`. False when the data are short
// or a frame names a shift above 12.
bool DecodeDspAdpcm(const uint8_t* data, size_t bytes, const int16_t* coefficients, int16_t yn1,
                    int16_t yn2, uint32_t samples, std::vector<int16_t>* out);

// Turns the encoder's frames back into the source's samples: each frame of `samples`
// reported samples per channel begins with history already delivered (16 samples of
// silence in the first frame, 32 samples of the previous frame after it), which is
// dropped.
class DspAdpcmStreamDecoder {
public:
    explicit DspAdpcmStreamDecoder(uint32_t channels) : channels_(channels) {}

    // Appends the frame's new interleaved samples to `out`.
    bool DecodeFrame(const uint8_t* frame, size_t size, uint32_t samples,
                     std::vector<int16_t>* out);

private:
    uint32_t channels_;
    bool first_ = true;
    std::vector<int16_t> channel_;
};
