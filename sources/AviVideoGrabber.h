#pragma once
// The frames of one Tarsic video stream of an AVI file.
#include <cstdint>

#include "app/FrameSources.h"

class CAviFile;
namespace Korva {
class Mux;
class StreamVideoWithLayout;
}  // namespace Korva

class CAviVideoGrabber : public CVideoGrabber {
public:
    CAviVideoGrabber() = default;
    ~CAviVideoGrabber() override = default;

    Korva::StreamVideo* GetStream() override;
    int32_t GetFrameIndex() override { return frameCounter_; }
    // The chunk in place, without its first 4 bytes; a chunk shorter than that is an
    // empty frame.
    const uint8_t* GrabFrame(uint32_t* size, uint32_t* frameType, int64_t* time) override;

    // Accepts the stream by its handler code, creates its output descriptor (video with
    // layout) through `mux` and fills it. False when the handler is not a Tarsic one, the
    // stream has no usable rate, or the muxer refuses the stream. `file` must outlive the
    // grabber.
    bool Init(CAviFile* file, uint32_t videoIndex, int32_t layout, int32_t rotation,
              uint8_t pixelNum, uint8_t pixelDen, int32_t outputIndex, Korva::Mux* mux);

    Korva::StreamVideoWithLayout* GetDescriptor() const { return descriptor_; }

private:
    CAviFile* file_ = nullptr;
    uint32_t videoIndex_ = 0;
    int32_t frameCounter_ = 0;
    Korva::StreamVideoWithLayout* descriptor_ = nullptr;
    // Whether a chunk of this stream has been handed out; before that, a chunk already
    // queued by another stream's walk is the first frame, not one to drop.
    bool started_ = false;
};
