#pragma once
// The frame rate of a video descriptor, whose terms have 16 bits, from an AVI stream's
// 32-bit rate and scale.
#include <cstdint>

struct VideoRate {
    uint16_t num = 0;
    uint16_t den = 0;
};

// rate/scale as is when both fit in 16 bits; otherwise the fraction reduced by its
// greatest common divisor, and when that still does not fit, the closest fraction whose
// terms fit (never with a zero term). Both inputs must be above 0.
VideoRate FitVideoRate(uint32_t rate, uint32_t scale);
