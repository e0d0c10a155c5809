#pragma once
// A long AVI for the benchmarks, like an hour-long clip in miniature: 1280x720 video at
// 25 fps with a key frame a second and frames of about 40 KB (8 Mbit/s), 48 kHz stereo
// PCM in one chunk per frame, both OpenDML and idx1 indexes, a new RIFF list every 256 MB.
#include <cstdint>
#include <filesystem>
#include <string>

namespace LongAvi {

constexpr uint32_t kFrameRate = 25;
constexpr uint32_t kVideoFrameBytes = 40000;
constexpr uint32_t kSampleRate = 48000;
constexpr uint32_t kAudioChunkBytes = kSampleRate / kFrameRate * 4;  // stereo, 16 bits
constexpr uint32_t kKeyFrameInterval = 25;
constexpr uint64_t kExtensionBytes = 256ull << 20;

// Writes at least `targetBytes` of chunks with the video handler `handler`; video frame
// sizes vary by up to 4 KB, as coded frames do. Returns the file's size, 0 on failure.
uint64_t Write(const std::filesystem::path& path, uint64_t targetBytes,
               const std::string& handler = "TZNK");

}  // namespace LongAvi
