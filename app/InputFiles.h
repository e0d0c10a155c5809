#pragma once
// Creating the input file of each command-line file option.
#include <memory>

#include "app/GenericInputFile.h"

enum class InputKind { Avi, Wav, Aac, Cadro };

using InputFileMaker = std::unique_ptr<GenericInputFile> (*)(InputKind kind);

// The tool's own input files: AviInputFile, WavInputFile, AacInputFile, CadroInputFile.
std::unique_ptr<GenericInputFile> MakeInputFile(InputKind kind);
