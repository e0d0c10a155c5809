#pragma once
// Encodes the PCM 16 output of an audio source to IMA ADPCM frames.
//
// Frame layout (C channels, B blocks of 256 samples per channel):
//   C channel headers of 4 bytes: step index, 0, predictor (int16 little-endian), the
//   channel's state before the frame's first sample;
//   then per block, per channel, 128 bytes of 4-bit codes, earlier sample in the low nibble.
// The state carries over from frame to frame, so each header repeats where decoding of
// the previous frame ended; no sample is stored uncoded.
#include <cstdint>
#include <memory>
#include <vector>

#include "app/FrameSources.h"
#include "audio/ImaAdpcmCoder.h"
#include "audio/PcmBlockReader.h"

class CImaAdpcmGrabber final : public CAudioGrabber {
public:
    static constexpr uint32_t kHeaderBytes = 4;

    CImaAdpcmGrabber() = default;
    ~CImaAdpcmGrabber() override = default;

    uint32_t GetBlockSize() override { return ImaAdpcm::kBlockSamples; }
    Korva::StreamAudio* GetStream() override;
    int64_t GetSamplePosition() override;
    const uint8_t* GrabSamples(uint32_t* samples, uint32_t* size, int64_t* time) override;
    // The encoder releases its source itself inside GrabSamples.
    void ReleaseSamples(uint32_t) override {}

    // Fails, leaving `source` with the caller, unless the source delivers PCM 16 on at
    // least one channel. On success takes ownership of `source` and declares the shared
    // descriptor as IMA ADPCM.
    bool Init(CAudioGrabber* source);

    // Test access: the state the next frame starts from.
    const ImaAdpcm::ChannelState& State(uint32_t channel) const { return states_[channel]; }

private:
    std::unique_ptr<CAudioGrabber> source_;
    std::vector<uint8_t> output_;
    PcmBlockReader reader_;
    std::vector<ImaAdpcm::ChannelState> states_;
};
