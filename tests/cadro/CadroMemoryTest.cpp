#include "cadro/CadroMemory.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// exit(-1) as the parent sees it.
#ifdef _WIN32
constexpr int kFailureStatus = -1;
#else
constexpr int kFailureStatus = 255;
#endif

// Sends the 8-bit text to standard error, where a death test can see it.
class StderrConsole final : public Platform::Console {
public:
    void Write(std::wstring_view) override {}
    void WriteError(std::wstring_view) override {}
    void WriteBytes(std::string_view text) override {
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fflush(stderr);
    }
};

TEST(CadroMemory, AllocatesAndFreesFromTheHeap) {
    CadroMemoryMuxer muxer;
    CadroMemoryDemuxer demuxer;
    void* block = muxer.Alloc(100);
    ASSERT_NE(block, nullptr);
    static_cast<char*>(block)[99] = 1;
    muxer.Free(block);
    muxer.Free(nullptr);
    demuxer.Free(nullptr);
}

TEST(CadroMemoryDeathTest, FatalPrintsTheMessageAndFailsTheProcess) {
    StderrConsole console;
    CadroMemoryMuxer muxer(&console);
    CadroMemoryDemuxer demuxer(&console);
    EXPECT_EXIT(muxer.Fatal("Korva::Allocator: not enough memory to allocate %d bytes !!!\n", 4096),
                ::testing::ExitedWithCode(kFailureStatus),
                "^Korva::Allocator: not enough memory to allocate 4096 bytes !!!\n$");
    EXPECT_EXIT(demuxer.Fatal("%s", "gone"), ::testing::ExitedWithCode(kFailureStatus), "^gone$");
}

}  // namespace
