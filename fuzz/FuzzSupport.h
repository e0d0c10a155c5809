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

#include "app/FrameSources.h"
#include "korva/Memory.h"
#include "korva/Mux.h"
#include "korva/Writer.h"
#include "platform/Console.h"
#include "tests/support/TestMux.h"

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

// Reads an audio grabber to its end, asking 1, 2, … `cycle` samples and again, so that
// requests end at every place of the source's blocks.
inline void DrainAudio(CAudioGrabber& grabber, uint32_t cycle, const char* what) {
    for (int step = 0;; ++step) {
        if (step == kStepLimit) {
            Spinning(what);
        }
        uint32_t samples = 1 + static_cast<uint32_t>(step) % cycle, bytes = 0;
        int64_t time = 0;
        if (grabber.GrabSamples(&samples, &bytes, &time) == nullptr) {
            return;
        }
        grabber.ReleaseSamples(bytes);
    }
}

class NullConsole final : public Platform::Console {
public:
    void Write(std::wstring_view) override {}
    void WriteError(std::wstring_view) override {}
    void WriteBytes(std::string_view) override {}
};

// Grabbers are set up on a muxer that drops its packets. Allocation failure is reported,
// never returned from: libFuzzer's malloc limit stops the run first on any request out
// of proportion.
using ::HeapMemory;
using DroppingMux = ::TestMux;

}  // namespace fuzz
