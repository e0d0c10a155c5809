#pragma once
#include "app/GenericInputFile.h"
#include "sources/AviFile.h"

// An -avi input: its headers, index counts and stream walk, shared by every grabber that
// reads one of its streams.
class AviInputFile : public GenericInputFile {
public:
    bool Open() override { return file_.Open(name); }
    // Releases the file handle; the tables stay readable.
    void Close() override { file_.Close(); }

    CAviFile& GetFile() { return file_; }
    const CAviFile& GetFile() const { return file_; }

private:
    CAviFile file_;
};
