#pragma once
// Timeline streams built from source files: the key-frame table of an AVI video stream,
// or the header an audio timeline starts from (the run loop counts the audio into it).
#include <cstdint>
#include <memory>

#include "app/FrameSources.h"

class CAviFile;
namespace Korva {
class Mux;
class StreamAudio;
class StreamVideoWithLayout;
}  // namespace Korva

// The payload and descriptor both timeline grabbers share. The payload is one
// TimelineHeader followed by its entries, laid out exactly as the stream carries them,
// so the run loop's changes through GetHeader and GetEntries are what GetData hands out.
class CTimelinePayloadGrabber : public CTimelineGrabber {
public:
    Korva::StreamTimeline* GetStream() override { return descriptor_; }
    Korva::TimelineHeader* GetHeader() override;
    uint32_t GetEntryCount() override;
    Korva::TimelineEntry* GetEntries() override;
    const uint8_t* GetData() override { return payload_.get(); }
    uint32_t GetDataSize() override { return payloadSize_; }

protected:
    // Creates the timeline descriptor through `mux` and a zeroed payload with room for
    // `entryCount` entries.
    bool Create(Korva::Mux* mux, int32_t outputIndex, int32_t refIndex, uint32_t entryCount);

private:
    Korva::StreamTimeline* descriptor_ = nullptr;
    std::unique_ptr<unsigned char[]> payload_;
    uint32_t payloadSize_ = 0;
};

class CAviTimelineGrabber : public CTimelinePayloadGrabber {
public:
    // Over a video stream: one entry per key frame of the stream's index, with the times
    // the video grabber gives those frames (pairs of frames share a time in
    // frame-interleaved stereo layouts). `video` is the indexed grabber's descriptor.
    bool Init(CAviFile* file, uint32_t videoIndex, Korva::StreamVideoWithLayout* video,
              int32_t outputIndex, Korva::Mux* mux);
    // Over an audio stream: a header of zeros and no entries.
    bool Init(Korva::StreamAudio* audio, int32_t outputIndex, Korva::Mux* mux);
};

// Over the audio stream of a WAV or AAC file: a header of zeros and no entries.
class CExternalAudioTimelineGrabber : public CTimelinePayloadGrabber {
public:
    bool Init(Korva::StreamAudio* audio, int32_t outputIndex, Korva::Mux* mux);
};
