#include "app/MuxRun.h"

#include <memory>
#include <string>
#include <vector>

#include "app/FrameSources.h"
#include "app/Reports.h"
#include "audio/CDspAdpcmGrabber.h"
#include "audio/CImaAdpcmGrabber.h"
#include "audio/CVeluneGrabber.h"
#include "cadro/CadroInputFile.h"
#include "cadro/CadroMemory.h"
#include "cadro/CadroMuxer.h"
#include "korva/StreamDescriptors.h"
#include "korva/Timeline.h"
#include "platform/File.h"
#include "sources/AacAudioGrabber.h"
#include "sources/AacInputFile.h"
#include "sources/AviAudioGrabber.h"
#include "sources/AviFile.h"
#include "sources/AviInputFile.h"
#include "sources/AviVideoGrabber.h"
#include "sources/PcmFormat.h"
#include "sources/TimelineGrabbers.h"
#include "sources/WavAudioGrabber.h"
#include "sources/WavInputFile.h"

namespace {

constexpr const wchar_t* kWriteFailed = L"Error: cannot write to output Cadro file\n";

constexpr const wchar_t* kNoSampleRate = L"Error: audio stream has no sample rate\n";
// The profile field of an ADTS header for AAC LC.
constexpr int kAacProfileLowComplexity = 1;

// A format the PCM grabbers would take but for its sample rate of 0: the run loop
// divides by the rate, so it gets its own message instead of the format one.
bool LacksSampleRate(const WaveFormat& format, bool allowExtensible) {
    if (format.samplesPerSec != 0) {
        return false;
    }
    WaveFormat withRate = format;
    withRate.samplesPerSec = 1;
    return PcmFormat::IsAccepted(withRate, allowExtensible);
}

std::wstring Num(int64_t value) {
    return std::to_wstring(value);
}

struct VideoSource {
    std::unique_ptr<CAviVideoGrabber> grabber;
    AviInputFile* file;
    int32_t streamIndex;
};

struct AudioSource {
    std::unique_ptr<CAudioGrabber> grabber;  // the encoder when there is one
    GenericInputFile* file;                  // the file its source stream comes from
    int32_t streamIndex;
    bool aac;
    // DSP-ADPCM frames report 32 samples of history on top of the new ones; the audio
    // timeline counts what the source actually gave.
    bool countSourceSamples;
};

struct TimelineSink {
    std::unique_ptr<CTimelineGrabber> grabber;
    uint32_t nextEntry = 0;  // entries are in frame order; key frames arrive in that order
};

class MuxRun {
public:
    MuxRun(MuxJob& job, CadroMuxer& muxer, Platform::Console& console)
        : job_(job), muxer_(muxer), console_(console) {}

    bool SelectStreams();
    bool HasVideo() const { return !videos_.empty(); }
    bool HasAudio() const { return !audios_.empty(); }
    bool HasTimelines() const { return !timelines_.empty(); }
    bool WriteTimelines();
    bool Interleave();

private:
    bool SelectVideo(const StreamSelection& selection);
    bool SelectAudio(const StreamSelection& selection);
    bool SelectTimeline(const StreamSelection& selection);
    // `kind` is "video" or "audio"; `count` the AVI file's streams of that kind.
    bool CheckStreamIndex(int64_t count, int32_t streamIndex, const std::wstring& kind);
    bool AddAudio(std::unique_ptr<CAudioGrabber> pcm, const StreamSelection& selection,
                  GenericInputFile* file, bool aac);
    std::unique_ptr<CAudioGrabber> WrapEncoder(std::unique_ptr<CAudioGrabber> pcm, int32_t format);
    bool StepVideo(VideoSource& video, bool* ended);
    bool StepAudio(AudioSource& audio);
    void NoteKeyFrame(int32_t streamIndex, int32_t frameIndex);
    bool Fail(const std::wstring& message) {
        console_.Write(message);
        return false;
    }

