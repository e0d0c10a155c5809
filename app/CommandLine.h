#pragma once
// Reading the command line into a MuxJob.
#include <cstdint>
#include <string>

#include "app/InputFiles.h"
#include "app/MuxJob.h"
#include "platform/Console.h"

// Reads one name = value group at `*position` (glued or separate tokens). False with the
// position unchanged at the end of the list; false after consuming tokens on a malformed
// group. On return the position is the first token not consumed.
bool ReadSubOption(const wchar_t* const* argv, int argc, int* position, std::wstring* name,
                   std::wstring* value);

// Unsigned decimal, digits only, at most 2147483647. Prints nothing.
bool ReadInteger(const std::wstring& text, int32_t* value);

// ReadInteger plus a check against the files declared so far; prints its own messages.
bool ReadFileIndex(const std::wstring& text, int32_t fileCount, int32_t* value,
                   Platform::Console& console);
bool ReadStreamIndex(const std::wstring& text, int32_t* value, Platform::Console& console);

void PrintHelp(Platform::Console& console);

// Reads the whole line (argv[0] is not read) and opens each input file as its option is
// read. On failure the message (and the help text where it belongs) has been printed.
bool ReadCommandLine(int argc, const wchar_t* const* argv, MuxJob* job, InputFileMaker makeFile,
                     Platform::Console& console);

// Everything before the last dot of the first input's name, plus ".cadro".
std::wstring DefaultOutputPath(const std::wstring& firstInputName);
