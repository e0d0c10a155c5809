#include "cadro/CCadroVideoGrabber.h"

#include <cstring>

#include "cadro/CadroDemuxer.h"
#include "korva/StreamDescriptors.h"
#include "korva/StreamFrameQueue.h"

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

const uint8_t* CCadroVideoGrabber::GrabFrame(uint32_t* size, uint32_t* frameType,
                                             int64_t* time) {
    if (demuxer_ == nullptr) return nullptr;
    uint32_t code = 0;
    Korva::Stream* stream = demuxer_->WaitForFrame(
        static_cast<uint32_t>(position_), Korva::kTypeVideo, Korva::kTypeVideoWithLayout, &code);
    if (stream == nullptr) {
        if (code != 0) *size = 0;
        return nullptr;
    }
    descriptor_ = stream;
    Korva::StreamFrameQueue* queue = CadroDemuxer::QueueOf(stream);
    const uint8_t* data = nullptr;
    uint32_t frameSize = 0;
    if (!queue->GetFrameData(&data, &frameSize)) return nullptr;
    const Korva::FrameRecord* record = queue->PeekFrame();
    *size = frameSize;
    *time = record->time;
    *frameType = record->frameType;
    frame_.resize(frameSize);
    if (frameSize > 0) std::memcpy(frame_.data(), data, frameSize);
    if (!queue->PopFrame()) return nullptr;
    ++framesHandedOut_;
    return frame_.data();
}
