// Walks a generated AVI file (video and PCM audio, interleaved) the way a mux run reads
// it, and reports the read rate and the peak memory of the process. The memory must not
// depend on the file's length: only the chunks between the readers' positions are held.
//
//   AviWalk [megabytes [path]]     default 1024 MB in the temporary folder
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/FrameSources.h"
#include "sources/AviAudioGrabber.h"
#include "sources/AviInputFile.h"
#include "sources/AviVideoGrabber.h"
#include "tests/support/LongAvi.h"
#include "tests/support/TestMux.h"

namespace {

using LongAvi::kFrameRate;

// A line of /proc/self/status in kB, or -1 where there is none.
long StatusKilobytes(const std::string& key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key + ":", 0) == 0) {
            return std::strtol(line.c_str() + key.size() + 1, nullptr, 10);
        }
    }
    return -1;
}

// Starts a new peak measurement, where the system allows it.
void ResetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

struct WalkResult {
    double seconds = 0;
    uint64_t frames = 0;
    uint64_t samples = 0;
    uint64_t peakQueued = 0;
    long peakKilobytes = -1;
};

// One pass over the file like the mux loop: a video frame, then the audio up to the
// video's end time. Without `withAudio` the audio stream has no reader at all.
bool Walk(const std::filesystem::path& path, bool withAudio, WalkResult* result) {
    AviInputFile input;
    input.name = path.wstring();
    if (!input.Open()) {
        return false;
    }
    CAviFile& file = input.GetFile();
    TestMux mux;
    CAviVideoGrabber video;
    CAviAudioGrabber audio;
    if (!video.Init(&file, 0, 6, 0, 1, 1, 0, mux.Get()) ||
        (withAudio && !audio.Init(&file, 0, 1, mux.Get()))) {
        return false;
    }
    ResetPeak();
    auto start = std::chrono::steady_clock::now();
    int64_t videoEnd = 1;
    uint32_t size, type;
    int64_t time;
    while (video.GrabFrame(&size, &type, &time) != nullptr) {
        ++result->frames;
        videoEnd = std::max<int64_t>(videoEnd, time + 1000000 / kFrameRate);
        if (withAudio) {
            uint32_t samples = audio.SamplesUntil(videoEnd);
            if (audio.GrabSamples(&samples, &size, &time) != nullptr) {
                result->samples += samples;
                audio.ReleaseSamples(size);
            }
        }
        result->peakQueued = std::max(result->peakQueued, file.QueuedBytes());
    }
    result->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result->peakKilobytes = StatusKilobytes("VmHWM");
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    uint64_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
    std::filesystem::path path = argc > 2 ? std::filesystem::path(argv[2])
                                          : std::filesystem::temp_directory_path() / "AviWalk.avi";
    if (megabytes == 0) {
        std::fprintf(stderr, "usage: AviWalk [megabytes [path]]\n");
        return 2;
    }
    std::printf("generating %llu MB at %s\n", static_cast<unsigned long long>(megabytes),
                path.string().c_str());
    uint64_t fileBytes = LongAvi::Write(path, megabytes << 20);
    if (fileBytes == 0) {
        std::fprintf(stderr, "cannot write %s\n", path.string().c_str());
        return 1;
    }
    std::printf("file: %.1f MB; resident before walking: %ld kB\n", fileBytes / 1048576.0,
                StatusKilobytes("VmRSS"));
    int status = 0;
    for (bool withAudio : {true, false}) {
        WalkResult result;
        if (!Walk(path, withAudio, &result)) {
            std::fprintf(stderr, "cannot walk %s\n", path.string().c_str());
            status = 1;
            break;
        }
        std::printf("%-18s %8llu frames %11llu samples  %7.2f s  %8.1f MB/s  peak queued %llu bytes"
                    "  peak resident %ld kB\n",
                    withAudio ? "video and audio:" : "video only:",
                    static_cast<unsigned long long>(result.frames),
                    static_cast<unsigned long long>(result.samples), result.seconds,
                    fileBytes / 1048576.0 / result.seconds,
                    static_cast<unsigned long long>(result.peakQueued), result.peakKilobytes);
    }
    std::filesystem::remove(path);
    return status;
}
