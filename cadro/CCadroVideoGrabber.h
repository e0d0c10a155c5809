#pragma once
// The frames of one video stream of a Cadro input file, with the times and frame types
// the demuxer reassembled.
#include <cstdint>
#include <vector>

#include "app/FrameSources.h"

class CadroDemuxer;
namespace Korva {
struct FrameRecord;
class Stream;
}

class CCadroVideoGrabber final : public CVideoGrabber {
public:
    // Takes the video stream at `position` of the demuxer's stream table and gives its
    // descriptor the stream index `index`. False when there is no video stream there.
    bool Init(CadroDemuxer* demuxer, int32_t position, int32_t index);

    Korva::StreamVideo* GetStream() override;
    int32_t GetFrameIndex() override { return framesHandedOut_; }
    // The next complete frame; null at the end of the stream, or when the demuxer stops
    // with any code but 0 (size then 0).
    const uint8_t* GrabFrame(uint32_t* size, uint32_t* frameType, int64_t* time) override;
    // The next complete frame without copying its bytes (it need not have any, see
    // CadroDemuxer::KeepMediaPayloads): its size only. False where GrabFrame gives null.
    bool SkipFrame(uint32_t* size);

private:
    // The next frame off the stream's queue, its bytes into `*frame` unless null.
    bool Take(std::vector<uint8_t>* frame, Korva::FrameRecord* record, uint32_t* size);

    Korva::Stream* descriptor_ = nullptr;
    CadroDemuxer* demuxer_ = nullptr;
    int32_t position_ = 0;
    int32_t framesHandedOut_ = 0;
    std::vector<uint8_t> frame_;
};
