#include "cadro/CCadroTimelineGrabber.h"

#include "cadro/CadroDemuxer.h"
#include "korva/StreamDescriptors.h"
#include "korva/StreamFrameQueue.h"

bool CCadroTimelineGrabber::Load(CadroDemuxer* demuxer, int32_t position) {
    if (demuxer == nullptr || position < 0 ||
        static_cast<uint32_t>(position) >= demuxer->GetStreamCount()) {
        return false;
    }
    Korva::Stream* stream = demuxer->GetStreamAt(static_cast<uint32_t>(position));
    if (stream == nullptr || stream->type != Korva::kTypeTimeline ||
        CadroDemuxer::QueueOf(stream) == nullptr) {
        return false;
    }
    uint32_t code = 0;
    stream = demuxer->WaitForFrame(static_cast<uint32_t>(position), Korva::kTypeTimeline,
                                   Korva::kTypeTimeline, &code);
    if (stream == nullptr) return false;
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    if (!CadroDemuxer::QueueOf(stream)->GetFrameData(&data, &size)) return false;
    payload_.assign(data, data + size);
    descriptor_ = stream;

    // The interface hands out records; decode them from the little-endian payload rather
    // than pointing into it, so neither alignment nor a short payload can matter.
    header_ = Korva::TimelineHeader{};
    entries_.clear();
    if (size >= Korva::kTimelineHeaderSize) {
        header_ = Korva::LoadTimelineHeader(data);
        const uint32_t count = (size - Korva::kTimelineHeaderSize) / Korva::kTimelineEntrySize;
        entries_.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            entries_.push_back(Korva::LoadTimelineEntry(data + Korva::kTimelineHeaderSize +
                                                        i * Korva::kTimelineEntrySize));
        }
    }
    return true;
}

Korva::StreamTimeline* CCadroTimelineGrabber::GetStream() {
    return static_cast<Korva::StreamTimeline*>(descriptor_);
}
