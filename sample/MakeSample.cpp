// Writes the built-in sample: a short AVI with a "TZNK" video stream of synthetic frames
// (one key frame a second) and a stereo 48 kHz PCM 16 tone.
#include <cmath>
#include <cstdio>
#include <vector>

#include "tests/support/AviBuilder.h"

namespace {
constexpr double kPi = 3.14159265358979323846;
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: MakeSample OUTPUT.avi\n");
        return 2;
    }
    constexpr int kSeconds = 4;
    constexpr int kFps = 25;
    constexpr int kRate = 48000;
    AviBuilder avi;
    const int video = avi.AddStream(AviBuilder::Video("TZNK", kFps, 1, 320, 240));
    const int audio = avi.AddStream(AviBuilder::Audio(1, 2, kRate, 16));
    constexpr int kSamplesPerFrame = kRate / kFps;
    int64_t sample = 0;
    for (int frame = 0; frame < kSeconds * kFps; ++frame) {
        const bool key = frame % kFps == 0;
        avi.AddPatternChunk(video, key ? 6000 : 1500 + (frame % 7) * 100, key,
                            static_cast<uint8_t>(frame));
        std::vector<uint8_t> pcm;
        pcm.reserve(kSamplesPerFrame * 4);
        for (int i = 0; i < kSamplesPerFrame; ++i, ++sample) {
            const double t = static_cast<double>(sample) / kRate;
            const auto left = static_cast<int16_t>(8000 * std::sin(2 * kPi * 440 * t));
            const auto right = static_cast<int16_t>(6000 * std::sin(2 * kPi * 660 * t));
            PutU16(pcm, static_cast<uint16_t>(left));
            PutU16(pcm, static_cast<uint16_t>(right));
        }
        avi.AddChunk(audio, pcm);
    }
    if (!avi.WriteTo(argv[1])) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