    MuxJob& job_;
    CadroMuxer& muxer_;
    Platform::Console& console_;
    std::vector<VideoSource> videos_;
    std::vector<AudioSource> audios_;
    std::vector<TimelineSink> timelines_;
    int32_t nextIndex_ = 0;
    int64_t videoEnd_ = 1;
};

bool MuxRun::SelectStreams() {
    for (const StreamSelection& selection : job_.selections) {
        // The command line only makes indexes of declared files; a job built any other
        // way must not reach past the list.
        if (selection.fileIndex < 0 ||
            static_cast<size_t>(selection.fileIndex) >= job_.inputFiles.size()) {
            return false;
        }
        bool ok = selection.kind == kSelectVideo   ? SelectVideo(selection)
                  : selection.kind == kSelectAudio ? SelectAudio(selection)
                                                   : SelectTimeline(selection);
        if (!ok) {
            return false;
        }
    }
    return true;
}

bool MuxRun::CheckStreamIndex(int64_t count, int32_t streamIndex, const std::wstring& kind) {
    if (streamIndex >= 0 && streamIndex < count) {
        return true;
    }
    if (count == 0) {
        return Fail(L"Error: " + kind + L" stream index out of range, no " + kind +
                    L" steam inside avi file\n");
    }
    return Fail(L"Error: " + kind + L" stream index out of range; max value is " +
                Num(count - 1) + L", got " + Num(streamIndex) + L"\n");
}

bool MuxRun::SelectVideo(const StreamSelection& selection) {
    auto* file = dynamic_cast<AviInputFile*>(job_.inputFiles[selection.fileIndex].get());
    if (!file) {
        return false;
    }
    CAviFile& avi = file->GetFile();
    if (!CheckStreamIndex(avi.VideoStreamCount(), selection.streamIndex, L"video")) {
        return false;
    }
    const auto videoIndex = static_cast<uint32_t>(selection.streamIndex);
    int32_t layout = selection.layout;
    int32_t rotation = selection.setting;
    if (!selection.rotationGiven && !selection.stereoGiven) {
        ChooseLayout(avi, videoIndex, selection.firstEyeLeft, &layout, &rotation);
    }
    for (const VideoSource& video : videos_) {
        if (video.file == file && video.streamIndex == selection.streamIndex) {
            return Fail(L"Error: video stream index " + Num(selection.streamIndex) + L" of file " +
                        Num(selection.fileIndex) + L" is already used\n");
        }
    }
    if (layout == Korva::kLayoutInterleavedLeftFirst ||
        layout == Korva::kLayoutInterleavedRightFirst) {
        const uint32_t frames = avi.VideoFrameCount(videoIndex);
        if (frames % 2 != 0) {
            return Fail(L"Error: number of frames of stereoscopic interleaved video is odd, got " +
                        Num(frames) + L"\n");
        }
    }
    // Frame times and the run loop divide by the rate; the grabber would refuse such a
    // stream too, but under the wrong name.
    const AviStreamHeader& header = avi.VideoHeaders()[videoIndex];
    if (header.rate == 0 || header.scale == 0) {
        return Fail(L"Error: video stream " + Num(selection.streamIndex) + L" has no frame rate\n");
    }
    auto grabber = std::make_unique<CAviVideoGrabber>();
    if (!grabber->Init(&avi, videoIndex, layout, rotation, 1, 1, nextIndex_, &muxer_)) {
        return Fail(L"Error: video stream " + Num(selection.streamIndex) +
                    L" is not a Tarsic video stream\n");
    }
    // The run loop divides by the frame rate.
    if (grabber->GetStream()->rateNum == 0) {
        return Fail(L"Error: video stream " + Num(selection.streamIndex) + L" has no frame rate\n");
    }
    videos_.push_back({std::move(grabber), file, selection.streamIndex});
    ++nextIndex_;
    return true;
}

bool MuxRun::SelectAudio(const StreamSelection& selection) {
    GenericInputFile* file = job_.inputFiles[selection.fileIndex].get();
    const std::wstring fileNumber = Num(selection.fileIndex);
    if (auto* aviFile = dynamic_cast<AviInputFile*>(file)) {
        CAviFile& avi = aviFile->GetFile();
        if (!CheckStreamIndex(avi.AudioStreamCount(), selection.streamIndex, L"audio")) {
            return false;
        }
        if (LacksSampleRate(avi.AudioFormats()[selection.streamIndex].format, false)) {
            return Fail(kNoSampleRate);
        }
        auto grabber = std::make_unique<CAviAudioGrabber>();
        if (!grabber->Init(&avi, static_cast<uint32_t>(selection.streamIndex), nextIndex_,
                           &muxer_)) {
            return Fail(L"Error: audio stream " + Num(selection.streamIndex) +
                        L" format is not PCM 16 bits mono or stereo\n");
        }
        for (const AudioSource& audio : audios_) {
            if (audio.file == file && audio.streamIndex == selection.streamIndex) {
                return Fail(L"Error: audio stream index " + Num(selection.streamIndex) +
                            L" of file " + fileNumber + L" is already used\n");
            }
        }
        return AddAudio(std::move(grabber), selection, file, false);
    }
    if (auto* wavFile = dynamic_cast<WavInputFile*>(file)) {
        if (LacksSampleRate(wavFile->GetReader().Format(), true)) {
            return Fail(kNoSampleRate);
        }
        auto grabber = std::make_unique<CWavAudioGrabber>();
        if (!grabber->Init(&wavFile->GetReader(), nextIndex_, &muxer_)) {
            return Fail(L"Error: audio stream format is not PCM 16 bits mono or stereo\n");
        }
        for (const AudioSource& audio : audios_) {
            if (audio.file == file) {
                return Fail(L"Error: audio file " + fileNumber + L" is already used\n");
            }
        }
        return AddAudio(std::move(grabber), selection, file, false);
    }
    if (auto* aacFile = dynamic_cast<AacInputFile*>(file)) {
        // A reserved sampling frequency index gives no rate.
        const AdtsFile& adts = aacFile->GetReader();
        if (adts.GetProfile() == kAacProfileLowComplexity && adts.GetSampleRate() <= 0) {
            return Fail(kNoSampleRate);
        }
        auto grabber = std::make_unique<CAacAudioGrabber>();
        if (!grabber->Init(&aacFile->GetReader(), nextIndex_, &muxer_)) {
            return Fail(L"Error: AAC file is not in ADTS (low complexity) profile format\n");
        }
        for (const AudioSource& audio : audios_) {
            if (audio.aac && audio.file == file) {
                return Fail(L"Error: audio file " + fileNumber + L" is already used\n");
            }
        }
        return AddAudio(std::move(grabber), selection, file, true);
    }
    return false;
}

bool MuxRun::AddAudio(std::unique_ptr<CAudioGrabber> source, const StreamSelection& selection,
                      GenericInputFile* file, bool aac) {
    // The run loop divides by the sample rate.
    if (source->GetStream()->frequency == 0) {
        return Fail(kNoSampleRate);
    }
    std::unique_ptr<CAudioGrabber> grabber =
        aac ? std::move(source) : WrapEncoder(std::move(source), selection.setting);
    if (!grabber) {
        return false;
    }
    const bool dsp = !aac && selection.setting == kFormatDspAdpcm;
    audios_.push_back({std::move(grabber), file, selection.streamIndex, aac, dsp});
    ++nextIndex_;
    return true;
}

std::unique_ptr<CAudioGrabber> MuxRun::WrapEncoder(std::unique_ptr<CAudioGrabber> pcm,
                                                   int32_t format) {
    // An encoder takes its source over when it accepts it.
    auto wrap = [&pcm](auto encoder) -> std::unique_ptr<CAudioGrabber> {
        if (!encoder->Init(pcm.get())) {
            return nullptr;
        }
        pcm.release();
        return encoder;
    };
    switch (format) {
        case kFormatPcm:
            return pcm;
        case kFormatImaAdpcm:
            return wrap(std::make_unique<CImaAdpcmGrabber>());
        case kFormatDspAdpcm:
            return wrap(std::make_unique<CDspAdpcmGrabber>(console_));
        case kFormatVelune:
            return wrap(std::make_unique<CVeluneGrabber>());
    }
    return nullptr;
}

bool MuxRun::SelectTimeline(const StreamSelection& selection) {
    GenericInputFile* file = job_.inputFiles[selection.fileIndex].get();
    const std::wstring noAudio =
        L"Error: timeline stream index do not correspond to a used audio stream\n";
    auto firstAudioOf = [&](bool aacOnly) -> AudioSource* {
        for (AudioSource& audio : audios_) {
            if (audio.file == file && (!aacOnly || audio.aac)) {
                return &audio;
            }
        }
        return nullptr;
    };
    std::unique_ptr<CTimelineGrabber> timeline;
    if (auto* aviFile = dynamic_cast<AviInputFile*>(file)) {
        CAviFile& avi = aviFile->GetFile();
        if (selection.setting == kTimelineOfVideo) {
            if (!CheckStreamIndex(avi.VideoStreamCount(), selection.streamIndex, L"video")) {
                return false;
            }
            VideoSource* indexed = nullptr;
            for (VideoSource& video : videos_) {
                if (video.file == aviFile) {
                    indexed = &video;
                    break;
                }
            }
            if (!indexed) {
                return Fail(
                    L"Error: timeline stream index do not correspond to a used video stream\n");
            }
            auto grabber = std::make_unique<CAviTimelineGrabber>();
            if (!grabber->Init(&avi, static_cast<uint32_t>(selection.streamIndex),
                               indexed->grabber->GetDescriptor(), nextIndex_, &muxer_)) {
                return false;
            }
            timeline = std::move(grabber);
        } else {
            if (!CheckStreamIndex(avi.AudioStreamCount(), selection.streamIndex, L"audio")) {
                return false;
            }
            AudioSource* indexed = firstAudioOf(false);
            if (!indexed) {
                return Fail(noAudio);
            }
            auto grabber = std::make_unique<CAviTimelineGrabber>();
            if (!grabber->Init(indexed->grabber->GetStream(), nextIndex_, &muxer_)) {
                return false;
            }
            timeline = std::move(grabber);
        }
    } else if (dynamic_cast<WavInputFile*>(file) || dynamic_cast<AacInputFile*>(file)) {
        const bool aac = dynamic_cast<AacInputFile*>(file) != nullptr;
        if (selection.streamIndex > 0) {
            return Fail(std::wstring(L"Error: audio stream index out of range, valid value is only "
                                     L"0 for audio steam inside ") +
                        (aac ? L"aac" : L"wav") + L" file\n");
        }
        AudioSource* indexed = firstAudioOf(aac);
        if (!indexed) {
            return Fail(noAudio);
        }
        auto grabber = std::make_unique<CExternalAudioTimelineGrabber>();
        if (!grabber->Init(indexed->grabber->GetStream(), nextIndex_, &muxer_)) {
            return false;
        }
        timeline = std::move(grabber);
    } else {
        return false;
    }
    timelines_.push_back({std::move(timeline), 0});
    ++nextIndex_;
    return true;
}

bool MuxRun::WriteTimelines() {
    for (TimelineSink& sink : timelines_) {
        CTimelineGrabber& timeline = *sink.grabber;
        if (!muxer_.AddFrame(static_cast<uint32_t>(timeline.GetStream()->index),
                             timeline.GetData(), timeline.GetDataSize(), 1, 0, true)) {
            return Fail(kWriteFailed);
        }
    }
    return true;
}

void MuxRun::NoteKeyFrame(int32_t streamIndex, int32_t frameIndex) {
    const int64_t position = muxer_.LastSynchroPosition();
    for (TimelineSink& sink : timelines_) {
        if (sink.grabber->GetStream()->refIndex != streamIndex) {
            continue;
        }
        Korva::TimelineEntry* entries = sink.grabber->GetEntries();
        const uint32_t count = sink.grabber->GetEntryCount();
        while (sink.nextEntry < count && entries[sink.nextEntry].frameIndex < frameIndex) {
            ++sink.nextEntry;
        }
        for (uint32_t i = sink.nextEntry; i < count && entries[i].frameIndex == frameIndex; ++i) {
            entries[i].position = position;
        }
    }
}

// One step of one video stream: one frame, or both eyes of an interleaved pair.
bool MuxRun::StepVideo(VideoSource& video, bool* ended) {
    Korva::StreamVideo* stream = video.grabber->GetStream();
    const int32_t layout = static_cast<Korva::StreamVideoWithLayout*>(stream)->layout;
    const int64_t framesPerStep = layout == Korva::kLayoutInterleavedLeftFirst ||
                                          layout == Korva::kLayoutInterleavedRightFirst
                                      ? 2
                                      : 1;
    int64_t time = 0;
    for (int64_t j = 0; j < framesPerStep; ++j) {
        uint32_t size = 0;
        uint32_t frameType = 0;
        const uint8_t* data = video.grabber->GrabFrame(&size, &frameType, &time);
        if (!data) {
            if (j == 0) {
                *ended = true;
                return true;
            }
            return false;  // the second eye of a pair is missing
        }
        const bool key = frameType == 0;
        if (!muxer_.AddFrame(static_cast<uint32_t>(stream->index), data, size, time, frameType,
                             key)) {
            return Fail(kWriteFailed);
        }
        if (key) {
            NoteKeyFrame(stream->index, video.grabber->GetFrameIndex() - 1);
        }
    }
    const int64_t duration = framesPerStep * stream->rateDen * 1000000 / stream->rateNum;
    if (time + duration > videoEnd_) {
        videoEnd_ = time + duration;
    }
    return true;
}

bool MuxRun::StepAudio(AudioSource& audio) {
    CAudioGrabber& grabber = *audio.grabber;
    const int64_t before = grabber.GetSamplePosition();
    uint32_t samples = grabber.SamplesUntil(videoEnd_);
    uint32_t size = 0;
    int64_t time = 0;
    const uint8_t* data = grabber.GrabSamples(&samples, &size, &time);
    if (!data) {
        return true;  // nothing now; asked again in the next pass
    }
    Korva::StreamAudio* stream = grabber.GetStream();
    if (!muxer_.AddFrame(static_cast<uint32_t>(stream->index), data, size, time, 0, false)) {
        return Fail(kWriteFailed);
    }
    grabber.ReleaseSamples(size);
    const int64_t counted =
        audio.countSourceSamples ? grabber.GetSamplePosition() - before : int64_t{samples};
    for (TimelineSink& sink : timelines_) {
        if (sink.grabber->GetStream()->refIndex == stream->index) {
            Korva::TimelineHeader* header = sink.grabber->GetHeader();
            header->frameCount += 1;
            header->duration += counted * 1000000 / stream->frequency;
        }
    }
    return true;
}

bool MuxRun::Interleave() {
    for (;;) {
        for (VideoSource& video : videos_) {
            bool ended = false;
            if (!StepVideo(video, &ended)) {
                return false;
            }
            if (ended) {
                return true;
            }
        }
        for (AudioSource& audio : audios_) {
            if (!StepAudio(audio)) {
                return false;
            }
        }
    }
}

}  // namespace

