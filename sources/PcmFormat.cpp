#include "sources/PcmFormat.h"

#include "korva/Mux.h"
#include "korva/ResultCodes.h"
#include "korva/StreamDescriptors.h"

namespace {
constexpr uint32_t kStreamTypeAudio = 2;
constexpr int32_t kCodecPcm16 = 2;
constexpr uint16_t kBitsPerSample = 16;
}  // namespace

namespace PcmFormat {

bool IsAccepted(const WaveFormat& format, bool allowExtensible) {
    bool pcm = allowExtensible ? format.IsPcm() : format.formatTag == WaveFormat::kTagPcm;
    return pcm && format.bitsPerSample == kBitsPerSample &&
           (format.channels == 1 || format.channels == 2) && format.samplesPerSec > 0;
}

Korva::StreamAudio* CreateDescriptor(Korva::Mux* mux, const WaveFormat& format,
                                     int32_t outputIndex) {
    Korva::Stream* created = nullptr;
    if (mux == nullptr || mux->AddStream(kStreamTypeAudio, &created) != Korva::kResultOk) {
        return nullptr;
    }
    auto* descriptor = dynamic_cast<Korva::StreamAudio*>(created);
    if (descriptor == nullptr) {
        return nullptr;
    }
    descriptor->codec = kCodecPcm16;
    descriptor->channels = format.channels;
    descriptor->frequency = format.samplesPerSec;
    descriptor->index = outputIndex;
    return descriptor;
}

}  // namespace PcmFormat
