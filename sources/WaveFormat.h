#pragma once
// The wave format record of WAV files and AVI audio streams, decoded from its
// little-endian bytes (the extensible form is 40 bytes; the plain form is its first 16
// or 18).
#include <cstdint>

struct WaveFormat {
    static constexpr uint32_t kExtensibleSize = 40;
    static constexpr uint16_t kTagPcm = 1;
    static constexpr uint16_t kTagExtensible = 0xFFFE;

    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint16_t cbSize = 0;
    uint16_t validBitsPerSample = 0;
    uint32_t channelMask = 0;
    uint8_t subFormat[16] = {};

    // `count` bytes of the record are present (at most 40); fields past them are zero.
    static WaveFormat Decode(const uint8_t* bytes, uint32_t count);

    // The first 16-bit value of SubFormat: the format tag an extensible record stands for.
    uint16_t SubFormatTag() const { return static_cast<uint16_t>(subFormat[0] | (subFormat[1] << 8)); }
    // PCM, either plainly tagged or through an extensible record with a PCM sub-format.
    bool IsPcm() const {
        return formatTag == kTagPcm || (formatTag == kTagExtensible && SubFormatTag() == kTagPcm);
    }
};
