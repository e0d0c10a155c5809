#pragma once
// The timeline (key-frame index) of a Cadro input file's timeline stream.
#include <cstdint>
#include <vector>

#include "app/FrameSources.h"
#include "korva/Timeline.h"

class CadroDemuxer;
namespace Korva {
class Stream;
}

class CCadroTimelineGrabber final : public CTimelineGrabber {
public:
    // Reads the timeline frame of the timeline stream at `position`, leaving it in the
    // stream's queue. False when there is no timeline stream there or the demuxer stops
    // before the frame is complete.
    bool Load(CadroDemuxer* demuxer, int32_t position);

    Korva::StreamTimeline* GetStream() override;
    // Decoded from the payload; a payload too short for a header reads as zeros.
    Korva::TimelineHeader* GetHeader() override { return &header_; }
    // Whole entries the payload holds.
    uint32_t GetEntryCount() override { return static_cast<uint32_t>(entries_.size()); }
    Korva::TimelineEntry* GetEntries() override { return entries_.data(); }
    const uint8_t* GetData() override { return payload_.data(); }
    uint32_t GetDataSize() override { return static_cast<uint32_t>(payload_.size()); }

private:
    Korva::Stream* descriptor_ = nullptr;
    std::vector<uint8_t> payload_;
    Korva::TimelineHeader header_;
    std::vector<Korva::TimelineEntry> entries_;
};
