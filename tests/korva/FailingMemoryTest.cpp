// Running out of memory at every single allocation of a mux run and of a demux run, in
// turn: each time the program's out-of-memory path must be taken (its message, then the
// end of the process with status -1), or one of the clean refusals the library makes
// without a message: Mux::Open returns 68 without its packet buffer, AddStream 81 and
// Demux::Step 68 without a descriptor. Nothing may crash, read freed memory, carry on
// with a null block or report success. Each failing run happens in a child process,
// since the out-of-memory path ends the process.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "cadro/CadroMemory.h"
#include "korva/Demux.h"
#include "korva/Mux.h"
#include "korva/ResultCodes.h"
#include "korva/StreamDescriptors.h"
#include "korva/StreamFrameQueue.h"
#include "tests/korva/DemuxTestSupport.h"
#include "tests/support/RecordingWriter.h"

#if GTEST_HAS_DEATH_TEST

namespace {

// The out-of-memory message goes to standard error here, where the death test reads it.
class ErrorConsole final : public Platform::Console {
public:
    void Write(std::wstring_view) override {}
    void WriteError(std::wstring_view) override {}
    void WriteBytes(std::string_view text) override {
        std::fwrite(text.data(), 1, text.size(), stderr);
    }
    void Flush() override { std::fflush(stderr); }
};

// The program's heap memory, refusing its n-th allocation (1-based; 0 refuses none).
class FailingMemory final : public CadroHeapMemory {
public:
    FailingMemory(Platform::Console* console, int failAt)
        : CadroHeapMemory(console), failAt_(failAt) {}
    void* Alloc(uint32_t size) override {
        if (++count_ == failAt_) return nullptr;
        return CadroHeapMemory::Alloc(size);
    }
    int Count() const { return count_; }

private:
    int failAt_;
    int count_ = 0;
};

#ifdef _WIN32
constexpr int kOutOfMemoryExit = -1;
#else
constexpr int kOutOfMemoryExit = 255;  // exit(-1) as a POSIX parent sees it
#endif
constexpr int kRefusedExit = 3;  // the child saw one of the clean refusals

bool OutOfMemoryOrRefused(int status) {
    return testing::ExitedWithCode(kOutOfMemoryExit)(status) ||
           testing::ExitedWithCode(kRefusedExit)(status);
}
// Matched without regular expressions, which are simple ones on Windows.
testing::Matcher<const std::string&> OutOfMemoryMessage() {
    return testing::AllOf(testing::HasSubstr("Korva::Allocator: not enough memory to allocate "),
                          testing::HasSubstr(" bytes !!!\n"));
}
testing::Matcher<const std::string&> OutOfMemoryOrRefusal() {
    return testing::AnyOf(OutOfMemoryMessage(), testing::HasSubstr("refused: Open 68\n"),
                          testing::HasSubstr("refused: AddStream 81\n"),
                          testing::HasSubstr("refused: Step 68\n"));
}

// Three streams (video with layout, audio, timeline) and enough frames, small packets
// and a short synchro period that descriptors are repeated, frames are cut and the
// stream list and every queue have to grow.
constexpr uint32_t kPacketSize = 160;
constexpr int64_t kSynchroPeriod = 100000;
constexpr int kFrames = 60;

struct MuxOutcome {
    int result = Korva::kResultOk;
    const char* stage = "";  // the call that returned `result`
};

MuxOutcome FillStreams(Korva::Mux& mux) {
    Korva::Stream* stream = nullptr;
    if (int result = mux.AddStream(Korva::kTypeVideoWithLayout, &stream)) {
        return {result, "AddStream"};
    }
    auto* video = static_cast<Korva::StreamVideoWithLayout*>(stream);
    video->rateNum = 25;
    video->rateDen = 1;
    video->width = 320;
    video->height = 240;
    video->pixelNum = video->pixelDen = 1;
    if (int result = mux.AddStream(Korva::kTypeAudio, &stream)) return {result, "AddStream"};
    auto* audio = static_cast<Korva::StreamAudio*>(stream);
    audio->frequency = 32000;
    audio->channels = 2;
    if (int result = mux.AddStream(Korva::kTypeTimeline, &stream)) return {result, "AddStream"};
    static_cast<Korva::StreamTimeline*>(stream)->refIndex = 0;
    return {};
}

// Muxes the scenario into `out`; returns the first failing call.
MuxOutcome RunMux(Korva::Memory* memory, std::vector<uint8_t>* out) {
    RecordingWriter writer;
    Korva::Mux mux(memory);
    if (int result = mux.Open(kPacketSize, kSynchroPeriod, &writer, false, true, false)) {
        return {result, "Open"};
    }
    MuxOutcome outcome = FillStreams(mux);
    if (outcome.result != Korva::kResultOk) return outcome;
    std::vector<uint8_t> frame(900);
    const std::vector<uint8_t> timeline(24, 7);
    if (int result = mux.AddFrame(2, timeline.data(), static_cast<uint32_t>(timeline.size()), 1,
                                  1, 0, true, false)) {
        return {result, "AddFrame"};
    }
    for (int i = 0; i < kFrames; ++i) {
        const int64_t time = 1 + i * 40000;
        const uint32_t videoSize = 40 + static_cast<uint32_t>(i * 37 % 860);
        for (uint32_t b = 0; b < videoSize; ++b) frame[b] = static_cast<uint8_t>(b + i);
        if (int result = mux.AddFrame(0, frame.data(), videoSize, time, time,
                                      i % 10 == 0 ? 0 : 1, i % 10 == 0, false)) {
            return {result, "AddFrame"};
        }
        if (int result = mux.AddFrame(1, frame.data(), 128, time, time, 0, false, false)) {
            return {result, "AddFrame"};
        }
    }
    if (int result = mux.Close()) return {result, "Close"};
    *out = writer.Bytes();
    return {};
}

// Reads `bytes` back to their end; returns the number of whole frames delivered, and
// through `code` what the last Step returned.
int RunDemux(Korva::Memory* memory, const std::vector<uint8_t>& bytes, uint32_t* code) {
    demux_test::MemoryReader reader(bytes);
    Korva::Demux demux(memory, nullptr);
    *code = demux.AttachReader(&reader);
    if (*code != Korva::kResultOk) return 0;
    int frames = 0;
    for (;;) {
        *code = demux.Step();
        for (uint32_t i = 0; i < demux.GetStreamCount(); ++i) {
            Korva::StreamFrameQueue* queue = Korva::Demux::QueueOf(demux.GetStreamAt(i));
            while (queue != nullptr && queue->GetFrameCount() > 0) {
                queue->PopFrame();
                ++frames;
            }
        }
        if (*code != Korva::kResultOk && *code != Korva::kResultSkipped) break;
    }
    demux.DetachReader();
    return frames;
}

TEST(FailingMemoryTest, MuxerTakesTheOutOfMemoryPathAtEveryAllocation) {
    GTEST_FLAG_SET(death_test_style, "fast");
    std::vector<uint8_t> reference;
    FailingMemory counting(nullptr, 0);
    ASSERT_EQ(RunMux(&counting, &reference).result, 0);
    const int total = counting.Count();
    ASSERT_GT(reference.size(), 10 * kPacketSize);
    for (int n = 1; n <= total; ++n) {
        EXPECT_EXIT(
            {
                ErrorConsole console;
                FailingMemory memory(&console, n);
                std::vector<uint8_t> bytes;
                const MuxOutcome outcome = RunMux(&memory, &bytes);
                std::fprintf(stderr, "refused: %s %d\n", outcome.stage, outcome.result);
                std::exit(outcome.result != Korva::kResultOk ? kRefusedExit : 0);
            },
            OutOfMemoryOrRefused, OutOfMemoryOrRefusal())
            << "failing allocation " << n << " of " << total;
    }
    // Past the last allocation nothing fails and the output is the same.
    FailingMemory memory(nullptr, total + 1);
    std::vector<uint8_t> bytes;
    EXPECT_EQ(RunMux(&memory, &bytes).result, 0);
    EXPECT_EQ(bytes, reference);
}

TEST(FailingMemoryTest, DemuxerTakesTheOutOfMemoryPathAtEveryAllocation) {
    GTEST_FLAG_SET(death_test_style, "fast");
    std::vector<uint8_t> bytes;
    {
        demux_test::HeapMemory heap;
        ASSERT_EQ(RunMux(&heap, &bytes).result, 0);
    }
    FailingMemory counting(nullptr, 0);
    uint32_t code = 0;
    const int expectedFrames = RunDemux(&counting, bytes, &code);
    ASSERT_EQ(code, static_cast<uint32_t>(Korva::kResultEndOfData));
    const int total = counting.Count();
    ASSERT_EQ(expectedFrames, 1 + 2 * kFrames);
    for (int n = 1; n <= total; ++n) {
        EXPECT_EXIT(
            {
                ErrorConsole console;
                FailingMemory memory(&console, n);
                uint32_t result = 0;
                RunDemux(&memory, bytes, &result);
                std::fprintf(stderr, "refused: Step %u\n", result);
                std::exit(result == Korva::kResultEndOfData ? 0 : kRefusedExit);
            },
            OutOfMemoryOrRefused, OutOfMemoryOrRefusal())
            << "failing allocation " << n << " of " << total;
    }
    FailingMemory memory(nullptr, total + 1);
    EXPECT_EQ(RunDemux(&memory, bytes, &code), expectedFrames);
}

}  // namespace

#endif  // GTEST_HAS_DEATH_TEST
