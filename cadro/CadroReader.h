#pragma once
// The Korva::Reader over a Cadro file: delivers blocks of up to the buffer size from the
// first unconsumed byte, keeping bytes not yet consumed for the next block.
#include <cstdint>
#include <string>
#include <vector>

#include "korva/Reader.h"
#include "platform/File.h"

class CadroReader final : public Korva::Reader {
public:
    static constexpr uint32_t kInitialBufferSize = 4096;

    CadroReader() = default;
    ~CadroReader() override = default;

    // Opens an existing file for reading and takes its size.
    bool Open(const std::wstring& path);

    uint32_t GetBufferSize() override { return bufferSize_; }
    bool IsPacketAligned() override { return false; }
    // Takes effect at the next Read, which reads more or gives bytes back to the file.
    // A size of 0 is refused.
    bool SetBufferSize(uint32_t size) override;
    bool Start() override { return true; }
    // Closes the file.
    void Finish() override;
    bool Read(const uint8_t** data, uint32_t* size) override;
    bool Consume(uint32_t count) override;
    int64_t GetSize() override { return fileSize_; }
    bool Seek(int64_t position) override;
    int64_t Tell() override { return position_; }
    bool IsEnd() override { return position_ == fileSize_; }

private:
    Platform::File file_;
    uint32_t bufferSize_ = kInitialBufferSize;
    int64_t fileSize_ = 0;
    // File offset of the first buffered byte, the first byte not yet consumed. The file's
    // own position always stands at position_ + buffered_.
    int64_t position_ = 0;
    std::vector<uint8_t> buffer_;
    uint32_t buffered_ = 0;
};
