#pragma once
// The library's own growable array. Unlike the standard containers it reports a failed
// allocation through its result instead of ending the program, should the memory's
// Fatal return.
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <new>
#include <type_traits>
#include <utility>

#include "korva/Memory.h"

namespace Korva {

// Capacity to grow to from `capacity` when `required` (> capacity) elements must fit.
inline uint32_t KorvaGrowCapacity(uint32_t capacity, uint32_t required) {
    constexpr uint32_t kSmall = 8;
    constexpr uint32_t kSmallCapacity = 16;
    constexpr uint32_t kStep = 1024;
    if (required < kSmall) return kSmallCapacity;
    if (required < kStep) {
        const uint32_t doubled = capacity * 2;
        return required > doubled ? required : doubled;
    }
    const uint64_t rounded = (static_cast<uint64_t>(required) + kStep - 1) / kStep * kStep;
    return rounded > std::numeric_limits<uint32_t>::max() ? required
                                                          : static_cast<uint32_t>(rounded);
}

template <typename T>
class KorvaArray {
public:
    explicit KorvaArray(Memory* memory) : memory_(memory) {}
    ~KorvaArray() {
        Clear();
        memory_->Free(data_);
    }
    KorvaArray(const KorvaArray&) = delete;
    KorvaArray& operator=(const KorvaArray&) = delete;

    Memory* GetMemory() const { return memory_; }
    T* Data() { return data_; }
    const T* Data() const { return data_; }
    uint32_t Count() const { return count_; }
    uint32_t Capacity() const { return capacity_; }
    T& operator[](uint32_t i) { return data_[i]; }
    const T& operator[](uint32_t i) const { return data_[i]; }

    // Makes the capacity at least `n`, allocating exactly `n` elements when it grows.
    bool Reserve(uint32_t n) {
        if (capacity_ >= n) return true;
        T* block = Allocate(n);
        if (block == nullptr) return false;
        Relocate(data_, block, count_);
        memory_->Free(data_);
        data_ = block;
        capacity_ = n;
        return true;
    }

    // Makes room for `n` elements at `position` (0..Count()); the new elements are
    // default-initialized. False leaves the array as it was.
    bool InsertGap(uint32_t position, uint32_t n) {
        if (position > count_) return false;
        if (n > std::numeric_limits<uint32_t>::max() - count_) return false;
        const uint32_t required = count_ + n;
        if (required > capacity_) {
            const uint32_t grown = KorvaGrowCapacity(capacity_, required);
            T* block = Allocate(grown);
            if (block == nullptr) {
                // A larger block than needed may be what failed; try once with exactly
                // what the insertion needs.
                if (grown <= required || !Reserve(required)) return false;
            } else {
                Relocate(data_, block, position);
                Relocate(data_ + position, block + position + n, count_ - position);
                Construct(block + position, n);
                memory_->Free(data_);
                data_ = block;
                capacity_ = grown;
                count_ = required;
                return true;
            }
        }
        // In place, from the back so that no element is overwritten before it moved.
        for (uint32_t i = count_; i > position; --i) {
            RelocateOne(data_ + i - 1, data_ + i - 1 + n);
        }
        Construct(data_ + position, n);
        count_ = required;
        return true;
    }

    bool Append(const T& value) {
        T copy(value);  // `value` may be an element that growth is about to move
        if (!InsertGap(count_, 1)) return false;
        data_[count_ - 1] = std::move(copy);
        return true;
    }

    // Appends copies of `n` elements, which may lie in this array.
    bool Append(const T* values, uint32_t n) {
        static_assert(std::is_trivially_copyable_v<T>);
        const std::less<const T*> before;
        const bool inside = n != 0 && !before(values, data_) && before(values, data_ + count_);
        const size_t offset = inside ? static_cast<size_t>(values - data_) : 0;
        const uint32_t at = count_;
        if (!InsertGap(at, n)) return false;
        if (n != 0) {
            std::memcpy(data_ + at, inside ? data_ + offset : values,
                        static_cast<size_t>(n) * sizeof(T));
        }
        return true;
    }

    // Removes `n` elements at `position`, moving the later ones down.
    void Erase(uint32_t position, uint32_t n) {
        if (position >= count_) return;
        if (n > count_ - position) n = count_ - position;
        for (uint32_t i = position; i < position + n; ++i) data_[i].~T();
        for (uint32_t i = position + n; i < count_; ++i) RelocateOne(data_ + i, data_ + i - n);
        count_ -= n;
    }

    // Destroys the elements; the capacity stays.
    void Clear() {
        for (uint32_t i = 0; i < count_; ++i) data_[i].~T();
        count_ = 0;
    }

private:
    T* Allocate(uint32_t n) {
        const uint64_t bytes = static_cast<uint64_t>(n) * sizeof(T);
        void* block = bytes <= std::numeric_limits<uint32_t>::max()
                          ? memory_->Alloc(static_cast<uint32_t>(bytes))
                          : nullptr;
        if (block == nullptr) {
            memory_->Fatal(kOutOfMemoryFormat, static_cast<int>(bytes));
        }
        return static_cast<T*>(block);
    }

    static void Construct(T* at, uint32_t n) {
        if constexpr (!std::is_trivially_default_constructible_v<T>) {
            for (uint32_t i = 0; i < n; ++i) new (at + i) T();
        }
    }

    // Moves one element into an unconstructed slot and ends the source's life. Moving
    // is what relinks a handle's ring, so handles stay valid across growth.
    static void RelocateOne(T* from, T* to) {
        if constexpr (std::is_trivially_copyable_v<T>) {
            std::memcpy(static_cast<void*>(to), static_cast<const void*>(from), sizeof(T));
        } else {
            new (to) T(std::move(*from));
            from->~T();
        }
    }

    static void Relocate(T* from, T* to, uint32_t n) {
        if (n == 0) return;
        if constexpr (std::is_trivially_copyable_v<T>) {
            std::memcpy(static_cast<void*>(to), static_cast<const void*>(from),
                        static_cast<size_t>(n) * sizeof(T));
        } else {
            for (uint32_t i = 0; i < n; ++i) RelocateOne(from + i, to + i);
        }
    }

    Memory* memory_;
    T* data_ = nullptr;
    uint32_t capacity_ = 0;
    uint32_t count_ = 0;
};

}  // namespace Korva
