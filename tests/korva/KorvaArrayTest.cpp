#include "korva/KorvaArray.h"

#include <gtest/gtest.h>

#include <string>

#include "korva/StreamHandle.h"
#include "korva/StreamRegistry.h"
#include "tests/korva/KorvaTestMemory.h"

namespace {

TEST(KorvaArray, GrowthRule) {
    const struct {
        uint32_t capacity;
        uint32_t required;
        uint32_t grown;
    } cases[] = {
        {0, 1, 16},       {0, 7, 16},     {16, 17, 32},     {0, 8, 8},
        {100, 101, 200},  {10, 500, 500}, {600, 1100, 2048}, {1000, 1023, 2000},
        {2048, 2049, 3072}, {0, 1024, 1024},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.capacity) + " -> " + std::to_string(c.required));
        EXPECT_EQ(Korva::KorvaGrowCapacity(c.capacity, c.required), c.grown);

        // The array grows the same way.
        KorvaTestMemory memory;
        Korva::KorvaArray<uint8_t> array(&memory);
        ASSERT_TRUE(array.Reserve(c.capacity));
        ASSERT_TRUE(array.InsertGap(0, c.required));
        EXPECT_EQ(array.Capacity(), c.capacity >= c.required ? c.capacity : c.grown);
        EXPECT_EQ(array.Count(), c.required);
    }
}

TEST(KorvaArray, InsertGapKeepsElementsInOrder) {
    KorvaTestMemory memory;
    Korva::KorvaArray<uint32_t> array(&memory);
    for (uint32_t i = 0; i < 10; ++i) ASSERT_TRUE(array.Append(i));
    EXPECT_EQ(array.Capacity(), 16u);
    // In place.
    ASSERT_TRUE(array.InsertGap(3, 2));
    array[3] = 100;
    array[4] = 101;
    // With growth past the capacity.
    ASSERT_TRUE(array.InsertGap(0, 8));
    for (uint32_t i = 0; i < 8; ++i) array[i] = 200 + i;
    ASSERT_EQ(array.Count(), 20u);
    EXPECT_EQ(array.Capacity(), 32u);
    const uint32_t expected[] = {200, 201, 202, 203, 204, 205, 206, 207, 0, 1,
                                 2,   100, 101, 3,   4,   5,   6,   7,   8, 9};
    for (uint32_t i = 0; i < 20; ++i) EXPECT_EQ(array[i], expected[i]) << i;

    // Appending the array's own elements while it grows.
    ASSERT_TRUE(array.Append(array.Data(), 13));
    ASSERT_TRUE(array.Append(array[0]));
    ASSERT_EQ(array.Count(), 34u);
    EXPECT_EQ(array.Capacity(), 64u);
    for (uint32_t i = 0; i < 13; ++i) EXPECT_EQ(array[20 + i], expected[i]) << i;
    EXPECT_EQ(array[33], 200u);
    array.Erase(20, 14);

    array.Erase(8, 5);
    EXPECT_EQ(array.Count(), 15u);
    EXPECT_EQ(array[8], 3u);
    EXPECT_FALSE(array.InsertGap(16, 1));  // past the end
}

TEST(KorvaArray, FailedAllocationReportsTheByteCountAndRetriesWithTheExactCount) {
    KorvaTestMemory memory;
    Korva::KorvaArray<uint64_t> array(&memory);
    for (uint64_t i = 0; i < 16; ++i) ASSERT_TRUE(array.Append(i));
    // Growing to 17 asks for 32 elements; only exactly 17 can be had.
    memory.failAllocsAbove = 17 * sizeof(uint64_t);
    ASSERT_TRUE(array.InsertGap(16, 1));
    EXPECT_EQ(memory.fatalMessages,
              "Korva::Allocator: not enough memory to allocate 256 bytes !!!\n");
    EXPECT_EQ(array.Capacity(), 17u);
    EXPECT_EQ(array.Count(), 17u);
    EXPECT_EQ(array[15], 15u);
}

TEST(KorvaArray, FailureLeavesTheArrayAsItWas) {
    KorvaTestMemory memory;
    Korva::KorvaArray<uint8_t> array(&memory);
    ASSERT_TRUE(array.Append(7));
    const uint8_t* before = array.Data();
    memory.failAll = true;
    // Two reports: the grown capacity, then the exact retry.
    EXPECT_FALSE(array.InsertGap(0, 2000));
    EXPECT_EQ(memory.fatalCount, 2);
    EXPECT_EQ(memory.fatalMessages,
              "Korva::Allocator: not enough memory to allocate 2048 bytes !!!\n"
              "Korva::Allocator: not enough memory to allocate 2001 bytes !!!\n");
    // No larger capacity than needed was asked for: no retry.
    memory.fatalMessages.clear();
    EXPECT_FALSE(array.InsertGap(0, 1024 - 1));
    EXPECT_EQ(memory.fatalMessages,
              "Korva::Allocator: not enough memory to allocate 1024 bytes !!!\n");
    EXPECT_EQ(array.Count(), 1u);
    EXPECT_EQ(array.Capacity(), 16u);
    EXPECT_EQ(array.Data(), before);
    EXPECT_EQ(array[0], 7);
}

TEST(StreamHandle, SharedOwnershipSurvivesArrayGrowth) {
    KorvaTestMemory memory;
    Korva::StreamRegistry registry;
    {
        Korva::KorvaArray<Korva::StreamHandle> handles(&memory);
        Korva::Stream* first = registry.Create(Korva::kTypeAudio, &memory, nullptr);
        ASSERT_TRUE(handles.InsertGap(0, 1));
        handles[0] = Korva::StreamHandle(first);
        // A second handle outside the array shares the descriptor.
        Korva::StreamHandle outside(handles[0]);
        EXPECT_FALSE(outside.IsOnlyOwner());
        // Grow well past the first block; the element is moved and relinked.
        for (int i = 0; i < 40; ++i) {
            ASSERT_TRUE(handles.InsertGap(0, 1));
            handles[0] = Korva::StreamHandle(registry.Create(Korva::kTypeVideo, &memory, nullptr));
        }
        EXPECT_EQ(handles[40].Get(), first);
        // Dropping the array's handle leaves the outside one as the only owner.
        handles.Erase(40, 1);
        EXPECT_TRUE(outside.IsOnlyOwner());
        EXPECT_EQ(outside->type, Korva::kTypeAudio);
        outside.Release();
        EXPECT_EQ(outside.Get(), nullptr);
        // 40 videos and the array's block still live.
        EXPECT_EQ(memory.live.size(), 41u);
    }
    EXPECT_TRUE(memory.live.empty());
}

TEST(StreamHandle, CopiesAndMovesKeepTheRing) {
    KorvaTestMemory memory;
    Korva::StreamRegistry registry;
    {
        Korva::StreamHandle a(registry.Create(Korva::kTypeTimeline, &memory, nullptr));
        Korva::StreamHandle b(a);
        Korva::StreamHandle c;
        c = b;
        Korva::StreamHandle d(std::move(b));
        EXPECT_EQ(b.Get(), nullptr);
        EXPECT_EQ(d.Get(), a.Get());
        a.Release();
        c.Release();
        EXPECT_TRUE(d.IsOnlyOwner());
        EXPECT_EQ(memory.live.size(), 1u);
        Korva::StreamHandle e(registry.Create(Korva::kTypeTimeline, &memory, nullptr));
        d = std::move(e);  // releases the first descriptor
        EXPECT_EQ(memory.live.size(), 1u);
    }
    EXPECT_TRUE(memory.live.empty());
}

}  // namespace
