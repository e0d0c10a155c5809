#pragma once
// Fetches interleaved PCM 16 from a source in whole blocks of samples per channel, padding
// the last, short delivery of the stream with silence up to the next block boundary.
#include <cstddef>
#include <cstdint>
#include <vector>

class CAudioGrabber;

// A little-endian signed 16-bit sample at byte offset 2 * index. PCM sources hand out
// plain bytes with no alignment promise, so samples are assembled byte by byte.
inline int16_t PcmSampleAt(const uint8_t* data, size_t index) {
    const uint8_t* p = data + 2 * index;
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}

class PcmBlockReader {
public:
    struct Delivery {
        const uint8_t* data = nullptr;  // channels * samples interleaved values
        uint32_t samples = 0;           // per channel, a whole number of blocks
        uint32_t sourceSize = 0;        // bytes to release on the source
    };

    // Asks `source` for `*samples` rounded down to whole blocks, capped at `maxBlocks`
    // blocks. On success `*samples` is the padded count and `time` the source's time of
    // the first sample. Returns false (with `*samples` 0) when nothing was delivered; the
    // source has then nothing to release.
    bool Grab(CAudioGrabber& source, uint32_t channels, uint32_t blockSize, uint32_t maxBlocks,
              uint32_t* samples, int64_t* time, Delivery* delivery);

private:
    std::vector<uint8_t> padding_;
};
