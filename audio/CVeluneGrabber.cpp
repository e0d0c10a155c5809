#include "audio/CVeluneGrabber.h"

#include "audio/AudioCodecCodes.h"
#include "audio/VeluneBlockPacking.h"
#include "korva/StreamDescriptors.h"

Korva::StreamAudio* CVeluneGrabber::GetStream() {
    return source_ ? source_->GetStream() : nullptr;
}

int64_t CVeluneGrabber::GetSamplePosition() {
    return source_ ? source_->GetSamplePosition() : 0;
}

bool CVeluneGrabber::Init(CAudioGrabber* source) {
    Korva::StreamAudio* stream = source ? source->GetStream() : nullptr;
    // Two coder slots: the sources deliver mono or stereo only, and anything wider would
    // otherwise be coded with states that do not exist.
    if (!stream || stream->codec != AudioCodec::kPcm16 || stream->channels == 0 ||
        stream->channels > kMaxChannels) {
        return false;
    }
    for (auto& state : states_) {
        state.reset();
    }
    source_.reset(source);
    stream->codec = AudioCodec::kVelune;
    channels_ = stream->channels;
    for (uint32_t c = 0; c < channels_; ++c) {
        states_[c] = std::make_unique<VeluneChannelState>();
    }
    return true;
}

const uint8_t* CVeluneGrabber::GrabSamples(uint32_t* samples, uint32_t* size, int64_t* time) {
    *size = 0;
    if (!source_) {
        *samples = 0;
        return nullptr;
    }
    const uint32_t maxBlocks = UINT32_MAX / (kVeluneBlockBytes * channels_);
    PcmBlockReader::Delivery in;
    if (!reader_.Grab(*source_, channels_, kVeluneBlockSamples, maxBlocks, samples, time, &in)) {
        return nullptr;
    }
    const uint32_t blocks = in.samples / kVeluneBlockSamples;
    output_.resize(size_t{kVeluneBlockBytes} * blocks * channels_);
    uint8_t* out = output_.data();
    int16_t block[kVeluneBlockSamples];
    VeluneBlockParameters parameters;
    for (uint32_t b = 0; b < blocks; ++b) {
        const size_t first = size_t{b} * kVeluneBlockSamples * channels_;
        for (uint32_t c = 0; c < channels_; ++c) {
            for (int k = 0; k < kVeluneBlockSamples; ++k) {
                block[k] = PcmSampleAt(in.data, first + static_cast<size_t>(k) * channels_ + c);
            }
            EncodeVeluneBlock(*states_[c], block, &parameters);
            PackVeluneBlock(parameters, out);
            out += kVeluneBlockBytes;
        }
    }
    source_->ReleaseSamples(in.sourceSize);
    *size = static_cast<uint32_t>(output_.size());
    return output_.data();
}
