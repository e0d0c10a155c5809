#pragma once
// The PCM 16 samples of a WAV file, in blocks of any requested length.
#include <cstdint>

#include "app/FrameSources.h"
#include "sources/PcmSampleBuffer.h"

class WavReader;
namespace Korva {
class Mux;
}  // namespace Korva

class CWavAudioGrabber : public CAudioGrabber {
public:
    static constexpr uint32_t kBlockSize = 256;

    CWavAudioGrabber() = default;
    ~CWavAudioGrabber() override = default;

    uint32_t GetBlockSize() override { return kBlockSize; }
    Korva::StreamAudio* GetStream() override { return descriptor_; }
    int64_t GetSamplePosition() override { return samplePosition_; }
    // At most the wanted count; fewer at the end of the data. The samples stay until
    // released.
    const uint8_t* GrabSamples(uint32_t* samples, uint32_t* size, int64_t* time) override;
    void ReleaseSamples(uint32_t size) override;

    // Accepts PCM 16 mono or stereo (plain or extensible) at a rate above 0, creates the
    // output audio descriptor through `mux` and fills it. `reader` must outlive the
    // grabber.
    bool Init(WavReader* reader, int32_t outputIndex, Korva::Mux* mux);

private:
    Korva::StreamAudio* descriptor_ = nullptr;
    WavReader* reader_ = nullptr;
    PcmSampleBuffer buffer_;
    int64_t samplePosition_ = 0;
};
