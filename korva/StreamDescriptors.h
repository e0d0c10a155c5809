#pragma once
// Stream descriptors: what one stream of a Cadro file carries, and their record form.
#include <cstdint>

namespace Korva {

class Memory;

class Chunk {
public:
    virtual ~Chunk() = default;
    virtual int Serialize(uint8_t* out);
    virtual int Parse(const uint8_t* in, uint32_t available) = 0;
    virtual bool IsStream() const { return false; }
    virtual bool Equals(const Chunk& other) const;
    virtual void CopyFrom(const Chunk& other);

    uint32_t type = 0;
    uint32_t size = 0;
};

class Stream : public Chunk {
public:
    ~Stream() override;
    int Serialize(uint8_t* out) override;
    int Parse(const uint8_t* in, uint32_t available) override;
    bool IsStream() const override { return true; }

    Memory* memory = nullptr;
    void* extra = nullptr;  // the demuxer's frame queue; always null when muxing
    int32_t index = -1;
};

class StreamCodec : public Stream {
public:
    int32_t codec = 0;
};

class StreamVideo : public StreamCodec {
public:
    int Serialize(uint8_t* out) override;
    int Parse(const uint8_t* in, uint32_t available) override;
    bool Equals(const Chunk& other) const override;
    void CopyFrom(const Chunk& other) override;

    uint16_t rateNum = 0;
    uint16_t rateDen = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t pixelNum = 0;
    uint8_t pixelDen = 0;
};

class StreamVideoWithLayout : public StreamVideo {
public:
    int Serialize(uint8_t* out) override;
    int Parse(const uint8_t* in, uint32_t available) override;
    bool Equals(const Chunk& other) const override;
    void CopyFrom(const Chunk& other) override;

    int32_t layout = 6;
    int32_t rotation = 0;
};

class StreamAudio : public StreamCodec {
public:
    int Serialize(uint8_t* out) override;
    int Parse(const uint8_t* in, uint32_t available) override;
    bool Equals(const Chunk& other) const override;
    void CopyFrom(const Chunk& other) override;

    uint32_t frequency = 0;
    uint32_t channels = 0;
};

class StreamTimeline : public Stream {
public:
    int Serialize(uint8_t* out) override;
    int Parse(const uint8_t* in, uint32_t available) override;
    bool Equals(const Chunk& other) const override;
    void CopyFrom(const Chunk& other) override;

    int32_t refIndex = 0;
};

}  // namespace Korva