void ChooseLayout(const CAviFile& file, uint32_t videoIndex, bool firstEyeLeft, int32_t* layout,
                  int32_t* rotation) {
    const AviStreamHeader& header = file.VideoHeaders()[videoIndex];
    const float frameRate =
        header.scale == 0 ? 0.0f
                          : static_cast<float>(static_cast<double>(header.rate) / header.scale);
    const int32_t eye = firstEyeLeft ? 0 : 1;
    *layout = Korva::kLayoutNone;
    *rotation = Korva::kRotationNone;
    if (frameRate > 30.0f) {
        *layout = Korva::kLayoutInterleavedLeftFirst + eye;
    }
    const BitmapInfoHeader& picture = file.VideoFormats()[videoIndex].header;
    const int64_t w = picture.width;
    const int64_t h = picture.height;
    if (w == 320 && h == 240) {
        *layout = Korva::kLayoutNone;
    } else if (w == 800 && h == 240) {
        *layout = Korva::kLayoutSideBySideLeftFirst + eye;
    } else if (w == 480 && h == 400) {
        *layout = Korva::kLayoutSideBySideLeftFirst + eye;
        *rotation = Korva::kRotation90;
    } else if (w == 400 && h == 480) {
        *layout = Korva::kLayoutTopBottomLeftFirst + eye;
    } else if (w == 240 && h == 800) {
        *layout = Korva::kLayoutTopBottomLeftFirst + eye;
        *rotation = Korva::kRotation90;
    } else if (w == 240 && (h == 400 || h == 320)) {
        *rotation = Korva::kRotation90;
    }
}

