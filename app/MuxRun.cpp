#include "app/MuxRun.h"

int RunMuxJob(MuxJob& job, Platform::Console& console) {
    // The muxer is not built yet: no output can be written.
    console.Write(L"Error: cannot open file \"" + job.outputPath + L"\" for writing\n");
    return -1;
}
