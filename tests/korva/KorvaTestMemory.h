#pragma once
// A Korva::Memory for tests: the heap, with allocations that can be made to fail and a
// Fatal that records its message and returns (as the library must cope with).
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "korva/Memory.h"

class KorvaTestMemory final : public Korva::Memory {
public:
    ~KorvaTestMemory() = default;

    void* Alloc(uint32_t size) override {
        ++allocs;
        if (failAllocsAbove != 0 && size > failAllocsAbove) return nullptr;
        if (failAll) return nullptr;
        void* block = std::malloc(size == 0 ? 1 : size);
        live.insert(block);
        return block;
    }
    void Free(void* block) override {
        if (block == nullptr) return;
        live.erase(block);
        std::free(block);
    }
    void Fatal(const char* format, ...) override {
        char text[256];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        fatalMessages += text;
        ++fatalCount;
    }

    bool failAll = false;
    uint32_t failAllocsAbove = 0;  // 0: no limit
    int allocs = 0;
    int fatalCount = 0;
    std::string fatalMessages;
    std::set<void*> live;  // blocks not yet returned
};
