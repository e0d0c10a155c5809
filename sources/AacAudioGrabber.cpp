#include "sources/AacAudioGrabber.h"

#include <algorithm>

#include "korva/Mux.h"
#include "korva/ResultCodes.h"
#include "korva/StreamDescriptors.h"
#include "sources/AdtsFile.h"
#include "sources/MediaTime.h"

namespace {
constexpr uint32_t kStreamTypeAudio = 2;
constexpr int32_t kCodecAac = 3;
constexpr int32_t kProfileLowComplexity = 1;
}  // namespace

bool CAacAudioGrabber::Init(AdtsFile* source, int32_t outputIndex, Korva::Mux* mux) {
    if (source == nullptr || mux == nullptr || source->GetProfile() != kProfileLowComplexity) {
        return false;
    }
    // A reserved sampling frequency index has no rate to time the frames with, and a
    // channel configuration of 0 has no count the descriptor can carry.
    if (source->GetSampleRate() <= 0 || source->GetChannelCount() <= 0) {
        return false;
    }
    Korva::Stream* created = nullptr;
    if (mux->AddStream(kStreamTypeAudio, &created) != Korva::kResultOk) {
        return false;
    }
    auto* descriptor = dynamic_cast<Korva::StreamAudio*>(created);
    if (descriptor == nullptr) {
        return false;
    }
    descriptor_ = descriptor;
    source_ = source;
    released_ = 0;
    delivered_ = 0;
    frames_.clear();
    descriptor->codec = kCodecAac;
    descriptor->channels = static_cast<uint32_t>(source->GetChannelCount());
    descriptor->frequency = static_cast<uint32_t>(source->GetSampleRate());
    descriptor->index = outputIndex;
    return true;
}

const uint8_t* CAacAudioGrabber::GrabSamples(uint32_t* samples, uint32_t* size, int64_t* time) {
    // Whole frames may overshoot by 4095 samples; the count must still fit.
    uint32_t wanted = std::min<uint32_t>(*samples, 0xFFFFFFFFu - 4 * AdtsFile::kSamplesPerBlock);
    uint64_t delivered = 0;
    if (source_ != nullptr) {
        while (delivered < wanted && source_->GetState() == AdtsFile::kGood) {
            const uint8_t* frame = source_->GetFrameBytes();
            frames_.insert(frames_.end(), frame, frame + source_->GetFrameSize());
            delivered += static_cast<uint64_t>(source_->GetBlockCount()) * AdtsFile::kSamplesPerBlock;
            source_->ReadFrame();  // read ahead; a failure ends the stream next time round
        }
    }
    delivered_ = static_cast<uint32_t>(delivered);
    *samples = delivered_;
    *time = descriptor_ != nullptr ? MediaTime::SampleTime(released_, descriptor_->frequency) : 0;
    *size = static_cast<uint32_t>(frames_.size());
    return delivered_ > 0 ? frames_.data() : nullptr;
}

void CAacAudioGrabber::ReleaseSamples(uint32_t /*size*/) {
    released_ += delivered_;
    delivered_ = 0;
    frames_.clear();
}

