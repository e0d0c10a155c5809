#include "app/Reports.h"

#include <cmath>
#include <string>

#include "cadro/CCadroAudioGrabber.h"
#include "cadro/CCadroTimelineGrabber.h"
#include "cadro/CCadroVideoGrabber.h"
#include "cadro/CadroDemuxer.h"
#include "cadro/CadroInputFile.h"
#include "korva/Reader.h"
#include "korva/StreamDescriptors.h"
#include "korva/Timeline.h"
#include "platform/File.h"
#include "sources/AacInputFile.h"
#include "sources/AviFile.h"
#include "sources/AviInputFile.h"
#include "sources/LittleEndian.h"
#include "sources/WavInputFile.h"

namespace {

using Platform::Console;

long long Wide(int64_t value) {
    return static_cast<long long>(value);
}

// Whole kilobits per second, truncated; 0 when there is no duration to divide by.
// Durations are single-precision (0.2 s is held as 0.2000000030), so a rate that is
// exactly whole would come out just below it and truncate one lower; a margin of one
// part in a million absorbs that representation error and nothing else.
long long Kbps(int64_t bytes, double seconds) {
    if (!(seconds > 0)) {
        return 0;
    }
    const double kbps = static_cast<double>(bytes) * 8 / (seconds * 1000);
    return static_cast<long long>(std::trunc(kbps * (1 + 1e-6)));
}

double Ratio(double num, double den) {
    return den == 0 ? 0.0 : num / den;
}

bool IsTarsicHandler(Riff::FourCC handler, bool ignoreFourCC) {
    if (handler == Riff::MakeFourCC("TZNK") || handler == Riff::MakeFourCC("tznk")) {
        return true;
    }
    return ignoreFourCC &&
           (handler == Riff::MakeFourCC("QRB7") || handler == Riff::MakeFourCC("qrb7"));
}

// Seconds held by a loaded timeline, as the reports round them.
float TimelineSeconds(CCadroTimelineGrabber& timeline) {
    return static_cast<float>(static_cast<double>(timeline.GetHeader()->duration / 1000) / 1000.0);
}

CadroDemuxer* DemuxerOf(CadroInputFile& file) {
    return file.GetDemuxer();
}

uint32_t StreamCount(CadroInputFile& file) {
    CadroDemuxer* demuxer = DemuxerOf(file);
    return demuxer ? demuxer->GetStreamCount() : 0;
}

std::wstring CsvPath(const std::wstring& name) {
    size_t dot = name.rfind(L'.');
    return (dot == std::wstring::npos ? name : name.substr(0, dot)) + L".csv";
}

void ReportVideoStream(CadroInputFile& file, int32_t i, Korva::Stream* stream, std::FILE* csv,
                       float* movieDuration, Console& console) {
    auto* video = static_cast<Korva::StreamVideo*>(stream);
    console.Write(video->codec == Korva::kVideoCodecTarsic   ? L"Tarsic video stream\n"
                  : video->codec == Korva::kVideoCodecDunmar ? L"Dunmar video stream\n"
                                                             : L"Tarsic HD video stream\n");
    console.Print(L"        Resolution: %dx%d pixels\n", video->width, video->height);
    const auto frameRate = static_cast<float>(Ratio(video->rateNum, video->rateDen));
    console.Print(L"        Framerate: %.3f fps\n", static_cast<double>(frameRate));
    console.Print(L"        Pixel ratio: %.3f\n", Ratio(video->pixelNum, video->pixelDen));
    // Gathering may re-create the descriptor at a later synchro block; the layout lines
    // read the values seen before it.
    const bool withLayout = video->type == Korva::kTypeVideoWithLayout;
    const int32_t layout = withLayout ? static_cast<Korva::StreamVideoWithLayout*>(video)->layout : 0;
    const int32_t rotation =
        withLayout ? static_cast<Korva::StreamVideoWithLayout*>(video)->rotation : 0;

    int64_t bytes = 0;
    int64_t frames = 0;
    GatherVideoFrames(file, i, csv, &bytes, &frames);
    const float duration =
        frameRate > 0 ? static_cast<float>(static_cast<float>(frames) / frameRate) : 0.0f;
    console.Print(L"        Avg video bitrate: %lld kbps\n", Kbps(bytes, duration));
    console.Print(L"        Avg video frame size: %lld bytes\n",
                  Wide(frames > 0 ? bytes / frames : 0));
    console.Print(L"        Duration: %.3f seconds\n", static_cast<double>(duration));
    console.Print(L"        Size: %lld bytes\n", Wide(bytes));
    if (!(*movieDuration > 0)) {
        *movieDuration = duration;
    }
    if (withLayout) {
        static const wchar_t* const kLayouts[] = {
            L"        Stereoscopic: interleaved, left eye first\n",
            L"        Stereoscopic: interleaved, right eye first\n",
            L"        Stereoscopic: top to bottom, left eye first\n",
            L"        Stereoscopic: top to bottom, right eye first\n",
            L"        Stereoscopic: side by side, left eye first\n",
            L"        Stereoscopic: side by side, right eye first\n",
            L"        Stereoscopic: none\n",
        };
        static const wchar_t* const kRotations[] = {
            L"        Rotation: none\n",
            L"        Rotation: 90 degrees\n",
            L"        Rotation: 180 degrees\n",
            L"        Rotation: 270 degrees\n",
        };
        if (layout >= 0 && layout <= 6) {
            console.Write(kLayouts[layout]);
        }
        if (rotation >= 0 && rotation <= 3) {
            console.Write(kRotations[rotation]);
        }
    }
}

void ReportAudioStream(CadroInputFile& file, int32_t i, Korva::Stream* stream, std::FILE* csv,
                       float movieDuration, Console& console) {
    auto* audio = static_cast<Korva::StreamAudio*>(stream);
    static const wchar_t* const kCodecs[] = {
        L"Velune audio stream\n",    L"ImaAdpcm audio stream\n", L"PCM 16 bits audio stream\n",
        L"AAC audio stream\n",       L"DspAdpcm audio stream\n",
    };
    if (audio->codec >= 0 && audio->codec <= 4) {
        console.Write(kCodecs[audio->codec]);
    }
    console.Print(L"        Frequency: %d\n", static_cast<int>(audio->frequency));
    console.Print(L"        Channels: %d\n", static_cast<int>(audio->channels));
    float duration = AudioDuration(file, i);
    if (!(duration > 0)) {
        duration = movieDuration;
    }
    if (!(duration > 0)) {
        return;
    }
    int64_t bytes = 0;
    int64_t frames = 0;
    GatherAudioFrames(file, i, csv, &bytes, &frames);
    console.Print(L"        Avg audio bitrate: %lld kbps\n", Kbps(bytes, duration));
    console.Print(L"        Avg audio frame size: %lld bytes\n",
                  Wide(frames > 0 ? bytes / frames : 0));
    console.Print(L"        Size: %lld bytes\n", Wide(bytes));
}

void ReportTimelineStream(CadroInputFile& file, int32_t i, Korva::Stream* stream,
                          Console& console) {
    const int32_t refIndex = static_cast<Korva::StreamTimeline*>(stream)->refIndex;
    CCadroTimelineGrabber timeline;
    if (!timeline.Load(DemuxerOf(file), i)) {
        return;
    }
    const Korva::TimelineHeader* header = timeline.GetHeader();
    console.Write(L"Timeline stream\n");
    console.Print(L"        Associated to stream: %d\n", refIndex);
    console.Print(L"        Total Number of frames: %lld\n", Wide(header->frameCount));
    console.Print(L"        Total Number of keyframes: %lld\n", Wide(header->entryCount));
    console.Print(L"        Duration: %.3f seconds\n",
                  static_cast<double>(header->duration / 1000) / 1000.0);
}

// Counts and sizes the frames of one stream; their bytes are not needed.
template <typename Grabber>
void Gather(CadroInputFile& file, int32_t position, std::FILE* csv, const char* kind,
            int64_t* bytes, int64_t* frames) {
    *bytes = 0;
    *frames = 0;
    if (csv) {
        std::fprintf(csv, "Stream #%d (%s) frame number; Frame size (bytes);\n", position, kind);
    }
    Grabber grabber;
    if (grabber.Init(DemuxerOf(file), position, position)) {
        uint32_t size = 0;
        while (grabber.SkipFrame(&size)) {
            if (csv) {
                std::fprintf(csv, "%lld; %u;\n", Wide(*frames), size);
            }
            *bytes += size;
            *frames += 1;
        }
    }
    if (csv) {
        std::fputs("\n", csv);
    }
}

}  // namespace

