#pragma once
// Quantiser and filter tables of the Velune block coder, indexed from 0 for the first
// log-area ratio.
#include <cstdint>

namespace VeluneTables {

inline constexpr int kOrder = 8;
inline constexpr int16_t kA[kOrder] = {20480, 20480, 20480, 20480, 13964, 15360, 8534, 9036};
inline constexpr int16_t kB[kOrder] = {0, 0, 2048, -2560, 94, -1792, -341, -1144};
inline constexpr int16_t kMic[kOrder] = {-32, -32, -16, -16, -8, -8, -4, -4};
inline constexpr int16_t kMac[kOrder] = {31, 31, 15, 15, 7, 7, 3, 3};
inline constexpr int16_t kInvA[kOrder] = {13107, 13107, 13107, 13107,
                                          19223, 17476, 31454, 29708};
// Normalisation factors of the pulse quantiser, by mantissa.
inline constexpr int16_t kNrFac[8] = {29128, 26215, 23832, 21846, 20165, 18725, 17476, 16384};
// Weighting filter taps, centred on the sixth.
inline constexpr int kWeightTaps = 11;
inline constexpr int16_t kH[kWeightTaps] = {-134, -374, 0, 2054, 5741, 8192,
                                            5741, 2054, 0, -374, -134};

}  // namespace VeluneTables
