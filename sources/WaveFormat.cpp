#include "sources/WaveFormat.h"

#include <algorithm>
#include <cstring>

#include "sources/LittleEndian.h"

namespace {
// Byte offsets of the fields.
constexpr uint32_t kFormatTag = 0;
constexpr uint32_t kChannels = 2;
constexpr uint32_t kSamplesPerSec = 4;
constexpr uint32_t kAvgBytesPerSec = 8;
constexpr uint32_t kBlockAlign = 12;
constexpr uint32_t kBitsPerSample = 14;
constexpr uint32_t kCbSize = 16;
constexpr uint32_t kValidBits = 18;
constexpr uint32_t kChannelMask = 20;
constexpr uint32_t kSubFormat = 24;
}  // namespace

WaveFormat WaveFormat::Decode(const uint8_t* bytes, uint32_t count) {
    uint8_t area[kExtensibleSize] = {};
    if (bytes != nullptr && count > 0) {
        std::memcpy(area, bytes, std::min(count, kExtensibleSize));
    }
    WaveFormat format;
    format.formatTag = Riff::ReadU16(area + kFormatTag);
    format.channels = Riff::ReadU16(area + kChannels);
    format.samplesPerSec = Riff::ReadU32(area + kSamplesPerSec);
    format.avgBytesPerSec = Riff::ReadU32(area + kAvgBytesPerSec);
    format.blockAlign = Riff::ReadU16(area + kBlockAlign);
    format.bitsPerSample = Riff::ReadU16(area + kBitsPerSample);
    format.cbSize = Riff::ReadU16(area + kCbSize);
    format.validBitsPerSample = Riff::ReadU16(area + kValidBits);
    format.channelMask = Riff::ReadU32(area + kChannelMask);
    std::memcpy(format.subFormat, area + kSubFormat, sizeof format.subFormat);
    return format;
}
