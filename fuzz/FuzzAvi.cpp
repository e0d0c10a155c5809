// The AVI parser and its grabbers: open, the -info report, then every video stream (with
// its key-frame timeline) and every audio stream read to the end together, as a mux
// run reads them.
#include <memory>
#include <vector>

#include "app/Reports.h"
#include "fuzz/FuzzSupport.h"
#include "sources/AviAudioGrabber.h"
#include "sources/AviInputFile.h"
#include "sources/AviVideoGrabber.h"
#include "sources/TimelineGrabbers.h"

namespace {
// Streams taken per kind; more only repeats the same code.
constexpr uint32_t kMaxStreamsPerKind = 3;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    AviInputFile input;
    input.name = fuzz::WriteScratchFile(data, size, ".avi");
    if (!input.Open()) {
        return 0;
    }
    fuzz::NullConsole console;
    ReportAvi(input, false, console);

    CAviFile& file = input.GetFile();
    fuzz::DroppingMux mux;
    int32_t output = 0;
    std::vector<std::unique_ptr<CAviVideoGrabber>> videos;
    std::vector<std::unique_ptr<CAviTimelineGrabber>> timelines;
    for (uint32_t i = 0; i < file.VideoStreamCount() && i < kMaxStreamsPerKind; ++i) {
        auto video = std::make_unique<CAviVideoGrabber>();
        // Alternate stereo layouts: interleaved pairs walk the stream two frames a step.
        const int32_t layout = i == 1 ? 1 : 6;
        if (video->Init(&file, i, layout, 0, 1, 1, output++, mux.Get())) {
            auto timeline = std::make_unique<CAviTimelineGrabber>();
            if (timeline->Init(&file, i, video->GetDescriptor(), output++, mux.Get())) {
                timelines.push_back(std::move(timeline));
            }
            videos.push_back(std::move(video));
        }
    }
    std::vector<std::unique_ptr<CAviAudioGrabber>> audios;
    for (uint32_t i = 0; i < file.AudioStreamCount() && i < kMaxStreamsPerKind; ++i) {
        auto audio = std::make_unique<CAviAudioGrabber>();
        if (audio->Init(&file, i, output++, mux.Get())) {
            audios.push_back(std::move(audio));
        }
    }

    std::vector<bool> videoOpen(videos.size(), true);
    std::vector<bool> audioOpen(audios.size(), true);
    for (int step = 0;; ++step) {
        if (step == fuzz::kStepLimit) {
            fuzz::Spinning("AVI grabbers");
        }
        bool any = false;
        for (size_t i = 0; i < videos.size(); ++i) {
            if (videoOpen[i]) {
                uint32_t frameSize = 0, frameType = 0;
                int64_t time = 0;
                videoOpen[i] = videos[i]->GrabFrame(&frameSize, &frameType, &time) != nullptr;
                any = any || videoOpen[i];
            }
        }
        for (size_t i = 0; i < audios.size(); ++i) {
            if (audioOpen[i]) {
                // Odd request sizes cross chunk boundaries at every place.
                uint32_t samples = 37 + static_cast<uint32_t>(step % 300), bytes = 0;
                int64_t time = 0;
                audioOpen[i] = audios[i]->GrabSamples(&samples, &bytes, &time) != nullptr;
                if (audioOpen[i]) {
                    audios[i]->ReleaseSamples(bytes);
                }
                any = any || audioOpen[i];
            }
        }
        if (!any) {
            break;
        }
    }
    return 0;
}
