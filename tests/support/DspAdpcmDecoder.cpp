#include "tests/support/DspAdpcmDecoder.h"

#include <algorithm>

namespace {

constexpr size_t kFrameBytes = 8;
constexpr uint32_t kFrameSamples = 14;
constexpr size_t kHeaderBytes = 38;

int16_t Read16(const uint8_t* p) {
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}

}  // namespace

bool DecodeDspAdpcm(const uint8_t* data, size_t bytes, const int16_t* coefficients, int16_t yn1,
                    int16_t yn2, uint32_t samples, std::vector<int16_t>* out) {
    const size_t frames = (size_t{samples} + kFrameSamples - 1) / kFrameSamples;
    if (bytes < frames * kFrameBytes) {
        return false;
    }
    int64_t h1 = yn1, h2 = yn2;
    for (uint32_t n = 0; n < samples; ++n) {
        const uint8_t* frame = data + n / kFrameSamples * kFrameBytes;
        const int index = frame[0] >> 4;
        const int shift = frame[0] & 0x0F;
        if (shift > 12) {
            return false;
        }
        const uint32_t i = n % kFrameSamples;
        const uint8_t byte = frame[1 + i / 2];
        int nibble = (i % 2 == 0) ? byte >> 4 : byte & 0x0F;
        nibble = nibble >= 8 ? nibble - 16 : nibble;
        int64_t s = (int64_t{nibble} * (int64_t{1} << shift)) * 2048 + 1024 +
                    int64_t{coefficients[2 * index]} * h1 +
                    int64_t{coefficients[2 * index + 1]} * h2;
        s >>= 11;
        s = std::clamp<int64_t>(s, -32768, 32767);
        h2 = h1;
        h1 = s;
        out->push_back(static_cast<int16_t>(s));
    }
    return true;
}

bool DspAdpcmStreamDecoder::DecodeFrame(const uint8_t* frame, size_t size, uint32_t samples,
                                        std::vector<int16_t>* out) {
    const size_t skip = first_ ? 16 : 32;
    if (channels_ == 0 || size % channels_ != 0 || samples < skip) {
        return false;
    }
    const size_t block = size / channels_;
    if (block < kHeaderBytes) {
        return false;
    }
    const size_t base = out->size();
    out->resize(base + (samples - skip) * channels_);
    for (uint32_t c = 0; c < channels_; ++c) {
        const uint8_t* header = frame + c * block;
        int16_t coefficients[16];
        for (int k = 0; k < 16; ++k) {
            coefficients[k] = Read16(header + 2 * k);
        }
        const uint8_t* data = header + kHeaderBytes;
        // The header repeats the first frame's predictor/scale byte.
        if (Read16(header + 32) != data[0]) {
            return false;
        }
        channel_.clear();
        if (!DecodeDspAdpcm(data, block - kHeaderBytes, coefficients, Read16(header + 34),
                            Read16(header + 36), samples, &channel_)) {
            return false;
        }
        for (size_t k = skip; k < samples; ++k) {
            (*out)[base + (k - skip) * channels_ + c] = channel_[k];
        }
    }
    first_ = false;
    return true;
}
