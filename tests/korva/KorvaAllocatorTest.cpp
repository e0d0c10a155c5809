#include "korva/KorvaAllocator.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <map>
#include <vector>

#include "tests/korva/KorvaTestMemory.h"

namespace {

TEST(KorvaAllocator, StandardContainersAllocateThroughTheMemory) {
    KorvaTestMemory memory;
    {
        std::vector<uint64_t, Korva::KorvaAllocator<uint64_t>> values{
            Korva::KorvaAllocator<uint64_t>(&memory)};
        for (uint64_t i = 0; i < 100; ++i) values.push_back(i);
        using Map = std::map<int, int, std::less<int>,
                             Korva::KorvaAllocator<std::pair<const int, int>>>;
        Map map{Korva::KorvaAllocator<std::pair<const int, int>>(&memory)};
        map[3] = 4;
        EXPECT_GT(memory.allocs, 1);
        EXPECT_FALSE(memory.live.empty());
    }
    EXPECT_TRUE(memory.live.empty());
}

// Fails every allocation and shows Fatal's message where a death test can see it.
class ExhaustedMemory final : public Korva::Memory {
public:
    void* Alloc(uint32_t) override { return nullptr; }
    void Free(void*) override {}
    void Fatal(const char* format, ...) override {
        va_list args;
        va_start(args, format);
        std::vfprintf(stderr, format, args);
        va_end(args);
        std::fflush(stderr);
    }
};

TEST(KorvaAllocatorDeathTest, ExhaustionReportsTheByteCountAndNeverReturnsNull) {
    ExhaustedMemory memory;
    Korva::KorvaAllocator<uint32_t> allocator(&memory);
    // Fatal returned, and a standard container cannot carry on without the block.
    EXPECT_DEATH(allocator.allocate(25),
                 "Korva::Allocator: not enough memory to allocate 100 bytes !!!");
}

}  // namespace
