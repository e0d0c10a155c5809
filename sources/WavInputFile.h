#pragma once
#include "app/GenericInputFile.h"
#include "sources/WavReader.h"

// A -wav input: one PCM audio stream.
class WavInputFile : public GenericInputFile {
public:
    bool Open() override { return reader_.OpenWav(name); }
    void Close() override { reader_.CloseWav(); }

    WavReader& GetReader() { return reader_; }
    const WavReader& GetReader() const { return reader_; }

private:
    WavReader reader_;
};
