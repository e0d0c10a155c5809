#pragma once
// The -info reports on AVI, WAV, AAC and Cadro files.
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
