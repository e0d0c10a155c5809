#pragma once
// What every fuzz target shares: a scratch file holding the input (the readers take
// paths), a console that keeps nothing, an open muxer that drops its packets (grabbers
// create their descriptors through it), and the step limit past which a reader is
// taken to spin.
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "korva/Memory.h"
#include "korva/Mux.h"
#include "korva/Writer.h"
#include "platform/Console.h"

namespace fuzz {

// Far more frames than an input of the fuzzer's size limit can hold.
inline constexpr int kStepLimit = 200000;

// Stops the run so that libFuzzer reports the input: a reader went on past any sensible
// number of frames.
[[noreturn]] inline void Spinning(const char* what) {
    std::fprintf(stderr, "%s did not come to an end within %d steps\n", what, kStepLimit);
    std::abort();
}

// Writes the input to this process's scratch file, whose wide path is returned. The file
// lives in a RAM-backed folder where there is one, so each run costs no disk traffic.
std::wstring WriteScratchFile(const uint8_t* data, size_t size, const char* extension);

class NullConsole final : public Platform::Console {
public:
    void Write(std::wstring_view) override {}
    void WriteError(std::wstring_view) override {}
    void WriteBytes(std::string_view) override {}
};

// Allocation failure is reported, never returned from: libFuzzer's malloc limit stops
// the run first on any request out of proportion.
class HeapMemory final : public Korva::Memory {
public:
    void* Alloc(uint32_t size) override { return std::malloc(size == 0 ? 1 : size); }
    void Free(void* block) override { std::free(block); }
    void Fatal(const char* format, ...) override {
        va_list args;
        va_start(args, format);
        std::vfprintf(stderr, format, args);
        va_end(args);
        std::abort();
    }
};

class DroppingWriter final : public Korva::Writer {
public:
    uint32_t GetPacketSize() override { return size_; }
    void SetPacketSize(uint32_t size) override { size_ = size; }
    bool Start() override { return true; }
    void Finish() override {}
    bool Write(const uint8_t*, uint32_t, const Korva::PacketInfo*) override { return true; }

private:
    uint32_t size_ = 0;
};

class DroppingMux {
public:
    DroppingMux() : mux_(&memory_) { mux_.Open(4096, 1000000, &writer_, false, true, false); }
    ~DroppingMux() { mux_.Close(); }
    DroppingMux(const DroppingMux&) = delete;
    DroppingMux& operator=(const DroppingMux&) = delete;
    Korva::Mux* Get() { return &mux_; }

private:
    HeapMemory memory_;
    DroppingWriter writer_;
    Korva::Mux mux_;
};

}  // namespace fuzz
