#pragma once
// Finds the format and the sample data of a RIFF WAVE file and reads the sample bytes
// front to back.
#include <cstdint>
#include <cstdio>
#include <string>

#include "sources/WaveFormat.h"

class WavReader {
public:
    WavReader() = default;
    WavReader(const WavReader&) = delete;
    WavReader& operator=(const WavReader&) = delete;
    ~WavReader();

    // Opens the file and reads its header up to the first sample byte. Fails when the
    // file cannot be opened, is not RIFF WAVE, or lacks a "fmt " chunk before "data".
    bool OpenWav(const std::wstring& path);
    // Up to `count` sample bytes into `buffer`: the number read, 0 at the end of the
    // data, -1 when the file is not open. A file that ends inside the data gives what it
    // holds and then -1.
    int32_t ReadData(uint32_t count, void* buffer);
    void CloseWav();

    const WaveFormat& Format() const { return format_; }
    uint32_t FormatChunkSize() const { return formatChunkSize_; }
    uint32_t DataSize() const { return dataSize_; }
    uint64_t GetFileSize() const { return fileSize_; }
    bool IsOpen() const { return file_ != nullptr; }

private:
    bool ParseHeader();
    bool Skip(uint64_t count);

    WaveFormat format_;
    uint32_t formatChunkSize_ = 0;
    uint32_t dataSize_ = 0;
    std::FILE* file_ = nullptr;
    uint32_t consumed_ = 0;
    bool dataFound_ = false;
    uint64_t fileSize_ = 0;
    uint64_t position_ = 0;
};
