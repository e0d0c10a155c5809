#include "cadro/CCadroAudioGrabber.h"

#include "cadro/CadroDemuxer.h"
#include "korva/StreamDescriptors.h"
#include "korva/FrameRecord.h"

bool CCadroAudioGrabber::Init(CadroDemuxer* demuxer, int32_t position, int32_t index) {
    if (demuxer == nullptr || position < 0 ||
        static_cast<uint32_t>(position) >= demuxer->GetStreamCount()) {
        return false;
    }
    Korva::Stream* stream = demuxer->GetStreamAt(static_cast<uint32_t>(position));
    if (stream == nullptr || stream->type != Korva::kTypeAudio) return false;
    demuxer_ = demuxer;
    position_ = position;
    descriptor_ = stream;
    descriptor_->index = index;
    samplePosition_ = 0;
    return true;
}

Korva::StreamAudio* CCadroAudioGrabber::GetStream() {
    return static_cast<Korva::StreamAudio*>(descriptor_);
}

bool CCadroAudioGrabber::Take(std::vector<uint8_t>* frame, Korva::FrameRecord* record,
                              uint32_t* size) {
    if (demuxer_ == nullptr) return false;
    uint32_t code = 0;
    Korva::Stream* stream = demuxer_->TakeFrame(static_cast<uint32_t>(position_),
                                                Korva::kTypeAudio, Korva::kTypeAudio, frame,
                                                record, &code);
    if (stream == nullptr) {
        if (code != 0) *size = 0;
        return false;
    }
    descriptor_ = stream;
    *size = record->size;
    return true;
}

const uint8_t* CCadroAudioGrabber::GrabSamples(uint32_t*, uint32_t* size, int64_t* time) {
    Korva::FrameRecord record;
    if (!Take(&frame_, &record, size)) return nullptr;
    *time = record.time;
    return frame_.data();
}

bool CCadroAudioGrabber::SkipFrame(uint32_t* size) {
    Korva::FrameRecord record;
    return Take(nullptr, &record, size);
}
