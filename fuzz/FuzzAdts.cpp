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
    fuzz::DrainAudio(grabber, 3000, "AAC grabber");
    return 0;
}
