#pragma once
// Building one Cadro file from the stream selections of a job.
#include "app/MuxJob.h"
#include "platform/Console.h"

// Returns the exit status, 0 or -1.
int RunMuxJob(MuxJob& job, Platform::Console& console);
