#pragma once
// Lets standard containers allocate through a Korva::Memory.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "korva/Memory.h"

namespace Korva {

template <typename T>
class KorvaAllocator {
public:
    using value_type = T;

    explicit KorvaAllocator(Memory* memory) noexcept : memory_(memory) {}
    template <typename U>
    KorvaAllocator(const KorvaAllocator<U>& other) noexcept : memory_(other.GetMemory()) {}

    T* allocate(std::size_t count) {
        const uint64_t bytes = static_cast<uint64_t>(count) * sizeof(T);
        void* block = bytes <= std::numeric_limits<uint32_t>::max()
                          ? memory_->Alloc(static_cast<uint32_t>(bytes))
                          : nullptr;
        if (block == nullptr) {
            memory_->Fatal(kOutOfMemoryFormat, static_cast<int>(bytes));
            // A standard container has no way to carry on without its block, so a memory
            // whose Fatal returns cannot be used here.
            std::abort();
        }
        return static_cast<T*>(block);
    }

    void deallocate(T* block, std::size_t) noexcept { memory_->Free(block); }

    Memory* GetMemory() const noexcept { return memory_; }

    template <typename U>
    bool operator==(const KorvaAllocator<U>& other) const noexcept {
        return memory_ == other.GetMemory();
    }

private:
    Memory* memory_;
};

}  // namespace Korva
