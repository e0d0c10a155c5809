#include "wavecodec/DspAdpcmEncoder.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "wavecodec/DspAdpcmFormat.h"

namespace DspAdpcm {

namespace {

// Second-order prediction statistics of one frame: the squared prediction error of a
// pair (a1, a2) is e0 - 2 (a1 r1 + a2 r2) + a1^2 r11 + 2 a1 a2 r12 + a2^2 r22.
struct FrameStats {
    double e0 = 0, r1 = 0, r2 = 0, r11 = 0, r12 = 0, r22 = 0;

    void Add(const FrameStats& o, double weight) {
        e0 += weight * o.e0;
        r1 += weight * o.r1;
        r2 += weight * o.r2;
        r11 += weight * o.r11;
        r12 += weight * o.r12;
        r22 += weight * o.r22;
    }
    double Error(double a1, double a2) const {
        return e0 - 2 * (a1 * r1 + a2 * r2) + a1 * a1 * r11 + 2 * a1 * a2 * r12 + a2 * a2 * r22;
    }
};

struct Pair {
    double a1 = 0, a2 = 0;
};

// Predictors are kept where the 2x2 recursion stays well behaved over a frame.
Pair Bounded(Pair p) {
    p.a2 = std::clamp(p.a2, -0.999, 0.999);
    p.a1 = std::clamp(p.a1, -1.999, 1.999);
    return p;
}

// The pair minimising the statistics' error; `fallback` when the system is degenerate.
Pair Solve(const FrameStats& s, Pair fallback) {
    const double ridge = 1e-9 * (s.r11 + s.r22) + 1e-12;
    const double a = s.r11 + ridge, b = s.r12, d = s.r22 + ridge;
    const double det = a * d - b * b;
    if (!(det > 1e-12 * a * d) || !std::isfinite(det)) {
        if (a > 1e-12) {
            return Bounded({s.r1 / a, 0});  // first order only
        }
        return fallback;
    }
    return Bounded({(s.r1 * d - s.r2 * b) / det, (s.r2 * a - s.r1 * b) / det});
}

int16_t ToFixed(double a) {
    const long v = std::lround(a * (1 << kCoefficientBits));
    return static_cast<int16_t>(std::clamp<long>(v, -32768, 32767));
}

// Pairs that serve when the signal gives nothing to learn from.
constexpr Pair kDefaultPairs[kPairs] = {{0, 0},      {1, 0},     {1.9, -0.95}, {1.5, -0.6},
                                        {1.7, -0.8}, {0.5, 0.2}, {1.2, -0.3},  {1.95, -0.98}};

void DesignPairs(const int16_t* x, uint32_t count, Pair* pairs) {
    for (int p = 0; p < kPairs; ++p) {
        pairs[p] = kDefaultPairs[p];
    }
    const uint32_t frames = (count + kFrameSamples - 1) / kFrameSamples;
    if (frames == 0) {
        return;
    }
    std::vector<FrameStats> stats(frames);
    std::vector<double> weight(frames);
    std::vector<int> owner(frames, 0);
    FrameStats total;
    for (uint32_t f = 0; f < frames; ++f) {
        FrameStats& s = stats[f];
        const uint32_t end = std::min(count, (f + 1) * kFrameSamples);
        for (uint32_t i = f * kFrameSamples; i < end; ++i) {
            const double v = x[i];
            const double v1 = i >= 1 ? x[i - 1] : 0.0;
            const double v2 = i >= 2 ? x[i - 2] : 0.0;
            s.e0 += v * v;
            s.r1 += v * v1;
            s.r2 += v * v2;
            s.r11 += v1 * v1;
            s.r12 += v1 * v2;
            s.r22 += v2 * v2;
        }
        // Normalised by the frame's level: the quantiser adapts its scale per frame, so a
        // quiet frame's relative error counts as much as a loud one's.
        weight[f] = 1.0 / (s.e0 + s.r11 + 2000.0);
        total.Add(s, weight[f]);
    }

    // Grow the codebook by splitting (1, 2, 4, 8 pairs), refining each size by
    // assignment to the best pair and re-solving every pair over its frames.
    int used = 1;
    pairs[0] = Solve(total, kDefaultPairs[1]);
    while (true) {
        for (int iteration = 0; iteration < 6; ++iteration) {
            for (uint32_t f = 0; f < frames; ++f) {
                double best = std::numeric_limits<double>::infinity();
                for (int p = 0; p < used; ++p) {
                    const double e = stats[f].Error(pairs[p].a1, pairs[p].a2);
                    if (e < best) {
                        best = e;
                        owner[f] = p;
                    }
                }
            }
            FrameStats sums[kPairs];
            for (uint32_t f = 0; f < frames; ++f) {
                sums[owner[f]].Add(stats[f], weight[f]);
            }
            for (int p = 0; p < used; ++p) {
                pairs[p] = Solve(sums[p], pairs[p]);
            }
        }
        if (used == kPairs) {
            break;
        }
        for (int p = 0; p < used; ++p) {
            const Pair c = pairs[p];
            pairs[p] = Bounded({c.a1 + 0.04, c.a2 - 0.03});
            pairs[used + p] = Bounded({c.a1 - 0.04, c.a2 + 0.03});
        }
        used *= 2;
    }
}

struct Coded {
    int64_t error = std::numeric_limits<int64_t>::max();
    int8_t nibbles[kFrameSamples] = {};
    int32_t h1 = 0, h2 = 0;
};

// Codes one frame with a given pair and shift, choosing each value greedily against the
// decoder's reconstruction. Stops early once the error passes `limit`.
void CodeFrame(const int16_t* x, uint32_t n, int32_t c1, int32_t c2, int shift, int32_t h1,
               int32_t h2, int64_t limit, Coded* out) {
    int64_t error = 0;
    const int64_t unit = int64_t{1} << (shift + kCoefficientBits);
    for (uint32_t i = 0; i < n; ++i) {
        const int64_t predicted = int64_t{c1} * h1 + int64_t{c2} * h2 + 1024;
        const int64_t wanted = (int64_t{x[i]} << kCoefficientBits) - predicted;
        int64_t q = wanted >= 0 ? wanted / unit : -((-wanted + unit - 1) / unit);  // floor
        int bestNibble = 0;
        int32_t bestValue = 0;
        int64_t bestError = std::numeric_limits<int64_t>::max();
        for (int64_t candidate = q; candidate <= q + 1; ++candidate) {
            const int nibble = static_cast<int>(std::clamp<int64_t>(candidate, -8, 7));
            const int32_t value = Reconstruct(nibble, shift, c1, c2, h1, h2);
            const int64_t d = int64_t{value} - x[i];
            if (d * d < bestError) {
                bestError = d * d;
                bestNibble = nibble;
                bestValue = value;
            }
        }
        error += bestError;
        if (error >= limit) {
            out->error = error;
            return;
        }
        out->nibbles[i] = static_cast<int8_t>(bestNibble);
        h2 = h1;
        h1 = bestValue;
    }
    out->error = error;
    out->h1 = h1;
    out->h2 = h2;
}

// The smallest shift whose largest step reaches the frame's largest prediction residual
// (computed on the clean signal).
int EstimateShift(const int16_t* x, uint32_t n, int32_t c1, int32_t c2, int32_t h1, int32_t h2) {
    int64_t largest = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const int64_t predicted = (int64_t{c1} * h1 + int64_t{c2} * h2 + 1024) >> kCoefficientBits;
        const int64_t r = x[i] - predicted;
        largest = std::max(largest, r < 0 ? -r : r);
        h2 = h1;
        h1 = x[i];
    }
    int shift = 0;
    while (shift < kMaxShift && (int64_t{7} << shift) < largest) {
        ++shift;
    }
    return shift;
}

}  // namespace