void ReportAvi(AviInputFile& input, bool ignoreFourCC, Console& console) {
    const CAviFile& avi = input.GetFile();
    console.Write(L"Avi file\n");
    console.Print(L"  Name: %ls\n", input.name.c_str());
    console.Print(L"  Size: %lld bytes\n", Wide(static_cast<int64_t>(avi.GetFileSize())));
    const uint32_t videoCount = avi.VideoStreamCount();
    if (videoCount == 0) {
        console.Write(L"  Video streams: none\n");
    } else {
        console.Print(L"  Video streams: %u\n", videoCount);
    }
    for (uint32_t i = 0; i < videoCount; ++i) {
        const AviStreamHeader& header = avi.VideoHeaders()[i];
        if (!IsTarsicHandler(header.fccHandler, ignoreFourCC)) {
            console.Print(L"    Stream %u: not a Tarsic video stream, not supported\n", i);
            continue;
        }
        const BitmapInfoHeader& picture = avi.VideoFormats()[i].header;
        const uint64_t frames = avi.VideoFrameCount(i);
        console.Print(L"    Stream %u: Tarsic video stream\n", i);
        console.Print(L"        Resolution: %dx%d pixels\n", static_cast<int>(picture.width),
                      static_cast<int>(picture.height));
        console.Print(L"        Framerate: %.3f fps\n", Ratio(header.rate, header.scale));
        console.Print(L"        Total Number of frames: %llu\n",
                      static_cast<unsigned long long>(frames));
        console.Print(L"        Total Number of keyframes: %u\n", avi.VideoKeyFrameCount(i));
        const uint64_t seconds = header.rate == 0 ? 0 : frames * header.scale / header.rate;
        console.Print(L"        Duration: %llu seconds\n", static_cast<unsigned long long>(seconds));
    }
    const uint32_t audioCount = avi.AudioStreamCount();
    if (audioCount == 0) {
        console.Write(L"  Audio streams: none\n");
    } else {
        console.Print(L"  Audio streams: %u\n", audioCount);
    }
    for (uint32_t i = 0; i < audioCount; ++i) {
        const WaveFormat& format = avi.AudioFormats()[i].format;
        if (format.formatTag == WaveFormat::kTagPcm && format.bitsPerSample == 16 &&
            (format.channels == 1 || format.channels == 2)) {
            console.Print(L"    Stream %u: PCM 16 bits audio stream\n", i);
            console.Print(L"        Frequency: %u Hertz\n", format.samplesPerSec);
            console.Print(L"        Channels: %u\n", static_cast<unsigned>(format.channels));
        } else {
            console.Print(L"    Stream %u: not a PCM 16 bits mono or stereo audio stream, not supported\n",
                          i);
        }
    }
    console.Write(L"\n");
}

