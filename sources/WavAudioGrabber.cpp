#include "sources/WavAudioGrabber.h"

#include <algorithm>

#include "korva/StreamDescriptors.h"
#include "sources/MediaTime.h"
#include "sources/PcmFormat.h"
#include "sources/WavReader.h"

bool CWavAudioGrabber::Init(WavReader* reader, int32_t outputIndex, Korva::Mux* mux) {
    if (reader == nullptr || !PcmFormat::IsAccepted(reader->Format(), /*allowExtensible=*/true)) {
        return false;
    }
    Korva::StreamAudio* descriptor =
        PcmFormat::CreateDescriptor(mux, reader->Format(), outputIndex);
    if (descriptor == nullptr) {
        return false;
    }
    descriptor_ = descriptor;
    reader_ = reader;
    samplePosition_ = 0;
    buffer_.Clear();
    return true;
}

const uint8_t* CWavAudioGrabber::GrabSamples(uint32_t* samples, uint32_t* size, int64_t* time) {
    *size = 0;
    if (reader_ == nullptr) {
        *samples = 0;
        return nullptr;
    }
    uint32_t channels = descriptor_->channels;
    uint32_t wanted = std::min(*samples, PcmFormat::MaxSamples(channels));
    uint64_t wantedValues = uint64_t{channels} * wanted;
    while (buffer_.Values() < wantedValues) {
        // Read straight into the sample buffer's free end.
        uint64_t missing = (wantedValues - buffer_.Values()) * 2;
        auto request = static_cast<uint32_t>(std::min<uint64_t>(missing, 0x7FFFFFFE));
        int32_t got = reader_->ReadData(request, buffer_.Reserve(request));
        if (got <= 0) {
            break;
        }
        buffer_.Commit(static_cast<uint64_t>(got));
    }
    if (buffer_.Values() < wantedValues) {
        wanted = static_cast<uint32_t>(buffer_.Values() / channels);
    }
    *samples = wanted;
    *time = MediaTime::SampleTime(samplePosition_, descriptor_->frequency);
    *size = channels * wanted * 2;
    return wanted > 0 ? buffer_.Data() : nullptr;
}

void CWavAudioGrabber::ReleaseSamples(uint32_t size) {
    if (descriptor_ == nullptr) {
        return;
    }
    samplePosition_ += size / (2 * descriptor_->channels);
    buffer_.Release(size);
}
