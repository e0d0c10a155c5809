#pragma once
// The ADTS frames of an AAC file, handed out whole and unchanged, 1024 samples per raw
// data block.
#include <cstdint>
#include <vector>

#include "app/FrameSources.h"

class AdtsFile;
namespace Korva {
class Mux;
}  // namespace Korva

class CAacAudioGrabber : public CAudioGrabber {
public:
    static constexpr uint32_t kBlockSize = 1024;

    CAacAudioGrabber() = default;
    ~CAacAudioGrabber() override = default;

    uint32_t GetBlockSize() override { return kBlockSize; }
    Korva::StreamAudio* GetStream() override { return descriptor_; }
    int64_t GetSamplePosition() override { return released_; }
    // Whole frames until at least the wanted count is reached, so up to 4095 samples
    // more than wanted.
    const uint8_t* GrabSamples(uint32_t* samples, uint32_t* size, int64_t* time) override;
    // Releases everything the last GrabSamples delivered; `size` is not used.
    void ReleaseSamples(uint32_t size) override;

    // Accepts AAC LC with a known sample rate and channel configuration, creates the
    // output audio descriptor (codec AAC) through `mux` and fills it. `source` must hold
    // its first frame already (AacInputFile::Open reads it) and outlive the grabber.
    bool Init(AdtsFile* source, int32_t outputIndex, Korva::Mux* mux);

private:
    Korva::StreamAudio* descriptor_ = nullptr;
    AdtsFile* source_ = nullptr;
    std::vector<uint8_t> frames_;
    uint32_t delivered_ = 0;
    int64_t released_ = 0;
};
