#pragma once
// Running the tool from tests: in process through the entry routine, or as the real
// binary in a child process.
#include <string>
#include <vector>

#include "app/CadroMain.h"
#include "platform/Console.h"

struct ToolRun {
    int status = 0;
    std::wstring out;  // standard output (wide text and 8-bit text together)
    std::wstring err;  // standard error
};

// Calls the entry routine with "CadroTool" followed by `arguments`.
ToolRun RunInProcess(const std::vector<std::wstring>& arguments,
                     InputFileMaker makeFile = MakeInputFile);

struct ProcessRun {
    int status = 0;   // as a POSIX shell sees it (0..255)
    std::string out;  // raw bytes of standard output
};

// Runs the built CadroTool binary with `arguments` (UTF-8), standard error discarded
// unless `errToOut`.
ProcessRun RunBinary(const std::vector<std::string>& arguments, bool errToOut = false);

// The help text as the tool prints it.
std::wstring HelpText();
