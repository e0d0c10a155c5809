#include "korva/StreamDescriptors.h"

#include <new>

#include "korva/ByteOrder.h"
#include "korva/Memory.h"
#include "korva/VarUInt.h"

namespace Korva {

namespace {

// Payload offsets shared by every stream record.
constexpr uint32_t kIndexOffset = 0;
// Codec streams.
constexpr uint32_t kCodecOffset = 1;
// Video and video with layout.
constexpr uint32_t kRateNumOffset = 2;
constexpr uint32_t kRateDenOffset = 4;
constexpr uint32_t kWidthOffset = 6;
constexpr uint32_t kHeightOffset = 8;
constexpr uint32_t kPixelNumOffset = 10;
constexpr uint32_t kPixelDenOffset = 11;
// Video with layout: rotation in the high nibble, layout in the low nibble.
constexpr uint32_t kLayoutOffset = 12;
constexpr uint32_t kNibbleBits = 4;
constexpr uint8_t kNibbleMask = 0x0F;
// Audio: (frequency - 1) in the top 24 bits, (channels - 1) in the low 8.
constexpr uint32_t kAudioFormatOffset = 2;
constexpr uint32_t kChannelBits = 8;
constexpr uint32_t kChannelMask = 0xFF;
// Timeline.
constexpr uint32_t kRefIndexOffset = 1;

uint32_t WriteRecordHeader(const Chunk& chunk, uint8_t* out) {
    uint32_t n = WriteVarUInt(out, chunk.type);
    n += WriteVarUInt(out + n, chunk.size);
    return n;
}

void WriteVideoPayload(const StreamVideo& s, uint8_t* p) {
    p[kIndexOffset] = static_cast<uint8_t>(s.index);
    p[kCodecOffset] = static_cast<uint8_t>(s.codec);
    StoreBE16(p + kRateNumOffset, s.rateNum);
    StoreBE16(p + kRateDenOffset, s.rateDen);
    StoreBE16(p + kWidthOffset, s.width);
    StoreBE16(p + kHeightOffset, s.height);
    p[kPixelNumOffset] = s.pixelNum;
    p[kPixelDenOffset] = s.pixelDen;
}

// Index and codec, the start of every codec stream's payload. Returns -1 when short.
int ParseIndexAndCodec(StreamCodec& s, const uint8_t* in, uint32_t available) {
    if (available < kIndexOffset + 1) return -1;
    s.index = in[kIndexOffset];
    if (available < kCodecOffset + 1) return -1;
    s.codec = in[kCodecOffset];
    return 0;
}

}  // namespace

// Chunk ------------------------------------------------------------------------------

int Chunk::Serialize(uint8_t* out) { return static_cast<int>(WriteRecordHeader(*this, out)); }

bool Chunk::Equals(const Chunk& other) const {
    return type == other.type && size == other.size;
}

void Chunk::CopyFrom(const Chunk& other) {
    type = other.type;
    size = other.size;
}

// Stream -----------------------------------------------------------------------------

Stream::~Stream() {
    if (extra != nullptr) {
        // The attachment may be a derived object; free the block it was allocated as.
        void* block = dynamic_cast<void*>(extra);
        extra->~StreamAttachment();
        memory->Free(block);
        extra = nullptr;
    }
}

uint32_t Stream::RecordSize() const { return VarUIntSize(type) + VarUIntSize(size) + size; }

int Stream::Serialize(uint8_t* out) {
    const uint32_t n = WriteRecordHeader(*this, out);
    out[n + kIndexOffset] = static_cast<uint8_t>(index);
    return static_cast<int>(n + 1);
}

int Stream::Parse(const uint8_t* in, uint32_t available) {
    if (available < kIndexOffset + 1) return -1;
    index = in[kIndexOffset];
    return 1;
}

// StreamVideo ------------------------------------------------------------------------

int StreamVideo::Serialize(uint8_t* out) {
    const uint32_t n = WriteRecordHeader(*this, out);
    WriteVideoPayload(*this, out + n);
    return static_cast<int>(n + kSizeVideo);
}

int StreamVideo::Parse(const uint8_t* in, uint32_t available) {
    if (ParseIndexAndCodec(*this, in, available) < 0) return -1;
    if (available < kSizeVideo) return -1;
    rateNum = LoadBE16(in + kRateNumOffset);
    rateDen = LoadBE16(in + kRateDenOffset);
    width = LoadBE16(in + kWidthOffset);
    height = LoadBE16(in + kHeightOffset);
    pixelNum = in[kPixelNumOffset];
    pixelDen = in[kPixelDenOffset];
    return static_cast<int>(kSizeVideo);
}

bool StreamVideo::Equals(const Chunk& other) const {
    const auto& o = static_cast<const StreamVideo&>(other);
    return Chunk::Equals(other) && codec == o.codec && rateNum == o.rateNum &&
           rateDen == o.rateDen && width == o.width && height == o.height &&
           pixelNum == o.pixelNum && pixelDen == o.pixelDen;
}

void StreamVideo::CopyFrom(const Chunk& other) {
    const auto& o = static_cast<const StreamVideo&>(other);
    Chunk::CopyFrom(other);
    codec = o.codec;
    rateNum = o.rateNum;
    rateDen = o.rateDen;
    width = o.width;
    height = o.height;
    pixelNum = o.pixelNum;
    pixelDen = o.pixelDen;
}

// StreamVideoWithLayout --------------------------------------------------------------

int StreamVideoWithLayout::Serialize(uint8_t* out) {
    const uint32_t n = WriteRecordHeader(*this, out);
    WriteVideoPayload(*this, out + n);
    out[n + kLayoutOffset] = static_cast<uint8_t>((rotation << kNibbleBits) | layout);
    return static_cast<int>(n + kSizeVideoWithLayout);
}

int StreamVideoWithLayout::Parse(const uint8_t* in, uint32_t available) {
    if (StreamVideo::Parse(in, available) < 0) return -1;
    if (available < kSizeVideoWithLayout) return -1;
    layout = in[kLayoutOffset] & kNibbleMask;
    rotation = in[kLayoutOffset] >> kNibbleBits;
    return static_cast<int>(kSizeVideoWithLayout);
}

bool StreamVideoWithLayout::Equals(const Chunk& other) const {
    // Rotation is display advice only and does not make a different stream.
    const auto& o = static_cast<const StreamVideoWithLayout&>(other);
    return StreamVideo::Equals(other) && layout == o.layout;
}

void StreamVideoWithLayout::CopyFrom(const Chunk& other) {
    const auto& o = static_cast<const StreamVideoWithLayout&>(other);
    StreamVideo::CopyFrom(other);
    layout = o.layout;
    rotation = o.rotation;
}

// StreamAudio ------------------------------------------------------------------------

int StreamAudio::Serialize(uint8_t* out) {
    const uint32_t n = WriteRecordHeader(*this, out);
    uint8_t* p = out + n;
    p[kIndexOffset] = static_cast<uint8_t>(index);
    p[kCodecOffset] = static_cast<uint8_t>(codec);
    StoreBE32(p + kAudioFormatOffset, ((frequency - 1) << kChannelBits) | (channels - 1));
    return static_cast<int>(n + kSizeAudio);
}

int StreamAudio::Parse(const uint8_t* in, uint32_t available) {
    if (ParseIndexAndCodec(*this, in, available) < 0) return -1;
    if (available < kSizeAudio) return -1;
    const uint32_t v = LoadBE32(in + kAudioFormatOffset);
    frequency = (v >> kChannelBits) + 1;
    channels = (v & kChannelMask) + 1;
    return static_cast<int>(kSizeAudio);
}

bool StreamAudio::Equals(const Chunk& other) const {
    const auto& o = static_cast<const StreamAudio&>(other);
    return Chunk::Equals(other) && codec == o.codec && frequency == o.frequency &&
           channels == o.channels;
}

void StreamAudio::CopyFrom(const Chunk& other) {
    const auto& o = static_cast<const StreamAudio&>(other);
    Chunk::CopyFrom(other);
    codec = o.codec;
    frequency = o.frequency;
    channels = o.channels;
}

// StreamTimeline ---------------------------------------------------------------------

int StreamTimeline::Serialize(uint8_t* out) {
    const uint32_t n = WriteRecordHeader(*this, out);
    out[n + kIndexOffset] = static_cast<uint8_t>(index);
    out[n + kRefIndexOffset] = static_cast<uint8_t>(refIndex);
    return static_cast<int>(n + kSizeTimeline);
}

int StreamTimeline::Parse(const uint8_t* in, uint32_t available) {
    if (available < kIndexOffset + 1) return -1;
    index = in[kIndexOffset];
    if (available < kRefIndexOffset + 1) return -1;
    refIndex = in[kRefIndexOffset];
    return static_cast<int>(kSizeTimeline);
}

bool StreamTimeline::Equals(const Chunk& other) const {
    const auto& o = static_cast<const StreamTimeline&>(other);
    return Chunk::Equals(other) && refIndex == o.refIndex;
}

void StreamTimeline::CopyFrom(const Chunk& other) {
    const auto& o = static_cast<const StreamTimeline&>(other);
    Chunk::CopyFrom(other);
    refIndex = o.refIndex;
}

// Destruction ------------------------------------------------------------------------

void DestroyStream(Stream* stream) {
    if (stream == nullptr) return;
    Memory* memory = stream->memory;
    // The registry's factories allocate the most-derived object at the block's start.
    void* block = dynamic_cast<void*>(stream);
    stream->~Stream();
    memory->Free(block);
}

}  // namespace Korva