int RunMuxJob(MuxJob& job, Platform::Console& console) {
    const std::wstring& path = job.outputPath;
    const std::wstring cannotWrite = L"Error: cannot open file \"" + path + L"\" for writing\n";
    // Creating the output empties it: never let that happen to an input.
    for (const auto& input : job.inputFiles) {
        if (Platform::SameFile(path, input->name)) {
            console.Write(cannotWrite);
            return -1;
        }
    }
    CadroMemoryMuxer memory(&console);
    CadroMuxer muxer(&memory);
    if (!muxer.Open(path, static_cast<uint32_t>(job.packetSize), job.synchroPeriod, false,
                    job.variablePacketSize, false)) {
        console.Write(cannotWrite);
        return -1;
    }
    MuxRun run(job, muxer, console);
    if (!run.SelectStreams()) {
        return -1;
    }
    if (!run.HasVideo()) {
        console.Write(run.HasAudio()
                          ? L"Error: can't generate audio only Cadro ressources.\n"
                          : L"Error: no video and/or audio streams to add in Cadro content.\n");
        return -1;
    }
    if (!run.WriteTimelines() || !run.Interleave()) {
        return -1;
    }
    if (run.HasTimelines()) {
        if (!muxer.Seek(0)) {
            console.Write(kWriteFailed);
            return -1;
        }
        if (!run.WriteTimelines()) {
            return -1;
        }
    }
    if (!muxer.Close()) {
        console.Write(kWriteFailed);
        return -1;
    }
    if (job.printInfo) {
        CadroInputFile written(&console);
        written.name = path;
        if (!written.Open()) {
            console.Write(L"Error: cannot open file \"" + path + L"\" for reading\n");
            return -1;
        }
        ReportCadro(written, job.writeCsv, console);
        written.Close();
    }
    return 0;
}
