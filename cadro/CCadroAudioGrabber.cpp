#include "cadro/CCadroAudioGrabber.h"

#include <cstring>

#include "cadro/CadroDemuxer.h"
#include "korva/StreamDescriptors.h"
#include "korva/StreamFrameQueue.h"

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

const uint8_t* CCadroAudioGrabber::GrabSamples(uint32_t*, uint32_t* size, int64_t* time) {
    if (demuxer_ == nullptr) return nullptr;
    uint32_t code = 0;
    Korva::Stream* stream = demuxer_->WaitForFrame(
        static_cast<uint32_t>(position_), Korva::kTypeAudio, Korva::kTypeAudio, &code);
    if (stream == nullptr) {
        if (code != 0) *size = 0;
        return nullptr;
    }
    descriptor_ = stream;
    Korva::StreamFrameQueue* queue = CadroDemuxer::QueueOf(stream);
    const uint8_t* data = nullptr;
    uint32_t frameSize = 0;
    if (!queue->GetFrameData(&data, &frameSize)) return nullptr;
    *size = frameSize;
    *time = queue->PeekFrame()->time;
    frame_.resize(frameSize);
    if (frameSize > 0) std::memcpy(frame_.data(), data, frameSize);
    if (!queue->PopFrame()) return nullptr;
    return frame_.data();
}
