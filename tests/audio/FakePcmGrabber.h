#pragma once
// A PCM 16 source over samples held in memory, recording how the encoders call it.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "app/FrameSources.h"
#include "korva/StreamDescriptors.h"

class FakePcmGrabber final : public CAudioGrabber {
public:
    FakePcmGrabber(std::vector<int16_t> interleaved, uint32_t channels, uint32_t frequency,
                   bool* destroyed = nullptr)
        : samples_(std::move(interleaved)), channels_(channels), destroyed_(destroyed) {
        stream_.type = 2;
        stream_.size = 6;
        stream_.index = 0;
        stream_.codec = 2;
        stream_.frequency = frequency;
        stream_.channels = channels;
    }
    ~FakePcmGrabber() override {
        if (destroyed_) {
            *destroyed_ = true;
        }
    }

    uint32_t GetBlockSize() override { return 256; }
    Korva::StreamAudio* GetStream() override { return &stream_; }
    int64_t GetSamplePosition() override { return position_; }

    const uint8_t* GrabSamples(uint32_t* samples, uint32_t* size, int64_t* time) override {
        requests.push_back(*samples);
        const uint64_t remaining = samples_.size() / channels_ - position_;
        const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(*samples, remaining));
        *samples = count;
        *size = count * channels_ * 2;
        *time = position_ * 1000000 / stream_.frequency + 1;
        if (count == 0) {
            *size = 0;
            return nullptr;
        }
        bytes_.resize(*size);
        const int16_t* from = samples_.data() + position_ * channels_;
        for (uint32_t i = 0; i < count * channels_; ++i) {
            const uint16_t v = static_cast<uint16_t>(from[i]);
            bytes_[2 * i] = static_cast<uint8_t>(v);
            bytes_[2 * i + 1] = static_cast<uint8_t>(v >> 8);
        }
        return bytes_.data();
    }

    void ReleaseSamples(uint32_t size) override {
        releases.push_back(size);
        position_ += size / (channels_ * 2);
    }

    std::vector<uint32_t> requests;  // sample counts asked for
    std::vector<uint32_t> releases;  // byte counts released

private:
    Korva::StreamAudio stream_;
    std::vector<int16_t> samples_;
    std::vector<uint8_t> bytes_;
    uint32_t channels_;
    int64_t position_ = 0;
    bool* destroyed_;
};
