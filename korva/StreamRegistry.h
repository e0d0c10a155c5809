#pragma once
// The stream type registry: which record type codes name a descriptor class, and how to
// create one. Every muxer and demuxer holds its own.
#include <cstdint>

#include "korva/StreamDescriptors.h"

namespace Korva {

// Creates a descriptor from `memory` with `extra` attached (null when muxing); null when
// the memory has no block. Sets memory, extra, index = -1, type and size; the creator
// fills the rest.
using StreamFactory = Stream* (*)(Memory* memory, StreamAttachment* extra);

Stream* CreateVideoStream(Memory* memory, StreamAttachment* extra);
Stream* CreateVideoWithLayoutStream(Memory* memory, StreamAttachment* extra);
Stream* CreateAudioStream(Memory* memory, StreamAttachment* extra);
Stream* CreateTimelineStream(Memory* memory, StreamAttachment* extra);

struct StreamTypeEntry {
    uint32_t type;
    bool assignsIndex;  // the muxer gives descriptors of this type a stream index
    StreamFactory factory;
};

class StreamRegistry {
public:
    // Holds the four descriptor types: video, audio, video with layout, timeline.
    StreamRegistry();
    ~StreamRegistry();
    StreamRegistry(const StreamRegistry&) = delete;
    StreamRegistry& operator=(const StreamRegistry&) = delete;

    // Adds or replaces the entry of `type`. The registry's own storage comes from the
    // run-time heap; when it cannot grow the entry is missing and false is returned.
    bool Register(uint32_t type, bool assignsIndex, StreamFactory factory);
    // Null when the type is not registered.
    const StreamTypeEntry* Find(uint32_t type) const;
    uint32_t Count() const { return count_; }

    // A new descriptor of `type`, or null when the type is unknown or allocation failed.
    Stream* Create(uint32_t type, Memory* memory, StreamAttachment* extra) const;

private:
    StreamTypeEntry* entries_ = nullptr;  // sorted by type
    uint32_t count_ = 0;
    uint32_t capacity_ = 0;
};

}  // namespace Korva
