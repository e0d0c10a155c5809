#pragma once
// Building one Cadro file from the stream selections of a job.
#include <cstdint>

#include "app/MuxJob.h"
#include "platform/Console.h"

class CAviFile;

// Returns the exit status, 0 or -1.
int RunMuxJob(MuxJob& job, Platform::Console& console);

// The automatic stereoscopic layout and rotation of a video stream, from its frame rate
// and picture size.
void ChooseLayout(const CAviFile& file, uint32_t videoIndex, bool firstEyeLeft, int32_t* layout,
                  int32_t* rotation);
