#include "sources/VideoRate.h"

#include <cmath>
#include <numeric>

namespace {

constexpr uint64_t kMaxTerm = 0xFFFF;

// Distance of num/den from p/q, for comparing candidates only.
long double Distance(uint64_t num, uint64_t den, uint64_t p, uint64_t q) {
    return std::fabs(static_cast<long double>(num) / static_cast<long double>(den) -
                     static_cast<long double>(p) / static_cast<long double>(q));
}

// Best approximation of p/q with both terms in 1..kMaxTerm, through the continued
// fraction of p/q: the last convergent that fits, or the best semiconvergent after it.
VideoRate Closest(uint64_t p, uint64_t q) {
    uint64_t h0 = 0, h1 = 1;  // numerators of the two latest convergents
    uint64_t k0 = 1, k1 = 0;  // denominators
    uint64_t x = p, y = q;
    for (;;) {
        uint64_t a = x / y;
        uint64_t h2 = a * h1 + h0;
        uint64_t k2 = a * k1 + k0;
        if (h2 > kMaxTerm || k2 > kMaxTerm) {
            uint64_t t = kMaxTerm;
            if (h1 > 0) {
                t = std::min(t, (kMaxTerm - h0) / h1);
            }
            if (k1 > 0) {
                t = std::min(t, (kMaxTerm - k0) / k1);
            }
            uint64_t sn = t * h1 + h0;
            uint64_t sd = t * k1 + k0;
            bool semiUsable = t > 0 && sn > 0 && sd > 0;
            bool lastUsable = h1 > 0 && k1 > 0;
            if (semiUsable && (!lastUsable || Distance(sn, sd, p, q) < Distance(h1, k1, p, q))) {
                return {static_cast<uint16_t>(sn), static_cast<uint16_t>(sd)};
            }
            if (lastUsable) {
                return {static_cast<uint16_t>(h1), static_cast<uint16_t>(k1)};
            }
            // Below 1/65535: the smallest rate that can be written.
            return {1, static_cast<uint16_t>(kMaxTerm)};
        }
        h0 = h1;
        h1 = h2;
        k0 = k1;
        k1 = k2;
        uint64_t r = x - a * y;
        if (r == 0) {
            return {static_cast<uint16_t>(h1), static_cast<uint16_t>(k1)};
        }
        x = y;
        y = r;
    }
}

}  // namespace

VideoRate FitVideoRate(uint32_t rate, uint32_t scale) {
    if (rate <= kMaxTerm && scale <= kMaxTerm) {
        return {static_cast<uint16_t>(rate), static_cast<uint16_t>(scale)};
    }
    uint32_t divisor = std::gcd(rate, scale);
    uint64_t p = rate / divisor;
    uint64_t q = scale / divisor;
    if (p <= kMaxTerm && q <= kMaxTerm) {
        return {static_cast<uint16_t>(p), static_cast<uint16_t>(q)};
    }
    return Closest(p, q);
}
