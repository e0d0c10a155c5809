#include "audio/PcmBlockReader.h"

#include <algorithm>
#include <cstring>

#include "app/FrameSources.h"

bool PcmBlockReader::Grab(CAudioGrabber& source, uint32_t channels, uint32_t blockSize,
                          uint32_t maxBlocks, uint32_t* samples, int64_t* time,
                          Delivery* delivery) {
    const uint32_t blocks = std::min(*samples / blockSize, maxBlocks);
    const uint32_t requested = blocks * blockSize;
    uint32_t wanted = requested;
    *samples = 0;
    if (wanted == 0) {
        return false;
    }
    uint32_t sourceSize = 0;
    const uint8_t* data = source.GrabSamples(&wanted, &sourceSize, time);
    if (!data || wanted == 0) {
        return false;
    }
    // Never read past what the source says it handed out, whatever count it reports.
    const uint64_t frameBytes = uint64_t{2} * channels;
    // PCM sources deliver at most the count asked for.
    const uint64_t delivered =
        std::min<uint64_t>({wanted, requested, sourceSize / frameBytes});
    if (delivered == 0) {
        source.ReleaseSamples(sourceSize);
        return false;
    }
    const uint64_t padded = (delivered + blockSize - 1) / blockSize * blockSize;
    if (padded != delivered) {
        const size_t used = static_cast<size_t>(delivered * frameBytes);
        padding_.resize(static_cast<size_t>(padded * frameBytes));
        std::memcpy(padding_.data(), data, used);
        std::fill(padding_.begin() + static_cast<std::ptrdiff_t>(used), padding_.end(), 0);
        data = padding_.data();
    }
    delivery->data = data;
    delivery->samples = static_cast<uint32_t>(padded);
    delivery->sourceSize = sourceSize;
    *samples = delivery->samples;
    return true;
}
