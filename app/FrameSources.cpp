#include "app/FrameSources.h"

#include "korva/StreamDescriptors.h"

uint32_t CAudioGrabber::SamplesUntil(int64_t videoEnd) {
    const int64_t rate = GetStream()->frequency;
    const int64_t block = GetBlockSize();
    if (rate <= 0 || block <= 0) {
        return 0;
    }
    // Worked in 64 bits throughout: a 32-bit product wraps once a video step is longer
    // than 2^32 / rate microseconds, and positions pass 2^32 microseconds after 71 minutes.
    const int64_t audioTime = GetSamplePosition() * 1000000 / rate;
    const int64_t span = videoEnd - audioTime - 1;
    if (span <= 0) {
        return 0;
    }
    const int64_t samples = (span * rate / 1000000 + block / 2) / block * block;
    return samples > UINT32_MAX ? static_cast<uint32_t>(UINT32_MAX / block * block)
                                : static_cast<uint32_t>(samples);
}
