#include "sources/TimelineGrabbers.h"

#include <bit>
#include <cstddef>
#include <new>

#include "korva/Mux.h"
#include "korva/ResultCodes.h"
#include "korva/StreamDescriptors.h"
#include "korva/Timeline.h"
#include "sources/AviFile.h"
#include "sources/MediaTime.h"

// The payload is handed out as the objects' own bytes.
static_assert(std::endian::native == std::endian::little);
static_assert(sizeof(Korva::TimelineHeader) == Korva::kTimelineHeaderSize);
static_assert(sizeof(Korva::TimelineEntry) == Korva::kTimelineEntrySize);
static_assert(offsetof(Korva::TimelineHeader, duration) == Korva::timeline_layout::kDuration);
static_assert(offsetof(Korva::TimelineEntry, time) == Korva::timeline_layout::kTime);
static_assert(offsetof(Korva::TimelineEntry, position) == Korva::timeline_layout::kPosition);

namespace {
constexpr uint32_t kStreamTypeTimeline = 4;

bool IsInterleavedStereo(int32_t layout) {
    return layout == 0 || layout == 1;
}
}  // namespace

bool CTimelinePayloadGrabber::Create(Korva::Mux* mux, int32_t outputIndex, int32_t refIndex,
                                     uint32_t entryCount) {
    uint64_t size = Korva::TimelinePayloadSize(entryCount);
    if (mux == nullptr || size > 0xFFFFFFFFu) {
        return false;
    }
    Korva::Stream* created = nullptr;
    if (mux->AddStream(kStreamTypeTimeline, &created) != Korva::kResultOk) {
        return false;
    }
    auto* descriptor = dynamic_cast<Korva::StreamTimeline*>(created);
    if (descriptor == nullptr) {
        return false;
    }
    descriptor->index = outputIndex;
    descriptor->refIndex = refIndex;
    descriptor_ = descriptor;
    // new[] of unsigned char is aligned for any object that fits in it.
    payload_ = std::make_unique<unsigned char[]>(size);
    payloadSize_ = static_cast<uint32_t>(size);
    new (payload_.get()) Korva::TimelineHeader();
    for (uint32_t i = 0; i < entryCount; ++i) {
        new (payload_.get() + Korva::kTimelineHeaderSize + Korva::kTimelineEntrySize * i)
            Korva::TimelineEntry();
    }
    return true;
}

Korva::TimelineHeader* CTimelinePayloadGrabber::GetHeader() {
    return payload_ ? std::launder(reinterpret_cast<Korva::TimelineHeader*>(payload_.get()))
                    : nullptr;
}

uint32_t CTimelinePayloadGrabber::GetEntryCount() {
    return payloadSize_ < Korva::kTimelineHeaderSize
               ? 0
               : (payloadSize_ - Korva::kTimelineHeaderSize) / Korva::kTimelineEntrySize;
}

Korva::TimelineEntry* CTimelinePayloadGrabber::GetEntries() {
    return payload_ ? std::launder(reinterpret_cast<Korva::TimelineEntry*>(
                          payload_.get() + Korva::kTimelineHeaderSize))
                    : nullptr;
}

bool CAviTimelineGrabber::Init(CAviFile* file, uint32_t videoIndex,
                               Korva::StreamVideoWithLayout* video, int32_t outputIndex,
                               Korva::Mux* mux) {
    if (file == nullptr || video == nullptr || videoIndex >= file->VideoStreamCount()) {
        return false;
    }
    const AviStreamHeader& header = file->VideoHeaders()[videoIndex];
    if (header.rate == 0) {
        return false;
    }
    uint32_t frames = file->VideoFrameCount(videoIndex);
    uint32_t keys = file->VideoKeyFrameCount(videoIndex);
    if (!Create(mux, outputIndex, video->index, keys)) {
        return false;
    }
    // d frames share one time step: both eyes of a frame-interleaved stereo pair.
    uint64_t d = IsInterleavedStereo(video->layout) ? 2 : 1;
    auto timeOf = [&](uint32_t frame) {
        return MediaTime::MulDiv(frame / d * header.scale, 1000000 * d, header.rate);
    };
    Korva::TimelineHeader* table = GetHeader();
    table->entryCount = keys;
    table->frameCount = frames;
    table->duration = static_cast<int64_t>(timeOf(frames));
    Korva::TimelineEntry* entries = GetEntries();
    uint32_t next = 0;
    for (uint32_t i = 0; i < frames && next < keys; ++i) {
        if (file->IsVideoKeyFrame(videoIndex, i)) {
            entries[next].frameIndex = static_cast<int32_t>(i);
            entries[next].time = static_cast<int64_t>(timeOf(i) + 1);
            entries[next].position = 0;
            ++next;
        }
    }
    return true;
}

bool CAviTimelineGrabber::Init(Korva::StreamAudio* audio, int32_t outputIndex, Korva::Mux* mux) {
    return audio != nullptr && Create(mux, outputIndex, audio->index, 0);
}

bool CExternalAudioTimelineGrabber::Init(Korva::StreamAudio* audio, int32_t outputIndex,
                                         Korva::Mux* mux) {
    return audio != nullptr && Create(mux, outputIndex, audio->index, 0);
}
