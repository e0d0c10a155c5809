#pragma once
// Source files for mux-job tests, and reading a written Cadro file back through the
// tool's own Cadro input classes.
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cadro/CCadroAudioGrabber.h"
#include "cadro/CCadroTimelineGrabber.h"
#include "cadro/CCadroVideoGrabber.h"
#include "cadro/CadroInputFile.h"
#include "korva/StreamDescriptors.h"
#include "korva/Timeline.h"
#include "tests/support/AviBuilder.h"

namespace mux_test {

struct VideoSpec {
    std::string handler = "TZNK";
    uint32_t rate = 25;
    uint32_t scale = 1;
    int32_t width = 320;
    int32_t height = 240;
    int frames = 10;
    int keyEvery = 5;  // frames 0, keyEvery, 2 * keyEvery, ... are key frames
    uint8_t seed = 0;
    uint32_t baseSize = 200;
    uint32_t sizeSpread = 400;
};

struct AudioSpec {
    uint16_t formatTag = 1;
    uint16_t channels = 2;
    uint32_t rate = 48000;
    uint16_t bits = 16;
    uint32_t samples = 0;  // per channel
    int seed = 0;
};

// The whole chunk of video frame i; the tool's frame is the chunk without its first 4 bytes.
inline std::vector<uint8_t> VideoChunk(const VideoSpec& v, int i) {
    const uint32_t size = 4 + v.baseSize + static_cast<uint32_t>(i * 53) % (v.sizeSpread + 1);
    return PatternBytes(size, static_cast<uint8_t>(v.seed + i * 7));
}

inline std::vector<uint8_t> VideoFrame(const VideoSpec& v, int i) {
    std::vector<uint8_t> chunk = VideoChunk(v, i);
    return std::vector<uint8_t>(chunk.begin() + 4, chunk.end());
}

inline bool IsKey(const VideoSpec& v, int i) {
    return v.keyEvery > 0 && i % v.keyEvery == 0;
}

// Interleaved samples of a tone, different per channel and seed.
inline std::vector<int16_t> Tone(uint32_t samples, uint16_t channels, int seed) {
    std::vector<int16_t> values;
    values.reserve(static_cast<size_t>(samples) * channels);
    for (uint32_t i = 0; i < samples; ++i) {
        for (uint16_t c = 0; c < channels; ++c) {
            const double step = 0.031 * (seed + 1) + 0.017 * c;
            values.push_back(static_cast<int16_t>(9000 * std::sin(step * i)));
        }
    }
    return values;
}

inline std::vector<uint8_t> LittleEndianBytes(const std::vector<int16_t>& values) {
    std::vector<uint8_t> bytes;
    bytes.reserve(values.size() * 2);
    for (int16_t v : values) {
        PutU16(bytes, static_cast<uint16_t>(v));
    }
    return bytes;
}

inline std::vector<uint8_t> AudioBytes(const AudioSpec& a) {
    return LittleEndianBytes(Tone(a.samples, a.channels, a.seed));
}

// Video chunks interleaved frame by frame with audio chunks carrying an even share of
// the audio, as a capture program would write them.
inline AviBuilder MakeAvi(const std::vector<VideoSpec>& videos,
                          const std::vector<AudioSpec>& audios) {
    AviBuilder avi;
    std::vector<int> videoIds;
    std::vector<int> audioIds;
    int steps = 1;
    for (const VideoSpec& v : videos) {
        AviBuilder::Stream stream = AviBuilder::Video(v.handler, v.rate, v.scale, v.width, v.height);
        videoIds.push_back(avi.AddStream(stream));
        steps = std::max(steps, v.frames);
    }
    std::vector<std::vector<uint8_t>> audioData;
    for (const AudioSpec& a : audios) {
        audioIds.push_back(avi.AddStream(AviBuilder::Audio(a.formatTag, a.channels, a.rate, a.bits)));
        audioData.push_back(AudioBytes(a));
    }
    for (int step = 0; step < steps; ++step) {
        for (size_t k = 0; k < videos.size(); ++k) {
            if (step < videos[k].frames) {
                avi.AddChunk(videoIds[k], VideoChunk(videos[k], step), IsKey(videos[k], step));
            }
        }
        for (size_t k = 0; k < audios.size(); ++k) {
            const size_t frameBytes = 2u * audios[k].channels;
            const size_t total = audioData[k].size() / frameBytes;
            const size_t from = total * step / steps * frameBytes;
            const size_t to = total * (step + 1) / steps * frameBytes;
            if (to > from) {
                avi.AddChunk(audioIds[k], std::vector<uint8_t>(audioData[k].begin() + from,
                                                               audioData[k].begin() + to));
            }
        }
    }
    return avi;
}

inline std::vector<uint8_t> FileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

struct ReadFrame {
    std::vector<uint8_t> bytes;
    uint32_t frameType = 0;
    int64_t time = 0;
};

struct ReadStream {
    uint32_t type = 0;
    int32_t index = -1;
    int32_t codec = 0;
    int32_t layout = -1;
    int32_t rotation = -1;
    uint32_t rateNum = 0;
    uint32_t rateDen = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t frequency = 0;
    uint32_t channels = 0;
    int32_t refIndex = -1;
    std::vector<ReadFrame> frames;
    bool timelineLoaded = false;
    Korva::TimelineHeader header;
    std::vector<Korva::TimelineEntry> entries;

