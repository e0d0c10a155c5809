#pragma once
// PCM 16 samples of one audio stream of an AVI file, in blocks of any requested length.
#include <cstdint>

#include "app/FrameSources.h"
#include "sources/PcmSampleBuffer.h"

class CAviFile;
namespace Korva {
class Mux;
}  // namespace Korva

class CAviAudioGrabber : public CAudioGrabber {
public:
    static constexpr uint32_t kBlockSize = 256;

    CAviAudioGrabber() = default;
    ~CAviAudioGrabber() override = default;

    uint32_t GetBlockSize() override { return kBlockSize; }
    Korva::StreamAudio* GetStream() override { return descriptor_; }
    int64_t GetSamplePosition() override { return samplePosition_; }
    // At most the wanted count; fewer at the end of the stream. The samples stay until
    // released, so a second call without a release delivers them again.
    const uint8_t* GrabSamples(uint32_t* samples, uint32_t* size, int64_t* time) override;
    void ReleaseSamples(uint32_t size) override;

    // Accepts PCM 16 mono or stereo at a rate above 0, creates the output audio
    // descriptor through `mux` and fills it. `file` must outlive the grabber.
    bool Init(CAviFile* file, uint32_t audioIndex, int32_t outputIndex, Korva::Mux* mux);

private:
    Korva::StreamAudio* descriptor_ = nullptr;
    CAviFile* file_ = nullptr;
    uint32_t audioIndex_ = 0;
    int64_t samplePosition_ = 0;
    PcmSampleBuffer buffer_;
};
