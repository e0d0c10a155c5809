// The exported C entry points of the codec library.
#include <cstring>
#include <type_traits>

#include "wavecodec/DspAdpcmEncoder.h"
#include "wavecodec/DspAdpcmFormat.h"
#include "wavecodec/WaveCodecPxnApi.h"

#ifdef _WIN32
#define WAVECODEC_EXPORT extern "C" __declspec(dllexport)
#else
#define WAVECODEC_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {
// Callers size their buffers in these units.
constexpr uint32_t kBufferGranule = 32;
}  // namespace

WAVECODEC_EXPORT uint32_t getBytesForAdpcmSamples(uint32_t samples) {
    return DspAdpcm::BytesForSamples(samples);
}

WAVECODEC_EXPORT uint32_t getBytesForAdpcmBuffer(uint32_t samples) {
    const uint64_t bytes = DspAdpcm::BytesForSamples(samples);
    const uint64_t rounded = (bytes + kBufferGranule - 1) / kBufferGranule * kBufferGranule;
    return rounded > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(rounded);
}

WAVECODEC_EXPORT void encode(const int16_t* input, uint8_t* out, DspAdpcmCodingInfo* info,
                             uint32_t samples) {
    if (!info) {
        return;
    }
    std::memset(info, 0, sizeof *info);
    if (!input || !out || samples == 0) {
        return;
    }
    DspAdpcm::Encode(input, samples, out, info->coef);
    // Every encoding starts from silence: yn1, yn2 and the loop fields stay 0.
    info->predScale = out[0];
}

// The entry points have exactly the pointer types the tool looks them up as.
static_assert(std::is_same_v<decltype(&getBytesForAdpcmSamples), DspAdpcmBytesForSamples>);
static_assert(std::is_same_v<decltype(&getBytesForAdpcmBuffer), DspAdpcmBytesForBuffer>);
static_assert(std::is_same_v<decltype(&encode), DspAdpcmEncode>);
