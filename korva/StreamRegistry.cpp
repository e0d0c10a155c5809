#include "korva/StreamRegistry.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "korva/Memory.h"

namespace Korva {

namespace {

template <typename T>
Stream* Allocate(Memory* memory, uint32_t type, uint32_t size, StreamAttachment* extra) {
    void* block = memory->Alloc(sizeof(T));
    if (block == nullptr) return nullptr;
    T* stream = new (block) T();
    stream->memory = memory;
    stream->extra = extra;
    stream->index = -1;
    stream->type = type;
    stream->size = size;
    return stream;
}

}  // namespace

Stream* CreateVideoStream(Memory* memory, StreamAttachment* extra) {
    return Allocate<StreamVideo>(memory, kTypeVideo, kSizeVideo, extra);
}

Stream* CreateVideoWithLayoutStream(Memory* memory, StreamAttachment* extra) {
    return Allocate<StreamVideoWithLayout>(memory, kTypeVideoWithLayout, kSizeVideoWithLayout,
                                           extra);
}

Stream* CreateAudioStream(Memory* memory, StreamAttachment* extra) {
    return Allocate<StreamAudio>(memory, kTypeAudio, kSizeAudio, extra);
}

Stream* CreateTimelineStream(Memory* memory, StreamAttachment* extra) {
    return Allocate<StreamTimeline>(memory, kTypeTimeline, kSizeTimeline, extra);
}

StreamRegistry::StreamRegistry() {
    Register(kTypeVideo, true, CreateVideoStream);
    Register(kTypeVideoWithLayout, true, CreateVideoWithLayoutStream);
    Register(kTypeAudio, true, CreateAudioStream);
    Register(kTypeTimeline, true, CreateTimelineStream);
}

StreamRegistry::~StreamRegistry() { std::free(entries_); }

bool StreamRegistry::Register(uint32_t type, bool assignsIndex, StreamFactory factory) {
    uint32_t at = 0;
    while (at < count_ && entries_[at].type < type) ++at;
    if (at < count_ && entries_[at].type == type) {
        entries_[at] = {type, assignsIndex, factory};
        return true;
    }
    if (count_ == capacity_) {
        const uint32_t grown = capacity_ == 0 ? 4 : capacity_ * 2;
        void* block = std::realloc(entries_, grown * sizeof(StreamTypeEntry));
        if (block == nullptr) return false;
        entries_ = static_cast<StreamTypeEntry*>(block);
        capacity_ = grown;
    }
    std::memmove(entries_ + at + 1, entries_ + at, (count_ - at) * sizeof(StreamTypeEntry));
    entries_[at] = {type, assignsIndex, factory};
    ++count_;
    return true;
}

const StreamTypeEntry* StreamRegistry::Find(uint32_t type) const {
    uint32_t low = 0;
    uint32_t high = count_;
    while (low < high) {
        const uint32_t mid = low + (high - low) / 2;
        if (entries_[mid].type < type) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    return low < count_ && entries_[low].type == type ? entries_ + low : nullptr;
}

Stream* StreamRegistry::Create(uint32_t type, Memory* memory, StreamAttachment* extra) const {
    const StreamTypeEntry* entry = Find(type);
    return entry != nullptr ? entry->factory(memory, extra) : nullptr;
}

}  // namespace Korva
