#pragma once
// The payload of a timeline frame: a header, then one entry per key frame of the indexed
// stream, all little-endian.
#include <cstdint>

#include "korva/ByteOrder.h"

namespace Korva {

struct TimelineHeader {
    uint32_t entryCount = 0;  // key frames of the indexed video stream; 0 for audio
    uint32_t frameCount = 0;  // frames of the indexed stream
    int64_t duration = 0;     // of the indexed stream, microseconds
};

struct TimelineEntry {
    int32_t frameIndex = 0;  // 0-based frame number of the key frame
    uint32_t reserved = 0;   // always 0
    int64_t time = 0;        // the time the frame is muxed with, microseconds
    int64_t position = 0;    // file offset of the packet beginning its synchro block
};

inline constexpr uint32_t kTimelineHeaderSize = 16;
inline constexpr uint32_t kTimelineEntrySize = 24;

namespace timeline_layout {
inline constexpr uint32_t kEntryCount = 0;
inline constexpr uint32_t kFrameCount = 4;
inline constexpr uint32_t kDuration = 8;
inline constexpr uint32_t kFrameIndex = 0;
inline constexpr uint32_t kReserved = 4;
inline constexpr uint32_t kTime = 8;
inline constexpr uint32_t kPosition = 16;
}  // namespace timeline_layout

// Payload bytes of a timeline with `entryCount` entries.
inline constexpr uint64_t TimelinePayloadSize(uint32_t entryCount) {
    return kTimelineHeaderSize + static_cast<uint64_t>(kTimelineEntrySize) * entryCount;
}

inline void StoreTimelineHeader(const TimelineHeader& h, uint8_t* out) {
    using namespace timeline_layout;
    StoreLE32(out + kEntryCount, h.entryCount);
    StoreLE32(out + kFrameCount, h.frameCount);
    StoreLE64(out + kDuration, static_cast<uint64_t>(h.duration));
}

inline TimelineHeader LoadTimelineHeader(const uint8_t* in) {
    using namespace timeline_layout;
    TimelineHeader h;
    h.entryCount = LoadLE32(in + kEntryCount);
    h.frameCount = LoadLE32(in + kFrameCount);
    h.duration = static_cast<int64_t>(LoadLE64(in + kDuration));
    return h;
}

inline void StoreTimelineEntry(const TimelineEntry& e, uint8_t* out) {
    using namespace timeline_layout;
    StoreLE32(out + kFrameIndex, static_cast<uint32_t>(e.frameIndex));
    StoreLE32(out + kReserved, 0);
    StoreLE64(out + kTime, static_cast<uint64_t>(e.time));
    StoreLE64(out + kPosition, static_cast<uint64_t>(e.position));
}

inline TimelineEntry LoadTimelineEntry(const uint8_t* in) {
    using namespace timeline_layout;
    TimelineEntry e;
    e.frameIndex = static_cast<int32_t>(LoadLE32(in + kFrameIndex));
    e.reserved = LoadLE32(in + kReserved);
    e.time = static_cast<int64_t>(LoadLE64(in + kTime));
    e.position = static_cast<int64_t>(LoadLE64(in + kPosition));
    return e;
}

// Writes the whole payload (header, then `header.entryCount` entries) into `out`, which
// has room for TimelinePayloadSize(header.entryCount) bytes.
inline void StoreTimeline(const TimelineHeader& header, const TimelineEntry* entries,
                          uint8_t* out) {
    StoreTimelineHeader(header, out);
    for (uint32_t i = 0; i < header.entryCount; ++i) {
        StoreTimelineEntry(entries[i], out + kTimelineHeaderSize + kTimelineEntrySize * i);
    }
}

}  // namespace Korva
