#pragma once
// The 16/32-bit saturating fixed-point primitives the Velune block coder is defined with.
// A word is 16 bits, a long 32 bits, both signed; >> is arithmetic. Every operation is
// written so that no intermediate overflows the C++ type that holds it.
#include <cstdint>

namespace VeluneFixed {

inline constexpr int32_t kMaxWord = 32767;
inline constexpr int32_t kMinWord = -32768;
inline constexpr int64_t kMaxLong = 2147483647;
inline constexpr int64_t kMinLong = -2147483647 - 1;

inline int16_t Sat(int32_t x) {
    return static_cast<int16_t>(x > kMaxWord ? kMaxWord : (x < kMinWord ? kMinWord : x));
}
inline int16_t Add(int16_t a, int16_t b) { return Sat(int32_t{a} + b); }
inline int16_t Sub(int16_t a, int16_t b) { return Sat(int32_t{a} - b); }

inline int16_t Mult(int16_t a, int16_t b) {
    if (a == kMinWord && b == kMinWord) {
        return static_cast<int16_t>(kMaxWord);
    }
    return static_cast<int16_t>((int32_t{a} * b) >> 15);
}

inline int16_t MultR(int16_t a, int16_t b) {
    if (a == kMinWord && b == kMinWord) {
        return static_cast<int16_t>(kMaxWord);
    }
    return static_cast<int16_t>((int32_t{a} * b + 16384) >> 15);
}

// |a|, with |-32768| taken as 32767.
inline int16_t Abs(int16_t a) {
    return static_cast<int16_t>(a < 0 ? (a == kMinWord ? kMaxWord : -a) : a);
}

inline int32_t LSat(int64_t x) {
    return static_cast<int32_t>(x > kMaxLong ? kMaxLong : (x < kMinLong ? kMinLong : x));
}
inline int32_t LAdd(int32_t a, int32_t b) { return LSat(int64_t{a} + b); }

// Left shifts keep the low bits, as the fixed-point definition has them: done on the
// unsigned type so that no shift of a negative value is ever undefined.
inline int16_t WordShl(int32_t a, int n) {
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(a) << n));
}
inline int32_t LongShl(int32_t a, int n) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) << n);
}

// Left shifts that bring a positive long into 2^30 ... 2^31 - 1; a negative long is
// measured by its complement, and anything at or below -2^30 gives 0. Norm(0) = 31.
inline int Norm(int32_t a) {
    if (a < 0) {
        if (a <= -1073741824) {
            return 0;
        }
        a = ~a;
    }
    if (a == 0) {
        return 31;
    }
    int n = 0;
    while (a < 0x40000000) {
        a <<= 1;
        ++n;
    }
    return n;
}

// 15-bit fraction num / denum for 0 <= num <= denum; div(0, d) = 0.
inline int16_t Div(int16_t num, int16_t denum) {
    if (num == 0) {
        return 0;
    }
    int32_t n = num;
    int32_t quotient = 0;
    for (int k = 0; k < 15; ++k) {
        quotient <<= 1;
        n <<= 1;
        if (n >= denum) {
            n -= denum;
            quotient += 1;
        }
    }
    return static_cast<int16_t>(quotient);
}

}  // namespace VeluneFixed
