#pragma once
// The Korva::Writer that puts packets into the output file and remembers where the last
// synchro block began.
//
// Packets are gathered in a buffer and reach the file in large writes: one system call
// per packet would cost more than the muxing itself. A write the system refuses is
// reported by the Write, Seek or CloseFile that flushes it, and every later call fails.
#include <cstdint>
#include <string>
#include <vector>

#include "korva/Writer.h"
#include "platform/File.h"

class CadroWriter final : public Korva::Writer {
public:
    static constexpr uint32_t kInitialPacketSize = 4096;
    static constexpr uint32_t kBufferSize = 1u << 20;

    uint32_t GetPacketSize() override { return packetSize_; }
    void SetPacketSize(uint32_t size) override { packetSize_ = size; }
    bool Start() override { return true; }
    // The file stays open: the muxer may be rewound and written again.
    void Finish() override {}
    bool Write(const uint8_t* data, uint32_t size, const Korva::PacketInfo* info) override;
    // Does not close the file; CloseFile does.
    ~CadroWriter() override = default;

    // Creates the file, or empties an existing one, for writing.
    bool Create(const std::wstring& path);
    // Moves the next write to `position` (0..FileSize()); false when out of range or
    // when the buffered packets cannot be written.
    bool Seek(int64_t position);
    // Writes what is buffered and closes the file; false when the system reported an
    // error now or earlier. Closing when no file is open succeeds.
    bool CloseFile();
    // Writes what is buffered.
    bool Flush();
    bool IsOpen() const { return file_.IsOpen(); }

    int64_t FileSize() const { return fileSize_; }
    int64_t Position() const { return position_; }
    // File size just before the last packet that opened a synchro block was written;
    // written front to back, that is the offset of that packet. Packets continuing a
    // descriptor list do not count: a player seeking there could not read the streams
    // declared before them.
    int64_t LastSynchroPosition() const { return lastSynchroPosition_; }

private:
    Platform::File file_;
    std::vector<uint8_t> buffer_;  // packets not yet in the file; they go at position_ - size
    bool failed_ = false;
    uint32_t packetSize_ = kInitialPacketSize;
    int64_t fileSize_ = 0;
    int64_t position_ = 0;
    int64_t lastSynchroPosition_ = 0;
};
