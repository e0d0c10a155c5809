#include "tests/support/LongAvi.h"

#include "tests/support/AviBuilder.h"

namespace LongAvi {

uint64_t Write(const std::filesystem::path& path, uint64_t targetBytes,
               const std::string& handler) {
    AviBuilder avi;
    avi.openDmlIndex = true;
    const int video = avi.AddStream(AviBuilder::Video(handler, kFrameRate, 1, 1280, 720));
    const int audio = avi.AddStream(AviBuilder::Audio(1, 2, kSampleRate, 16));
    uint64_t bytes = 0;
    uint64_t sinceExtension = 0;
    for (uint32_t frame = 0; bytes < targetBytes; ++frame) {
        if (sinceExtension >= kExtensionBytes) {
            avi.StartExtension();
            sinceExtension = 0;
        }
        const uint32_t size = kVideoFrameBytes + (frame * 7919) % 4096;
        avi.AddPatternChunk(video, size, frame % kKeyFrameInterval == 0,
                            static_cast<uint8_t>(frame));
        avi.AddPatternChunk(audio, kAudioChunkBytes, true, static_cast<uint8_t>(frame));
        const uint64_t step = size + kAudioChunkBytes + 16;  // two 8-byte chunk headers
        bytes += step;
        sinceExtension += step;
    }
    if (!avi.WriteTo(path)) return 0;
    return std::filesystem::file_size(path);
}

}  // namespace LongAvi
