#pragma once
// The one allocator of the container library. Every allocation the library makes goes
// through a Memory, and so does the report of an allocation that could not be satisfied.
#include <cstdint>

namespace Korva {

// printf-style text given to Fatal when an allocation fails; the argument is the byte
// count asked for.
inline constexpr const char kOutOfMemoryFormat[] =
    "Korva::Allocator: not enough memory to allocate %d bytes !!!\n";

class Memory {
public:
    // A block of at least `size` bytes, or null when none can be had.
    virtual void* Alloc(uint32_t size) = 0;
    // Returns a block obtained from Alloc of this same object; null is accepted.
    virtual void Free(void* block) = 0;
    // Unrecoverable condition, printf-style 8-bit text. Implementations used with
    // standard containers (KorvaAllocator) must not return from it; KorvaArray and the
    // descriptor factories cope with a return.
    virtual void Fatal(const char* format, ...) = 0;

protected:
    // Memory objects are owned by value by whoever creates them, never deleted through
    // this base.
    Memory() = default;
    Memory(const Memory&) = default;
    Memory& operator=(const Memory&) = default;
    ~Memory() = default;
};

}  // namespace Korva