void ReportWav(WavInputFile& input, Console& console) {
    const WavReader& wav = input.GetReader();
    const WaveFormat& format = wav.Format();
    console.Write(L"Wav file\n");
    console.Print(L"  Name: %ls\n", input.name.c_str());
    console.Print(L"  Size: %lld bytes\n", Wide(static_cast<int64_t>(wav.GetFileSize())));
    const bool pcm = format.formatTag == WaveFormat::kTagPcm ||
                     (format.formatTag == WaveFormat::kTagExtensible &&
                      format.SubFormatTag() == WaveFormat::kTagPcm);
    if (pcm && format.bitsPerSample == 16) {
        console.Write(L"  Format: PCM 16 bits\n");
        console.Print(L"  Frequency: %u Hertz\n", format.samplesPerSec);
        console.Print(L"  Channels: %u\n", static_cast<unsigned>(format.channels));
    } else {
        console.Write(L"  Not a PCM 16 bits audio stream, not supported\n");
    }
    console.Write(L"\n");
}

void ReportAac(AacInputFile& input, Console& console) {
    const AdtsFile& aac = input.GetReader();
    console.Write(L"Aac file\n");
    console.Print(L"  Name: %ls\n", input.name.c_str());
    console.Print(L"  Size: %lld bytes\n", Wide(aac.GetFileSize()));
    if (aac.GetProfile() == 1) {
        console.Write(L"  Format: ADTS LC(low complexity) profile format\n");
        console.Print(L"  Frequency: %d Hertz\n", aac.GetSampleRate());
        console.Print(L"  Channels: %d\n", aac.GetChannelCount());
    } else {
        console.Write(L"  Not in ADTS LC(low complexity) profile format, not supported\n");
    }
    console.Write(L"\n");
}

