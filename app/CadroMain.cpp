#include "app/CadroMain.h"

#include "app/CommandLine.h"
#include "app/HelpText.h"
#include "app/MuxRun.h"
#include "app/Reports.h"

int CadroMain(int argc, const wchar_t* const* argv, Platform::Console& console,
              InputFileMaker makeFile) {
    if (argc <= 1) {
        console.Write(kBanner);
        PrintHelp(console);
        return kExitSuccess;
    }
    MuxJob job;
    if (!ReadCommandLine(argc, argv, &job, makeFile, console)) {
        return kExitFailure;
    }
    if (job.printInfo && job.outputPath.empty()) {
        ReportInputFiles(job, console);
        return kExitSuccess;
    }
    if (job.outputPath.empty()) {
        if (job.inputFiles.empty()) {
            return kExitSuccess;
        }
        job.outputPath = DefaultOutputPath(job.inputFiles.front()->name);
    }
    return RunMuxJob(job, console);
}
