#include "app/Reports.h"

#include "cadro/CadroInputFile.h"
#include "sources/AacInputFile.h"
#include "sources/AviInputFile.h"
#include "sources/WavInputFile.h"

void ReportAvi(AviInputFile&, bool, Platform::Console&) {}
void ReportWav(WavInputFile&, Platform::Console&) {}
void ReportAac(AacInputFile&, Platform::Console&) {}
void ReportCadro(CadroInputFile&, bool, Platform::Console&) {}

void ReportInputFiles(const MuxJob& job, Platform::Console& console) {
    for (const auto& file : job.inputFiles) {
        if (auto* avi = dynamic_cast<AviInputFile*>(file.get())) {
            ReportAvi(*avi, job.ignoreFourCC, console);
        } else if (auto* wav = dynamic_cast<WavInputFile*>(file.get())) {
            ReportWav(*wav, console);
        } else if (auto* aac = dynamic_cast<AacInputFile*>(file.get())) {
            ReportAac(*aac, console);
        } else if (auto* cadro = dynamic_cast<CadroInputFile*>(file.get())) {
            ReportCadro(*cadro, job.writeCsv, console);
        }
    }
}
