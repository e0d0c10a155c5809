#pragma once
#include "app/GenericInputFile.h"
#include "sources/AdtsFile.h"

// An -aac input: AAC audio in ADTS frames. It opens only when its first frame can be
// read whole; that frame stays read ahead for the grabber.
class AacInputFile : public GenericInputFile {
public:
    bool Open() override { return reader_.OpenFile(name) && reader_.ReadFrame(); }
    void Close() override { reader_.CloseFile(); }

    AdtsFile& GetReader() { return reader_; }
    const AdtsFile& GetReader() const { return reader_; }

private:
    AdtsFile reader_;
};
