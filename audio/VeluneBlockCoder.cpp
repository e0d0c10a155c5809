#include "audio/VeluneBlockCoder.h"

#include "audio/VeluneFixedPoint.h"
#include "audio/VeluneTables.h"

using namespace VeluneFixed;
using namespace VeluneTables;

namespace {

// Downscaling, offset compensation and pre-emphasis.
void Preprocess(VeluneChannelState& state, const int16_t* sop, int16_t* s) {
    int16_t z1 = state.z1;
    int32_t L_z2 = state.L_z2;
    int16_t mp = state.mp;
    for (int k = 0; k < kVeluneBlockSamples; ++k) {
        const int16_t SO = static_cast<int16_t>((sop[k] >> 3) * 4);
        const int32_t s1 = SO - z1;  // both within -16384 ... 16380
        z1 = SO;

        int32_t L_s2 = s1 * 32768;
        const int32_t msp = L_z2 >> 15;
        const int16_t lsp = static_cast<int16_t>(L_z2 - msp * 32768);
        L_s2 += MultR(lsp, 32735);
        L_z2 = LAdd(msp * 32735, L_s2);

        const int32_t L_temp = LAdd(L_z2, 16384);
        const int16_t msp2 = MultR(mp, -28180);
        mp = static_cast<int16_t>(L_temp >> 15);
        s[k] = Add(mp, msp2);
    }
    state.z1 = z1;
    state.L_z2 = L_z2;
    state.mp = mp;
}

// Scales s for the correlation, which is left in L_ACF, and leaves s rescaled (with its
// low bits lost) for the rest of the block.
void Autocorrelation(int16_t* s, int32_t* L_ACF) {
    int16_t smax = 0;
    for (int k = 0; k < kVeluneBlockSamples; ++k) {
        const int16_t a = Abs(s[k]);
        smax = a > smax ? a : smax;
    }
    const int scalauto = smax == 0 ? 0 : 4 - Norm(LongShl(smax, 16));
    if (scalauto > 0) {
        const int16_t factor = static_cast<int16_t>(16384 >> (scalauto - 1));
        for (int k = 0; k < kVeluneBlockSamples; ++k) {
            s[k] = MultR(s[k], factor);
        }
    }
    for (int j = 0; j <= kVeluneLarCount; ++j) {
        // 256 products of up to 2^22 each can reach 2^31 once doubled: summed wide and
        // saturated to the long they are defined as.
        int64_t sum = 0;
        for (int k = j; k < kVeluneBlockSamples; ++k) {
            sum += int32_t{s[k]} * s[k - j];
        }
        L_ACF[j] = LSat(2 * sum);
    }
    if (scalauto > 0) {
        for (int k = 0; k < kVeluneBlockSamples; ++k) {
            s[k] = WordShl(s[k], scalauto);
        }
    }
}

// Schur recursion to 8 reflection coefficients.
void ReflectionFromCorrelation(const int32_t* L_ACF, int16_t* r) {
    for (int i = 0; i < kVeluneLarCount; ++i) {
        r[i] = 0;
    }
    if (L_ACF[0] == 0) {
        return;
    }
    const int temp = Norm(L_ACF[0]);
    int16_t ACF[9];
    for (int j = 0; j <= 8; ++j) {
        ACF[j] = static_cast<int16_t>(LongShl(L_ACF[j], temp) >> 16);
    }
    int16_t P[9];
    int16_t K[9] = {};
    for (int j = 0; j <= 8; ++j) {
        P[j] = ACF[j];
    }
    for (int j = 1; j <= 7; ++j) {
        K[j] = ACF[j];
    }
    for (int n = 1; n <= 8; ++n) {
        const int16_t a = Abs(P[1]);
        if (P[0] < a) {
            return;  // the rest stay 0
        }
        int16_t rn = Div(a, P[0]);
        if (P[1] > 0) {
            rn = static_cast<int16_t>(-rn);
        }
        r[n - 1] = rn;
        if (n == 8) {
            return;
        }
        P[0] = Add(P[0], MultR(P[1], rn));
        for (int m = 1; m <= 8 - n; ++m) {
            const int16_t pNext = P[m + 1];
            const int16_t k = K[m];
            P[m] = Add(pNext, MultR(k, rn));
            K[m] = Add(k, MultR(pNext, rn));
        }
    }
}

void CodeLogAreaRatios(const int16_t* r, uint8_t* larc) {
    for (int i = 0; i < kVeluneLarCount; ++i) {
        int16_t t = Abs(r[i]);
        if (t < 22118) {
            t = static_cast<int16_t>(t >> 1);
        } else if (t < 31130) {
            t = static_cast<int16_t>(t - 11059);
        } else {
            t = static_cast<int16_t>((t - 26112) * 4);
        }
        const int16_t lar = r[i] < 0 ? static_cast<int16_t>(-t) : t;
        int32_t c = Add(Add(Mult(lar, kA[i]), kB[i]), 256) >> 9;
        c = c > kMac[i] ? kMac[i] : (c < kMic[i] ? kMic[i] : c);
        larc[i] = static_cast<uint8_t>(c - kMic[i]);
    }
}

void ShortTermAnalysis(VeluneChannelState& state, const int16_t* rp, const int16_t* s,
                       int16_t* d) {
    int16_t* u = state.u;
    for (int k = 0; k < kVeluneBlockSamples; ++k) {
        int16_t di = s[k];
        int16_t sav = di;
        for (int i = 0; i < kVeluneLarCount; ++i) {
            const int16_t ui = u[i];
            u[i] = sav;
            sav = Add(ui, MultR(rp[i], di));
            di = Add(di, MultR(rp[i], ui));
        }
        d[k] = di;
    }
}

void WeightingFilter(const int16_t* e, int16_t* x) {
    constexpr int kHalf = kWeightTaps / 2;
    for (int k = 0; k < kVeluneSubFrameSamples; ++k) {
        int32_t sum = 4096;
        for (int i = 0; i < kWeightTaps; ++i) {
            const int at = k + i - kHalf;
            if (at >= 0 && at < kVeluneSubFrameSamples) {
                sum += int32_t{kH[i]} * e[at];
            }
        }
        x[k] = Sat(sum >> 13);
    }
}

void CodeSubFrame(const int16_t* e, VeluneSubFrame* out) {
    int16_t x[kVeluneSubFrameSamples];
    WeightingFilter(e, x);

    int32_t best = 0;
    int mc = 0;
    for (int m = 0; m < kVeluneGridOffsets; ++m) {
        int32_t energy = 0;
        for (int i = 0; i < kVelunePulses; ++i) {
            const int32_t v = x[m + kVeluneGridStep * i] >> 2;
            energy += v * v;  // at most 21 * 2^26
        }
        if (energy > best) {
            best = energy;
            mc = m;
        }
    }
    int16_t xM[kVelunePulses];
    int16_t xmax = 0;
    for (int i = 0; i < kVelunePulses; ++i) {
        xM[i] = x[mc + kVeluneGridStep * i];
        const int16_t a = Abs(xM[i]);
        xmax = a > xmax ? a : xmax;
    }

    int exp = 0;
    for (int shift = 9; shift <= 14 && (xmax >> shift) > 0; ++shift) {
        ++exp;
    }
    const int16_t xmaxc = Add(static_cast<int16_t>(xmax >> (exp + 5)),
                              static_cast<int16_t>(exp << 3));
    out->xmaxc = static_cast<uint8_t>(xmaxc);
    out->mc = static_cast<uint8_t>(mc);

    int mant = 0;
    VeluneAmplitudeExpMant(out->xmaxc, &exp, &mant);
    const int16_t factor = kNrFac[mant];
    for (int i = 0; i < kVelunePulses; ++i) {
        const int16_t t = Mult(WordShl(xM[i], 6 - exp), factor);
        out->xmc[i] = static_cast<uint8_t>((t >> 12) + 4);
    }
}

}  // namespace

