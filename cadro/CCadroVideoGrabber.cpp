#include "cadro/CCadroVideoGrabber.h"

#include "cadro/CadroDemuxer.h"
#include "korva/StreamDescriptors.h"
#include "korva/FrameRecord.h"

namespace {

bool IsVideo(const Korva::Stream* stream) {
    return stream != nullptr &&
           (stream->type == Korva::kTypeVideo || stream->type == Korva::kTypeVideoWithLayout);
}

}  // namespace

bool CCadroVideoGrabber::Init(CadroDemuxer* demuxer, int32_t position, int32_t index) {
    if (demuxer == nullptr || position < 0 ||
        static_cast<uint32_t>(position) >= demuxer->GetStreamCount()) {
        return false;
    }
    framesHandedOut_ = 0;
    Korva::Stream* stream = demuxer->GetStreamAt(static_cast<uint32_t>(position));
    if (!IsVideo(stream)) return false;
    demuxer_ = demuxer;
    position_ = position;
    descriptor_ = stream;
    descriptor_->index = index;
    return true;
}

Korva::StreamVideo* CCadroVideoGrabber::GetStream() {
    return static_cast<Korva::StreamVideo*>(descriptor_);
}

bool CCadroVideoGrabber::Take(std::vector<uint8_t>* frame, Korva::FrameRecord* record,
                              uint32_t* size) {
    if (demuxer_ == nullptr) return false;
    uint32_t code = 0;
    Korva::Stream* stream =
        demuxer_->TakeFrame(static_cast<uint32_t>(position_), Korva::kTypeVideo,
                            Korva::kTypeVideoWithLayout, frame, record, &code);
    if (stream == nullptr) {
        if (code != 0) *size = 0;
        return false;
    }
    descriptor_ = stream;
    *size = record->size;
    ++framesHandedOut_;
    return true;
}

const uint8_t* CCadroVideoGrabber::GrabFrame(uint32_t* size, uint32_t* frameType,
                                             int64_t* time) {
    Korva::FrameRecord record;
    if (!Take(&frame_, &record, size)) return nullptr;
    *time = record.time;
    *frameType = record.frameType;
    return frame_.data();
}

bool CCadroVideoGrabber::SkipFrame(uint32_t* size) {
    Korva::FrameRecord record;
    return Take(nullptr, &record, size);
}
