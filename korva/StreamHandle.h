#pragma once
// Shared ownership of a stream descriptor. All handles sharing one descriptor form a
// circular list; the last one to go destroys the descriptor and returns its bytes.
#include "korva/Memory.h"
#include "korva/StreamDescriptors.h"

namespace Korva {

class StreamHandle {
public:
    StreamHandle() noexcept = default;
    // Takes ownership of `object` (from `memory`, which may be null to use the object's).
    explicit StreamHandle(Stream* object, Memory* memory = nullptr) noexcept
        : memory_(memory != nullptr || object == nullptr ? memory : object->memory),
          object_(object) {}
    StreamHandle(const StreamHandle& other) noexcept { LinkTo(other); }
    // The moved-to handle takes the other's place in the ring; the other becomes empty.
    StreamHandle(StreamHandle&& other) noexcept { TakePlaceOf(other); }
    StreamHandle& operator=(const StreamHandle& other) noexcept {
        if (this != &other && object_ != other.object_) {
            Release();
            LinkTo(other);
        }
        return *this;
    }
    StreamHandle& operator=(StreamHandle&& other) noexcept {
        if (this != &other) {
            Release();
            TakePlaceOf(other);
        }
        return *this;
    }
    ~StreamHandle() { Release(); }

    Stream* Get() const { return object_; }
    Stream* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    bool IsOnlyOwner() const { return object_ != nullptr && next_ == this; }

    // Lets go of the descriptor, destroying it when this was the last handle.
    void Release() noexcept {
        if (object_ == nullptr) return;
        if (next_ == this) {
            Memory* memory = memory_;
            void* block = dynamic_cast<void*>(object_);
            object_->~Stream();
            memory->Free(block);
        } else {
            next_->prev_ = prev_;
            prev_->next_ = next_;
        }
        memory_ = nullptr;
        object_ = nullptr;
        next_ = prev_ = this;
    }

private:
    void LinkTo(const StreamHandle& other) noexcept {
        memory_ = other.memory_;
        object_ = other.object_;
        if (object_ == nullptr) return;
        StreamHandle* o = const_cast<StreamHandle*>(&other);
        next_ = o->next_;
        prev_ = o;
        o->next_->prev_ = this;
        o->next_ = this;
    }

    void TakePlaceOf(StreamHandle& other) noexcept {
        memory_ = other.memory_;
        object_ = other.object_;
        if (object_ == nullptr) return;
        if (other.next_ == &other) {
            next_ = prev_ = this;
        } else {
            next_ = other.next_;
            prev_ = other.prev_;
            next_->prev_ = this;
            prev_->next_ = this;
        }
        other.memory_ = nullptr;
        other.object_ = nullptr;
        other.next_ = other.prev_ = &other;
    }

    Memory* memory_ = nullptr;
    Stream* object_ = nullptr;
    StreamHandle* next_ = this;
    StreamHandle* prev_ = this;
};

}  // namespace Korva
