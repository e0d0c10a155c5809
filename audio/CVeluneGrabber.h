#pragma once
// Encodes the PCM 16 output of an audio source to Velune: every 256 samples of a channel
// become one 40-byte block. A frame holds B groups of blocks, one block per channel in
// each group (block-major), so a frame carries 256 * B samples per channel.
#include <cstdint>
#include <memory>
#include <vector>

#include "app/FrameSources.h"
#include "audio/PcmBlockReader.h"
#include "audio/VeluneBlockCoder.h"

class CVeluneGrabber final : public CAudioGrabber {
public:
    static constexpr uint32_t kMaxChannels = 2;

    CVeluneGrabber() = default;
    ~CVeluneGrabber() override = default;

    uint32_t GetBlockSize() override { return kVeluneBlockSamples; }
    Korva::StreamAudio* GetStream() override;
    int64_t GetSamplePosition() override;
    const uint8_t* GrabSamples(uint32_t* samples, uint32_t* size, int64_t* time) override;
    // The encoder releases its source itself inside GrabSamples.
    void ReleaseSamples(uint32_t) override {}

    // Fails, leaving `source` with the caller, unless the source delivers PCM 16 in mono
    // or stereo. On success takes ownership of `source`, declares the shared descriptor as
    // Velune and starts every channel from a zeroed state.
    bool Init(CAudioGrabber* source);

private:
    std::unique_ptr<CAudioGrabber> source_;
    std::vector<uint8_t> output_;
    PcmBlockReader reader_;
    std::unique_ptr<VeluneChannelState> states_[kMaxChannels];
    uint32_t channels_ = 0;
};
