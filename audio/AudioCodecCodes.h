#pragma once
// Audio codec identifiers of the stream descriptor.
#include <cstdint>

namespace AudioCodec {
inline constexpr int32_t kVelune = 0;
inline constexpr int32_t kImaAdpcm = 1;
inline constexpr int32_t kPcm16 = 2;
inline constexpr int32_t kAac = 3;
inline constexpr int32_t kDspAdpcm = 4;
}  // namespace AudioCodec
