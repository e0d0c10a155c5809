// The ADTS reader and its grabber: open, the -info report, then every frame read.
#include "app/Reports.h"
#include "fuzz/FuzzSupport.h"
#include "sources/AacAudioGrabber.h"
#include "sources/AacInputFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    AacInputFile input;
    input.name = fuzz::WriteScratchFile(data, size, ".aac");
    if (!input.Open()) {
        return 0;
    }
    fuzz::NullConsole console;
    ReportAac(input, console);

    fuzz::DroppingMux mux;
    CAacAudioGrabber grabber;
    if (!grabber.Init(&input.GetReader(), 0, mux.Get())) {
        return 0;
    }
    for (int step = 0;; ++step) {
        if (step == fuzz::kStepLimit) {
            fuzz::Spinning("AAC grabber");
        }
        uint32_t samples = 1 + static_cast<uint32_t>(step % 3000), bytes = 0;
        int64_t time = 0;
        if (grabber.GrabSamples(&samples, &bytes, &time) == nullptr) {
            break;
        }
        grabber.ReleaseSamples(bytes);
    }
    return 0;
}