float MovieDuration(CadroInputFile& file) {
    float longest = 0;
    for (uint32_t i = 0; i < StreamCount(file); ++i) {
        Korva::Stream* stream = DemuxerOf(file)->GetStreamAt(i);
        CCadroTimelineGrabber timeline;
        if (stream && stream->type == Korva::kTypeTimeline &&
            timeline.Load(DemuxerOf(file), static_cast<int32_t>(i))) {
            longest = std::max(longest, TimelineSeconds(timeline));
        }
    }
    return longest;
}

float AudioDuration(CadroInputFile& file, int32_t position) {
    for (uint32_t i = 0; i < StreamCount(file); ++i) {
        Korva::Stream* stream = DemuxerOf(file)->GetStreamAt(i);
        CCadroTimelineGrabber timeline;
        if (stream && stream->type == Korva::kTypeTimeline &&
            timeline.Load(DemuxerOf(file), static_cast<int32_t>(i)) &&
            timeline.GetStream()->refIndex == position) {
            return TimelineSeconds(timeline);
        }
    }
    return 0;
}

void GatherVideoFrames(CadroInputFile& file, int32_t position, std::FILE* csv, int64_t* bytes,
                       int64_t* frames) {
    Gather<CCadroVideoGrabber>(file, position, csv, "Video", bytes, frames);
}

void GatherAudioFrames(CadroInputFile& file, int32_t position, std::FILE* csv, int64_t* bytes,
                       int64_t* frames) {
    Gather<CCadroAudioGrabber>(file, position, csv, "Audio", bytes, frames);
}

void ReportCadro(CadroInputFile& file, bool writeCsv, Console& console) {
    CadroDemuxer* demuxer = DemuxerOf(file);
    const int64_t size = demuxer && demuxer->GetReader() ? demuxer->GetReader()->GetSize() : 0;
    if (demuxer) {
        // The report reads one stream at a time through the file's one demuxer; the
        // frames of the others wait as sizes, not as bytes, however long the file.
        demuxer->KeepMediaPayloads(false);
    }
    console.Write(L"Cadro file\n");
    console.Print(L"  Name: %ls\n", file.name.c_str());
    console.Print(L"  Size: %lld bytes\n", Wide(size));
    if (StreamCount(file) == 0) {
        console.Write(L"  Number of streams: none\n");
    } else {
        console.Print(L"  Number of streams: %u\n", StreamCount(file));
    }
    std::FILE* csv = nullptr;
    if (writeCsv) {
        const std::wstring path = CsvPath(file.name);
        csv = Platform::OpenStream(path, L"wt");
        if (!csv) {
            console.Write(L"Error: can not write to \"" + path + L"\"\n");
        }
    }
    float movieDuration = MovieDuration(file);
    if (movieDuration > 0) {
        console.Print(L"  Avg movie bitrate: %lld kbps\n", Kbps(size, movieDuration));
    }
    for (uint32_t i = 0; i < StreamCount(file); ++i) {
        Korva::Stream* stream = demuxer->GetStreamAt(i);
        const auto position = static_cast<int32_t>(i);
        console.Print(L"    Stream %d: ", position);
        if (!stream) {
            console.Write(L"Unknown stream type\n");
            continue;
        }
        switch (stream->type) {
            case Korva::kTypeVideo:
            case Korva::kTypeVideoWithLayout:
                ReportVideoStream(file, position, stream, csv, &movieDuration, console);
                break;
            case Korva::kTypeAudio:
                ReportAudioStream(file, position, stream, csv, movieDuration, console);
                break;
            case Korva::kTypeTimeline:
                ReportTimelineStream(file, position, stream, console);
                break;
            default:
                console.Write(L"Unknown stream type\n");
                break;
        }
    }
    console.Write(L"\n");
    if (csv) {
        std::fclose(csv);
    }
}

void ReportInputFiles(const MuxJob& job, Console& console) {
    for (const auto& file : job.inputFiles) {
        if (auto* avi = dynamic_cast<AviInputFile*>(file.get())) {
            ReportAvi(*avi, job.ignoreFourCC, console);
        } else if (auto* wav = dynamic_cast<WavInputFile*>(file.get())) {
            ReportWav(*wav, console);
        } else if (auto* aac = dynamic_cast<AacInputFile*>(file.get())) {
            ReportAac(*aac, console);
        } else if (auto* cadro = dynamic_cast<CadroInputFile*>(file.get())) {
            ReportCadro(*cadro, job.writeCsv, console);
        }
    }
}
