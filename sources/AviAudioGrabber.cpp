#include "sources/AviAudioGrabber.h"

#include <algorithm>

#include "korva/StreamDescriptors.h"
#include "sources/AviFile.h"
#include "sources/MediaTime.h"
#include "sources/PcmFormat.h"

bool CAviAudioGrabber::Init(CAviFile* file, uint32_t audioIndex, int32_t outputIndex,
                            Korva::Mux* mux) {
    if (file == nullptr || audioIndex >= file->AudioStreamCount()) {
        return false;
    }
    const WaveFormat& format = file->AudioFormats()[audioIndex].format;
    if (!PcmFormat::IsAccepted(format, /*allowExtensible=*/false)) {
        return false;
    }
    Korva::StreamAudio* descriptor = PcmFormat::CreateDescriptor(mux, format, outputIndex);
    if (descriptor == nullptr) {
        return false;
    }
    descriptor_ = descriptor;
    file_ = file;
    audioIndex_ = audioIndex;
    samplePosition_ = 0;
    buffer_.Clear();
    file->AddAudioReader(audioIndex);
    return true;
}

const uint8_t* CAviAudioGrabber::GrabSamples(uint32_t* samples, uint32_t* size, int64_t* time) {
    *size = 0;
    if (file_ == nullptr) {
        *samples = 0;
        return nullptr;
    }
    uint32_t channels = descriptor_->channels;
    uint32_t wanted = std::min(*samples, PcmFormat::MaxSamples(channels));
    uint64_t wantedValues = uint64_t{channels} * wanted;
    while (buffer_.Values() < wantedValues) {
        // The oldest queued chunk is the next one to take; an empty queue (or an empty
        // chunk) needs an advance first.
        uint32_t chunkSize = file_->AudioChunkSize(audioIndex_);
        if (chunkSize == 0) {
            file_->AdvanceAudio(audioIndex_);
            chunkSize = file_->AudioChunkSize(audioIndex_);
        }
        const uint8_t* chunk = file_->AudioChunkData(audioIndex_);
        if (chunk == nullptr) {
            break;  // end of the stream
        }
        buffer_.Append(chunk, chunkSize);
        file_->AdvanceAudio(audioIndex_);
    }
    if (buffer_.Values() < wantedValues) {
        wanted = static_cast<uint32_t>(buffer_.Values() / channels);
    }
    *samples = wanted;
    *time = MediaTime::SampleTime(samplePosition_, descriptor_->frequency);
    *size = channels * wanted * 2;
    return wanted > 0 ? buffer_.Data() : nullptr;
}

void CAviAudioGrabber::ReleaseSamples(uint32_t size) {
    if (descriptor_ == nullptr) {
        return;
    }
    samplePosition_ += size / (2 * descriptor_->channels);
    buffer_.Release(size);
}
