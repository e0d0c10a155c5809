#pragma once
// The frames of one audio stream of a Cadro input file, one stored frame per request.
#include <cstdint>
#include <vector>

#include "app/FrameSources.h"

class CadroDemuxer;
namespace Korva {
struct FrameRecord;
class Stream;
}

class CCadroAudioGrabber final : public CAudioGrabber {
public:
    static constexpr uint32_t kBlockSize = 256;

    // Takes the audio stream at `position` of the demuxer's stream table and gives its
    // descriptor the stream index `index`. False when there is no audio stream there.
    bool Init(CadroDemuxer* demuxer, int32_t position, int32_t index);

    uint32_t GetBlockSize() override { return kBlockSize; }
    Korva::StreamAudio* GetStream() override;
    // Frames are not counted in samples here: always 0.
    int64_t GetSamplePosition() override { return samplePosition_; }
    // The next complete frame, whatever `*samples` asks for (it is left alone); null at
    // the end of the stream, or when the demuxer stops with any code but 0 (size then 0).
    const uint8_t* GrabSamples(uint32_t* samples, uint32_t* size, int64_t* time) override;
    void ReleaseSamples(uint32_t) override {}
    // The next complete frame without copying its bytes (it need not have any, see
    // CadroDemuxer::KeepMediaPayloads): its size only. False where GrabSamples gives null.
    bool SkipFrame(uint32_t* size);

private:
    // The next frame off the stream's queue, its bytes into `*frame` unless null.
    bool Take(std::vector<uint8_t>* frame, Korva::FrameRecord* record, uint32_t* size);

    Korva::Stream* descriptor_ = nullptr;
    CadroDemuxer* demuxer_ = nullptr;
    int32_t position_ = 0;
    int64_t samplePosition_ = 0;
    std::vector<uint8_t> frame_;
};
