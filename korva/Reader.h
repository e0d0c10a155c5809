#pragma once
// The byte source from which the demuxer pulls bytes.
#include <cstdint>

namespace Korva {

class Reader {
public:
    // The read-ahead size last set.
    virtual uint32_t GetBufferSize() = 0;
    // True when every block delivered starts exactly at a packet boundary.
    virtual bool IsPacketAligned() = 0;
    // How many bytes Read should make available; false is a failure.
    virtual bool SetBufferSize(uint32_t size) = 0;
    // Called when the reader is attached to a demuxer; false makes the attach fail.
    virtual bool Start() = 0;
    // Called when the demuxer lets go of the reader.
    virtual void Finish() = 0;
    // Up to the buffer size of bytes from the current position; they stay valid until the
    // next Read, Consume or Seek. False when nothing could be read.
    virtual bool Read(const uint8_t** data, uint32_t* size) = 0;
    // Advances past `count` bytes already obtained through Read; false past the end.
    virtual bool Consume(uint32_t count) = 0;
    virtual int64_t GetSize() = 0;
    // Absolute position in 0..GetSize(); drops buffered bytes.
    virtual bool Seek(int64_t position) = 0;
    // Position of the next byte not yet consumed.
    virtual int64_t Tell() = 0;
    virtual bool IsEnd() = 0;
    virtual ~Reader() = default;
};

}  // namespace Korva
