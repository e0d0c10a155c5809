#pragma once
// The -info reports on AVI, WAV, AAC and Cadro files, and the CSV list of frame sizes.
#include <cstdint>
#include <cstdio>

#include "app/MuxJob.h"
#include "platform/Console.h"

class AviInputFile;
class WavInputFile;
class AacInputFile;
class CadroInputFile;

void ReportAvi(AviInputFile& file, bool ignoreFourCC, Platform::Console& console);
void ReportWav(WavInputFile& file, Platform::Console& console);
void ReportAac(AacInputFile& file, Platform::Console& console);
void ReportCadro(CadroInputFile& file, bool writeCsv, Platform::Console& console);

// One report per input file, in command-line order.
void ReportInputFiles(const MuxJob& job, Platform::Console& console);

// Seconds: the longest timeline of the file, and the timeline of stream `position`.
float MovieDuration(CadroInputFile& file);
float AudioDuration(CadroInputFile& file, int32_t position);

// Byte total and frame count of one stream, with its CSV block when `csv` is given.
void GatherVideoFrames(CadroInputFile& file, int32_t position, std::FILE* csv, int64_t* bytes,
                       int64_t* frames);
void GatherAudioFrames(CadroInputFile& file, int32_t position, std::FILE* csv, int64_t* bytes,
                       int64_t* frames);
