// Muxes synthetic frames from memory into a Cadro file and compares the rate with a plain
// sequential write of the same number of bytes in packet-sized blocks.
//
//   MuxThroughput [megabytes of frames, default 1024] [packet size, default 4096]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cadro/CadroMemory.h"
#include "cadro/CadroMuxer.h"
#include "korva/StreamDescriptors.h"
#include "platform/File.h"
#include "platform/WideText.h"

namespace {

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double MegabytesPerSecond(uint64_t bytes, double seconds) {
    return seconds > 0 ? static_cast<double>(bytes) / (1024.0 * 1024.0) / seconds : 0.0;
}

struct Result {
    uint64_t frames = 0;
    uint64_t frameBytes = 0;
    uint64_t fileBytes = 0;
    double seconds = 0;
};

// One video stream of 40 ms frames, varying around 60 KB, key frame every 25, and one
// audio stream of 4 KB per video frame; all bytes come from one source buffer.
bool RunMux(const std::filesystem::path& path, uint64_t frameBytes, uint32_t packetSize,
            const std::vector<uint8_t>& source, Result* result) {
    constexpr uint32_t kVideoFrame = 60000;
    constexpr uint32_t kAudioFrame = 4096;
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    CadroMemoryMuxer memory;
    CadroMuxer muxer(&memory);
    if (!muxer.Open(Platform::FromUtf8(path.string()), packetSize, 15000000, false, true,
                    false)) {
        std::fprintf(stderr, "cannot open %s for writing\n", path.string().c_str());
        return false;
    }
    Korva::Stream* video = nullptr;
    Korva::Stream* audio = nullptr;
    muxer.AddStream(Korva::kTypeVideoWithLayout, &video);
    muxer.AddStream(Korva::kTypeAudio, &audio);
    static_cast<Korva::StreamAudio*>(audio)->frequency = 48000;
    static_cast<Korva::StreamAudio*>(audio)->channels = 2;

    uint64_t muxed = 0;
    uint64_t frames = 0;
    const auto start = std::chrono::steady_clock::now();
    while (muxed < frameBytes) {
        const int64_t time = 1 + static_cast<int64_t>(frames) * 40000;
        const uint32_t videoSize = kVideoFrame - static_cast<uint32_t>(frames % 17) * 211;
        const bool key = frames % 25 == 0;
        if (!muxer.AddFrame(0, source.data() + frames % 64, videoSize, time, key ? 0 : 1, key) ||
            !muxer.AddFrame(1, source.data(), kAudioFrame, time, 0, false)) {
            std::fprintf(stderr, "write failed\n");
            return false;
        }
        muxed += videoSize + kAudioFrame;
        ++frames;
    }
    if (!muxer.Close()) {
        std::fprintf(stderr, "close failed\n");
        return false;
    }
    result->seconds = Seconds(std::chrono::steady_clock::now() - start);
    result->frames = frames * 2;
    result->frameBytes = muxed;
    result->fileBytes = std::filesystem::file_size(path);
    return true;
}

// The same byte count, written plainly in packet-sized blocks.
bool RunPlain(const std::filesystem::path& path, uint64_t bytes, uint32_t packetSize,
              double* seconds) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    Platform::File plain;
    if (!plain.Open(Platform::FromUtf8(path.string()), Platform::File::Mode::CreateWrite)) {
        std::fprintf(stderr, "cannot open %s for writing\n", path.string().c_str());
        return false;
    }
    std::vector<uint8_t> block(packetSize, 0x5A);
    const auto start = std::chrono::steady_clock::now();
    for (uint64_t written = 0; written < bytes;) {
        const uint32_t n =
            static_cast<uint32_t>(bytes - written < packetSize ? bytes - written : packetSize);
        if (!plain.Write(block.data(), n)) {
            std::fprintf(stderr, "plain write failed\n");
            return false;
        }
        written += n;
    }
    plain.Close();
    *seconds = Seconds(std::chrono::steady_clock::now() - start);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const uint64_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
    const uint32_t packetSize = argc > 2 ? static_cast<uint32_t>(std::atoi(argv[2])) : 4096;
    if (megabytes == 0 || packetSize == 0) {
        std::fprintf(stderr, "usage: MuxThroughput [megabytes] [packet size]\n");
        return 1;
    }
    const std::filesystem::path folder = std::filesystem::temp_directory_path();
    const std::filesystem::path muxPath = folder / "mux_throughput.cadro";
    const std::filesystem::path plainPath = folder / "mux_throughput.bin";
    std::vector<uint8_t> source(64 * 1024);
    for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i * 31 + 7);

    // Two rounds, alternating, so that neither side always pays for the other's dirty
    // pages; the better time of each is reported.
    Result best;
    double bestPlain = 0;
    for (int round = 0; round < 2; ++round) {
        Result mux;
        double plain = 0;
        if (!RunMux(muxPath, megabytes * 1024 * 1024, packetSize, source, &mux) ||
            !RunPlain(plainPath, mux.fileBytes, packetSize, &plain)) {
            return 1;
        }
        if (round == 0 || mux.seconds < best.seconds) best = mux;
        if (round == 0 || plain < bestPlain) bestPlain = plain;
    }

    std::printf("frames muxed:   %llu (%llu frame bytes), packet size %u\n",
                static_cast<unsigned long long>(best.frames),
                static_cast<unsigned long long>(best.frameBytes), packetSize);
    std::printf("file bytes:     %llu\n", static_cast<unsigned long long>(best.fileBytes));
    std::printf("mux:            %8.3f s  %9.1f MB/s of file bytes\n", best.seconds,
                MegabytesPerSecond(best.fileBytes, best.seconds));
    std::printf("plain write:    %8.3f s  %9.1f MB/s\n", bestPlain,
                MegabytesPerSecond(best.fileBytes, bestPlain));

    std::error_code ignored;
    std::filesystem::remove(muxPath, ignored);
    std::filesystem::remove(plainPath, ignored);
    return 0;
}
