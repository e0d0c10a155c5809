#pragma once
// The entry routine, callable with any argument vector and console.
#include "app/InputFiles.h"
#include "platform/Console.h"

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = -1;

// argv[0] (the program) is never read. Returns the exit status, 0 or -1.
int CadroMain(int argc, const wchar_t* const* argv, Platform::Console& console,
              InputFileMaker makeFile = MakeInputFile);
