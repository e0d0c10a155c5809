#pragma once
// An input file named on the command line. Each kind (AVI, WAV, AAC, Cadro) adds its
// reader and is opened as soon as its option is read.
#include <string>

class GenericInputFile {
public:
    virtual ~GenericInputFile() = default;
    // Opens the file named by `name` and reads its headers. Prints nothing.
    virtual bool Open() = 0;
    // Releases the reader.
    virtual void Close() = 0;

    std::wstring name;
};
