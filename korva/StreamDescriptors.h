#pragma once
// Stream descriptors: what one stream of a Cadro file carries, and their record form
// (type and size as variable-length integers, then a fixed payload, big-endian).
#include <cstdint>

namespace Korva {

class Memory;

// Record type codes (Chunk::type).
inline constexpr uint32_t kTypeEnd = 0;  // end of a descriptor list; never an object
inline constexpr uint32_t kTypeVideo = 1;
inline constexpr uint32_t kTypeAudio = 2;
inline constexpr uint32_t kTypeVideoWithLayout = 3;
inline constexpr uint32_t kTypeTimeline = 4;

// Fixed payload sizes (Chunk::size) per type.
inline constexpr uint32_t kSizeVideo = 12;
inline constexpr uint32_t kSizeAudio = 6;
inline constexpr uint32_t kSizeVideoWithLayout = 13;
inline constexpr uint32_t kSizeTimeline = 2;
// The longest record of any type: one-byte type and size, then the largest payload.
inline constexpr uint32_t kLargestDescriptorRecord = 2 + kSizeVideoWithLayout;

// Video codecs (codec of types 1 and 3).
inline constexpr int32_t kVideoCodecTarsic = 0;
inline constexpr int32_t kVideoCodecDunmar = 1;
inline constexpr int32_t kVideoCodecTarsicHd = 2;

// Audio codecs (codec of type 2).
inline constexpr int32_t kAudioCodecVelune = 0;
inline constexpr int32_t kAudioCodecImaAdpcm = 1;
inline constexpr int32_t kAudioCodecPcm16 = 2;
inline constexpr int32_t kAudioCodecAac = 3;
inline constexpr int32_t kAudioCodecDspAdpcm = 4;

// Stereoscopic layouts (StreamVideoWithLayout::layout).
inline constexpr int32_t kLayoutInterleavedLeftFirst = 0;
inline constexpr int32_t kLayoutInterleavedRightFirst = 1;
inline constexpr int32_t kLayoutTopBottomLeftFirst = 2;
inline constexpr int32_t kLayoutTopBottomRightFirst = 3;
inline constexpr int32_t kLayoutSideBySideLeftFirst = 4;
inline constexpr int32_t kLayoutSideBySideRightFirst = 5;
inline constexpr int32_t kLayoutNone = 6;

// Clockwise rotations (StreamVideoWithLayout::rotation).
inline constexpr int32_t kRotationNone = 0;
inline constexpr int32_t kRotation90 = 1;
inline constexpr int32_t kRotation180 = 2;
inline constexpr int32_t kRotation270 = 3;

// What a descriptor may own besides itself: the demuxer's frame queue. Allocated from the
// descriptor's memory; the descriptor destroys it and returns its bytes.
class StreamAttachment {
public:
    virtual ~StreamAttachment() = default;
};

class Chunk {
public:
    virtual ~Chunk() = default;
    // Writes the record (header, then payload); returns the bytes written. The buffer must
    // have room for the whole record.
    virtual int Serialize(uint8_t* out);
    // Reads the payload; returns the bytes used, or -1 as soon as a field is not covered
    // by `available` (fields read before stay assigned).
    virtual int Parse(const uint8_t* in, uint32_t available) = 0;
    virtual bool IsStream() const { return false; }
    // `other` is of the same class.
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

    // Bytes of the record: variable-length type and size plus the payload.
    uint32_t RecordSize() const;

    Memory* memory = nullptr;
    StreamAttachment* extra = nullptr;  // the demuxer's frame queue; always null when muxing
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

    int32_t layout = kLayoutNone;
    int32_t rotation = kRotationNone;
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

// Runs the descriptor's destructor and returns its bytes to the memory it came from.
// Null is accepted.
void DestroyStream(Stream* stream);

}  // namespace Korva
