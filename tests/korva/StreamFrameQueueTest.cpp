#include "korva/StreamFrameQueue.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "korva/Memory.h"

namespace {

// Heap memory that counts allocations, so tests can see when the queue stops allocating.
class CountingMemory final : public Korva::Memory {
public:
    void* Alloc(uint32_t size) override {
        ++allocations;
        return std::malloc(size);
    }
    void Free(void* block) override { std::free(block); }
    void Fatal(const char*, ...) override { ++fatals; }

    int allocations = 0;
    int fatals = 0;
};

std::vector<uint8_t> Pattern(uint32_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (uint32_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7);
    return bytes;
}

std::vector<uint8_t> FrontBytes(Korva::StreamFrameQueue& queue) {
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    EXPECT_TRUE(queue.GetFrameData(&data, &size));
    return std::vector<uint8_t>(data, data + size);
}

void AddFrame(Korva::StreamFrameQueue& queue, const std::vector<uint8_t>& bytes, int64_t time,
              uint32_t type, uint32_t pieces = 1) {
    ASSERT_TRUE(queue.StartFrame());
    uint32_t done = 0;
    for (uint32_t i = 0; i < pieces; ++i) {
        uint32_t part = i + 1 == pieces ? static_cast<uint32_t>(bytes.size()) - done
                                        : static_cast<uint32_t>(bytes.size()) / pieces;
        ASSERT_TRUE(queue.AppendToFrame(bytes.data() + done, part));
        done += part;
    }
    queue.CurrentFrame()->time = time;
    queue.CurrentFrame()->frameType = type;
    ASSERT_TRUE(queue.CompleteFrame());
}

TEST(StreamFrameQueueTest, CompleteFrameIsPaddedFlushedFrameIsNot) {
    CountingMemory memory;
    Korva::StreamFrameQueue queue(&memory);
    auto bytes = Pattern(10, 1);
    AddFrame(queue, bytes, 1234, 1);
    ASSERT_TRUE(queue.StartFrame());
    ASSERT_TRUE(queue.AppendToFrame(bytes.data(), 10));
    ASSERT_TRUE(queue.FlushFrame());
    EXPECT_FALSE(queue.HasCurrentFrame());

    ASSERT_EQ(queue.GetFrameCount(), 2u);
    const Korva::FrameRecord* first = queue.PeekFrame();
    EXPECT_EQ(first->size, 10u);
    EXPECT_EQ(first->storedSize, 12u);
    EXPECT_EQ(first->time, 1234);
    EXPECT_EQ(first->frameType, 1u);
    EXPECT_EQ(FrontBytes(queue), bytes);
    ASSERT_TRUE(queue.PopFrame());
    EXPECT_EQ(queue.PeekFrame()->size, 10u);
    EXPECT_EQ(queue.PeekFrame()->storedSize, 10u);
    EXPECT_EQ(FrontBytes(queue), bytes);
    ASSERT_TRUE(queue.PopFrame());
    EXPECT_FALSE(queue.PopFrame());
    EXPECT_EQ(queue.GetBytesHeld(), 0u);
}

TEST(StreamFrameQueueTest, FlushOfEmptyOrMissingFrameQueuesNothing) {
    CountingMemory memory;
    Korva::StreamFrameQueue queue(&memory);
    EXPECT_TRUE(queue.FlushFrame());
    ASSERT_TRUE(queue.StartFrame());
    EXPECT_TRUE(queue.FlushFrame());
    EXPECT_TRUE(queue.HasCurrentFrame());
    EXPECT_EQ(queue.GetFrameCount(), 0u);
}

TEST(StreamFrameQueueTest, DropRemovesOnlyThePartialFrameBytes) {
    CountingMemory memory;
    Korva::StreamFrameQueue queue(&memory);
    auto kept = Pattern(21, 3);
    AddFrame(queue, kept, 5, 0);
    ASSERT_TRUE(queue.StartFrame());
    auto lost = Pattern(100, 9);
    ASSERT_TRUE(queue.AppendToFrame(lost.data(), 100));
    ASSERT_TRUE(queue.DropFrame());
    EXPECT_FALSE(queue.HasCurrentFrame());
    EXPECT_EQ(queue.GetBytesHeld(), 24u);
    auto next = Pattern(7, 4);
    AddFrame(queue, next, 6, 0);
    EXPECT_EQ(FrontBytes(queue), kept);
    queue.PopFrame();
    EXPECT_EQ(FrontBytes(queue), next);
}

// A queue that does not keep payloads still hands out every frame's size, time and type,
// holds no bytes for them, and switching over in the middle of a frame never leaves a
// frame whose bytes look kept but are not.
TEST(StreamFrameQueueTest, FramesWithoutPayloadsKeepSizeTimeAndType) {
    CountingMemory memory;
    Korva::StreamFrameQueue queue(&memory);
    auto kept = Pattern(10, 1);
    AddFrame(queue, kept, 1, 0);
    // Begun kept, finished without: the two bytes stored first are given back.
    ASSERT_TRUE(queue.StartFrame());
    ASSERT_TRUE(queue.AppendToFrame(kept.data(), 2));
    queue.keepsPayloads = false;
    ASSERT_TRUE(queue.AppendToFrame(kept.data(), 3));
    queue.CurrentFrame()->time = 2;
    ASSERT_TRUE(queue.CompleteFrame());
    AddFrame(queue, Pattern(5000, 2), 3, 1, 3);
    // Begun without, finished kept: still without bytes.
    ASSERT_TRUE(queue.StartFrame());
    ASSERT_TRUE(queue.AppendToFrame(kept.data(), 1));
    queue.keepsPayloads = true;
    ASSERT_TRUE(queue.AppendToFrame(kept.data(), 5));
    ASSERT_TRUE(queue.CompleteFrame());
    EXPECT_EQ(queue.GetBytesHeld(), 12u);  // the first frame's alone

    const struct {
        uint32_t size;
        int64_t time;
        uint32_t type;
        bool hasBytes;
    } expected[] = {{10, 1, 0, true}, {5, 2, 0, false}, {5000, 3, 1, false}, {6, 0, 0, false}};
    for (const auto& frame : expected) {
        SCOPED_TRACE(frame.time);
        ASSERT_GT(queue.GetFrameCount(), 0u);
        EXPECT_EQ(queue.PeekFrame()->size, frame.size);
        EXPECT_EQ(queue.PeekFrame()->time, frame.time);
        EXPECT_EQ(queue.PeekFrame()->frameType, frame.type);
        const uint8_t* data = nullptr;
        uint32_t size = 0;
        EXPECT_EQ(queue.GetFrameData(&data, &size), frame.hasBytes);
        ASSERT_TRUE(queue.PopFrame());
    }
    EXPECT_EQ(queue.GetFrameCount(), 0u);
    EXPECT_EQ(queue.GetBytesHeld(), 0u);
    AddFrame(queue, kept, 4, 0);
    EXPECT_EQ(FrontBytes(queue), kept);
}

// Frames pushed and popped in a pattern that makes the byte ring wrap, grow while wrapped
// and hand out frames that straddle its end; every frame must come back intact and in order.
TEST(StreamFrameQueueTest, WrappingAndGrowingKeepsFramesIntact) {
    CountingMemory memory;
    Korva::StreamFrameQueue queue(&memory);
    std::vector<std::vector<uint8_t>> expected;
    size_t popped = 0;
    uint32_t sizes[] = {5, 17, 30, 1, 64, 3, 250, 9, 1000, 33, 2, 4000, 11};
    for (int round = 0; round < 40; ++round) {
        for (uint32_t i = 0; i < 3; ++i) {
            uint32_t size = sizes[(round * 3 + i) % std::size(sizes)];
            expected.push_back(Pattern(size, static_cast<uint8_t>(round * 3 + i)));
            AddFrame(queue, expected.back(), round, i, 1 + size % 3);
        }
        for (int i = 0; i < 2 + round % 2 && queue.GetFrameCount() > 0; ++i) {
            ASSERT_EQ(FrontBytes(queue), expected[popped]) << "frame " << popped;
            ASSERT_TRUE(queue.PopFrame());
            ++popped;
        }
    }
    while (queue.GetFrameCount() > 0) {
        ASSERT_EQ(FrontBytes(queue), expected[popped]) << "frame " << popped;
        ASSERT_TRUE(queue.PopFrame());
        ++popped;
    }
    EXPECT_EQ(popped, expected.size());
    EXPECT_EQ(memory.fatals, 0);
}

TEST(StreamFrameQueueTest, SteadyStateAllocatesNothing) {
    CountingMemory memory;
    Korva::StreamFrameQueue queue(&memory);
    auto bytes = Pattern(3000, 0);
    auto cycle = [&](int rounds) {
        for (int i = 0; i < rounds; ++i) {
            AddFrame(queue, bytes, i, 0, 3);
            AddFrame(queue, Pattern(1 + i % 50, 2), i, 0);
            FrontBytes(queue);
            queue.PopFrame();
            FrontBytes(queue);
            queue.PopFrame();
        }
    };
    cycle(100);  // the rings, the pool and the scratch buffer grow to their needs
    int before = memory.allocations;
    cycle(1000);
    EXPECT_EQ(memory.allocations, before);
}

// A memory whose allocations fail, and whose Fatal returns: the queue must refuse and
// stay consistent rather than write through a null block.
class FailingMemory final : public Korva::Memory {
public:
    void* Alloc(uint32_t size) override { return failing ? nullptr : std::malloc(size); }
    void Free(void* block) override { std::free(block); }
    void Fatal(const char* format, ...) override { message = format; }
    bool failing = false;
    std::string message;
};

TEST(StreamFrameQueueTest, FailedAllocationReportsAndRefuses) {
    FailingMemory memory;
    Korva::StreamFrameQueue queue(&memory);
    memory.failing = true;
    EXPECT_FALSE(queue.StartFrame());
    EXPECT_EQ(memory.message, Korva::kOutOfMemoryFormat);
    memory.failing = false;
    ASSERT_TRUE(queue.StartFrame());
    memory.failing = true;
    uint8_t byte = 7;
    EXPECT_FALSE(queue.AppendToFrame(&byte, 1));
    EXPECT_EQ(queue.GetBytesHeld(), 0u);
    memory.failing = false;
    ASSERT_TRUE(queue.AppendToFrame(&byte, 1));
    memory.failing = true;
    EXPECT_FALSE(queue.CompleteFrame());  // the frame ring cannot grow
    EXPECT_TRUE(queue.HasCurrentFrame());
    EXPECT_EQ(queue.GetBytesHeld(), 1u);
    memory.failing = false;
    ASSERT_TRUE(queue.CompleteFrame());
    memory.failing = true;
    EXPECT_FALSE(queue.PopFrame());  // the pool cannot take the record
    EXPECT_EQ(queue.GetFrameCount(), 1u);
    memory.failing = false;
    EXPECT_TRUE(queue.PopFrame());
}

}  // namespace