void Encode(const int16_t* samples, uint32_t count, uint8_t* out, int16_t* coefficients) {
    Pair pairs[kPairs];
    try {
        DesignPairs(samples, count, pairs);
    } catch (const std::bad_alloc&) {
        for (int p = 0; p < kPairs; ++p) {
            pairs[p] = kDefaultPairs[p];
        }
    }
    int32_t c[2 * kPairs];
    for (int p = 0; p < kPairs; ++p) {
        coefficients[2 * p] = ToFixed(pairs[p].a1);
        coefficients[2 * p + 1] = ToFixed(pairs[p].a2);
        c[2 * p] = coefficients[2 * p];
        c[2 * p + 1] = coefficients[2 * p + 1];
    }

    int32_t h1 = 0, h2 = 0;
    Coded best, trial;
    for (uint32_t first = 0; first < count; first += kFrameSamples) {
        const uint32_t n = std::min(kFrameSamples, count - first);
        const int16_t* x = samples + first;
        best.error = std::numeric_limits<int64_t>::max();
        int bestPair = 0, bestShift = 0;
        for (int p = 0; p < kPairs; ++p) {
            const int32_t c1 = c[2 * p], c2 = c[2 * p + 1];
            const int estimate = EstimateShift(x, n, c1, c2, h1, h2);
            for (int shift = std::max(0, estimate - 1); shift <= std::min(kMaxShift, estimate + 1);
                 ++shift) {
                CodeFrame(x, n, c1, c2, shift, h1, h2, best.error, &trial);
                if (trial.error < best.error) {
                    best = trial;
                    bestPair = p;
                    bestShift = shift;
                }
            }
        }
        if (best.error == std::numeric_limits<int64_t>::max()) {
            // Unreachable in practice (every frame codes with some finite error); keep
            // the history exact anyway by coding with the first pair and the largest shift.
            CodeFrame(x, n, c[0], c[1], kMaxShift, h1, h2, best.error, &best);
            bestPair = 0;
            bestShift = kMaxShift;
        }
        uint8_t* frame = out + first / kFrameSamples * kFrameBytes;
        std::memset(frame, 0, kFrameBytes);
        frame[0] = static_cast<uint8_t>(bestPair << 4 | bestShift);
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t nibble = static_cast<uint8_t>(best.nibbles[i] & 0x0F);
            frame[1 + i / 2] |= (i % 2 == 0) ? static_cast<uint8_t>(nibble << 4) : nibble;
        }
        h1 = best.h1;
        h2 = best.h2;
    }
}

}  // namespace DspAdpcm
