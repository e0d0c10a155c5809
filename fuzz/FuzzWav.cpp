// The WAV reader and its grabber: open, the -info report, then every sample read.
#include "app/Reports.h"
#include "fuzz/FuzzSupport.h"
#include "sources/WavAudioGrabber.h"
#include "sources/WavInputFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WavInputFile input;
    input.name = fuzz::WriteScratchFile(data, size, ".wav");
    if (!input.Open()) {
        return 0;
    }
    fuzz::NullConsole console;
    ReportWav(input, console);

    fuzz::DroppingMux mux;
    CWavAudioGrabber grabber;
    if (!grabber.Init(&input.GetReader(), 0, mux.Get())) {
        return 0;
    }
    fuzz::DrainAudio(grabber, 500, "WAV grabber");
    return 0;
}