void VeluneAmplitudeExpMant(uint8_t xmaxc, int* exp, int* mant) {
    int e = xmaxc > 15 ? (xmaxc >> 3) - 1 : 0;
    int m = xmaxc - (e << 3);
    if (m == 0) {
        e = -4;
        m = 7;
    } else {
        while (m <= 7) {
            m = (m << 1) | 1;
            --e;
        }
        m -= 8;
    }
    *exp = e;
    *mant = m;
}

void VeluneReflectionCoefficients(const uint8_t* larc, int16_t* rp) {
    for (int i = 0; i < kVeluneLarCount; ++i) {
        const int16_t scaled = WordShl(Add(static_cast<int16_t>(larc[i]), kMic[i]), 10);
        const int16_t t = MultR(kInvA[i], Sub(scaled, static_cast<int16_t>(kB[i] * 2)));
        const int16_t larpp = Add(t, t);
        int16_t a = Abs(larpp);
        if (a < 11059) {
            a = static_cast<int16_t>(a << 1);
        } else if (a < 20070) {
            a = static_cast<int16_t>(a + 11059);
        } else {
            a = Add(static_cast<int16_t>(a >> 2), 26112);
        }
        rp[i] = larpp < 0 ? static_cast<int16_t>(-a) : a;
    }
}

void EncodeVeluneBlock(VeluneChannelState& state, const int16_t* samples,
                       VeluneBlockParameters* out) {
    int16_t s[kVeluneBlockSamples];
    Preprocess(state, samples, s);

    int32_t L_ACF[kVeluneLarCount + 1];
    Autocorrelation(s, L_ACF);

    int16_t r[kVeluneLarCount];
    ReflectionFromCorrelation(L_ACF, r);
    CodeLogAreaRatios(r, out->larc);

    int16_t rp[kVeluneLarCount];
    VeluneReflectionCoefficients(out->larc, rp);

    int16_t d[kVeluneBlockSamples];
    ShortTermAnalysis(state, rp, s, d);

    for (int j = 0; j < kVeluneSubFrames; ++j) {
        CodeSubFrame(d + j * kVeluneSubFrameSamples, &out->sub[j]);
    }
}
