#pragma once
// The three kinds of frame source through which readers and encoders hand one output
// stream's frames, with their times, to the run loop and the reports.
#include <cstdint>

namespace Korva {
class StreamVideo;
class StreamAudio;
class StreamTimeline;
struct TimelineHeader;
struct TimelineEntry;
}  // namespace Korva

class CVideoGrabber {
public:
    virtual ~CVideoGrabber() = default;
    // The output descriptor; a Korva::StreamVideoWithLayout for AVI input.
    virtual Korva::StreamVideo* GetStream() = 0;
    // Frames handed out so far; the frame just grabbed has index GetFrameIndex() - 1.
    virtual int32_t GetFrameIndex() = 0;
    // The next frame's bytes, valid until the next GrabFrame; null when there are no more.
    // frameType 0 is a key frame. time is in microseconds.
    virtual const uint8_t* GrabFrame(uint32_t* size, uint32_t* frameType, int64_t* time) = 0;
};

class CAudioGrabber {
public:
    virtual ~CAudioGrabber() = default;
    // Granularity of requests, in samples per channel.
    virtual uint32_t GetBlockSize() = 0;
    virtual Korva::StreamAudio* GetStream() = 0;
    // Samples per channel released so far.
    virtual int64_t GetSamplePosition() = 0;
    // `*samples` in: wanted samples per channel; out: delivered. Returns null when nothing
    // is delivered. The data stay valid until ReleaseSamples or the next GrabSamples.
    virtual const uint8_t* GrabSamples(uint32_t* samples, uint32_t* size, int64_t* time) = 0;
    virtual void ReleaseSamples(uint32_t size) = 0;

    // Samples per channel from the current position up to one microsecond before
    // `videoEnd`, rounded to the nearest whole block; 0 when the audio is already there.
    uint32_t SamplesUntil(int64_t videoEnd);
};

class CTimelineGrabber {
public:
    virtual ~CTimelineGrabber() = default;
    virtual Korva::StreamTimeline* GetStream() = 0;
    virtual Korva::TimelineHeader* GetHeader() = 0;
    virtual uint32_t GetEntryCount() = 0;
    virtual Korva::TimelineEntry* GetEntries() = 0;
    // The whole payload: header then entries, little-endian.
    virtual const uint8_t* GetData() = 0;
    virtual uint32_t GetDataSize() = 0;
};