    std::vector<uint8_t> Concatenated() const {
        std::vector<uint8_t> all;
        for (const ReadFrame& f : frames) all.insert(all.end(), f.bytes.begin(), f.bytes.end());
        return all;
    }
};

// Every stream of the file with every frame, as a player reading it front to back sees
// them. Empty when the file does not open.
inline std::vector<ReadStream> ReadCadro(const std::wstring& path) {
    std::vector<ReadStream> streams;
    CadroInputFile file;
    file.name = path;
    if (!file.Open()) {
        return streams;
    }
    CadroDemuxer* demuxer = file.GetDemuxer();
    for (uint32_t i = 0; i < demuxer->GetStreamCount(); ++i) {
        Korva::Stream* stream = demuxer->GetStreamAt(i);
        ReadStream read;
        read.type = stream->type;
        read.index = stream->index;
        const auto position = static_cast<int32_t>(i);
        if (stream->type == Korva::kTypeVideo || stream->type == Korva::kTypeVideoWithLayout) {
            auto* video = static_cast<Korva::StreamVideo*>(stream);
            read.codec = video->codec;
            read.rateNum = video->rateNum;
            read.rateDen = video->rateDen;
            read.width = video->width;
            read.height = video->height;
            if (stream->type == Korva::kTypeVideoWithLayout) {
                read.layout = static_cast<Korva::StreamVideoWithLayout*>(stream)->layout;
                read.rotation = static_cast<Korva::StreamVideoWithLayout*>(stream)->rotation;
            }
            CCadroVideoGrabber grabber;
            if (grabber.Init(demuxer, position, read.index)) {
                ReadFrame frame;
                uint32_t size = 0;
                while (const uint8_t* data = grabber.GrabFrame(&size, &frame.frameType, &frame.time)) {
                    frame.bytes.assign(data, data + size);
                    read.frames.push_back(frame);
                }
            }
        } else if (stream->type == Korva::kTypeAudio) {
            auto* audio = static_cast<Korva::StreamAudio*>(stream);
            read.codec = audio->codec;
            read.frequency = audio->frequency;
            read.channels = audio->channels;
            CCadroAudioGrabber grabber;
            if (grabber.Init(demuxer, position, read.index)) {
                ReadFrame frame;
                uint32_t size = 0;
                uint32_t samples = 0;
                while (const uint8_t* data = grabber.GrabSamples(&samples, &size, &frame.time)) {
                    frame.bytes.assign(data, data + size);
                    read.frames.push_back(frame);
                }
            }
        } else if (stream->type == Korva::kTypeTimeline) {
            read.refIndex = static_cast<Korva::StreamTimeline*>(stream)->refIndex;
            CCadroTimelineGrabber timeline;
            if (timeline.Load(demuxer, position)) {
                read.timelineLoaded = true;
                read.header = *timeline.GetHeader();
                read.entries.assign(timeline.GetEntries(),
                                    timeline.GetEntries() + timeline.GetEntryCount());
            }
        }
        streams.push_back(std::move(read));
    }
    return streams;
}

}  // namespace mux_test
