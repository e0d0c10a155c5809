#pragma once
// The audio the PCM grabbers accept, and the descriptor they describe it with.
#include <cstdint>

#include "sources/WaveFormat.h"

namespace Korva {
class Mux;
class StreamAudio;
}  // namespace Korva

namespace PcmFormat {

// 16-bit samples, one or two channels, a rate above 0. `allowExtensible` also takes an
// extensible record whose sub-format is PCM.
bool IsAccepted(const WaveFormat& format, bool allowExtensible);

// Creates an audio descriptor (codec PCM 16) through `mux` and fills it; null when the
// muxer refuses.
Korva::StreamAudio* CreateDescriptor(Korva::Mux* mux, const WaveFormat& format,
                                     int32_t outputIndex);

// Largest sample count per channel whose byte size fits in 32 bits.
inline uint32_t MaxSamples(uint32_t channels) {
    return 0xFFFFFFFFu / (2 * channels);
}

}  // namespace PcmFormat
