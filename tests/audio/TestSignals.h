#pragma once
// Deterministic test signals.
#include <cmath>
#include <cstdint>
#include <vector>

// A sum of two sines with a slow amplitude swell, `channels` interleaved with a different
// pitch per channel: busy enough to move every part of an adaptive coder.
inline std::vector<int16_t> MusicLikeSignal(uint32_t samples, uint32_t channels,
                                            double amplitude = 12000.0) {
    std::vector<int16_t> out(size_t{samples} * channels);
    const double pi = 3.14159265358979323846;
    for (uint32_t i = 0; i < samples; ++i) {
        const double swell = 0.6 + 0.4 * std::sin(2 * pi * i / 5000.0);
        for (uint32_t c = 0; c < channels; ++c) {
            const double f1 = 0.013 + 0.004 * c;
            const double f2 = 0.071 + 0.009 * c;
            const double v = amplitude * swell *
                             (0.7 * std::sin(2 * pi * f1 * i) + 0.3 * std::sin(2 * pi * f2 * i));
            out[size_t{i} * channels + c] = static_cast<int16_t>(std::lround(v));
        }
    }
    return out;
}

// One channel out of interleaved samples.
inline std::vector<int16_t> ChannelOf(const std::vector<int16_t>& interleaved, uint32_t channels,
                                      uint32_t channel) {
    std::vector<int16_t> out;
    for (size_t i = channel; i < interleaved.size(); i += channels) {
        out.push_back(interleaved[i]);
    }
    return out;
}

// Signal-to-noise ratio in dB of `decoded` against `original` over their common length.
inline double SnrDb(const std::vector<int16_t>& original, const std::vector<int16_t>& decoded) {
    double signal = 0, noise = 0;
    const size_t n = std::min(original.size(), decoded.size());
    for (size_t i = 0; i < n; ++i) {
        const double d = double(original[i]) - double(decoded[i]);
        signal += double(original[i]) * original[i];
        noise += d * d;
    }
    return noise == 0 ? 200.0 : 10.0 * std::log10(signal / noise);
}
