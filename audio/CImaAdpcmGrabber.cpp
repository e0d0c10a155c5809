#include "audio/CImaAdpcmGrabber.h"

#include "audio/AudioCodecCodes.h"
#include "korva/StreamDescriptors.h"

Korva::StreamAudio* CImaAdpcmGrabber::GetStream() {
    return source_ ? source_->GetStream() : nullptr;
}

int64_t CImaAdpcmGrabber::GetSamplePosition() {
    return source_ ? source_->GetSamplePosition() : 0;
}

bool CImaAdpcmGrabber::Init(CAudioGrabber* source) {
    Korva::StreamAudio* stream = source ? source->GetStream() : nullptr;
    if (!stream || stream->codec != AudioCodec::kPcm16 || stream->channels == 0) {
        return false;
    }
    source_.reset(source);
    stream->codec = AudioCodec::kImaAdpcm;
    states_.assign(stream->channels, ImaAdpcm::ChannelState{});
    return true;
}

const uint8_t* CImaAdpcmGrabber::GrabSamples(uint32_t* samples, uint32_t* size, int64_t* time) {
    *size = 0;
    if (!source_) {
        *samples = 0;
        return nullptr;
    }
    const uint32_t channels = static_cast<uint32_t>(states_.size());
    // Keep the frame size within 32 bits.
    const uint32_t maxBlocks = (UINT32_MAX / channels - kHeaderBytes) / ImaAdpcm::kBlockBytes;
    PcmBlockReader::Delivery in;
    if (!reader_.Grab(*source_, channels, ImaAdpcm::kBlockSamples, maxBlocks, samples, time,
                      &in)) {
        return nullptr;
    }
    const uint32_t blocks = in.samples / ImaAdpcm::kBlockSamples;
    output_.resize(size_t{channels} * (kHeaderBytes + ImaAdpcm::kBlockBytes * size_t{blocks}));
    uint8_t* out = output_.data();
    for (const ImaAdpcm::ChannelState& state : states_) {
        const uint16_t predictor = static_cast<uint16_t>(state.predictor);
        out[0] = static_cast<uint8_t>(state.stepIndex);
        out[1] = 0;
        out[2] = static_cast<uint8_t>(predictor);
        out[3] = static_cast<uint8_t>(predictor >> 8);
        out += kHeaderBytes;
    }
    const size_t blockValues = size_t{ImaAdpcm::kBlockSamples} * channels;
    for (uint32_t b = 0; b < blocks; ++b) {
        const uint8_t* block = in.data + 2 * blockValues * b;
        for (uint32_t c = 0; c < channels; ++c) {
            ImaAdpcm::EncodeBlock(states_[c], block, channels, c, out);
            out += ImaAdpcm::kBlockBytes;
        }
    }
    source_->ReleaseSamples(in.sourceSize);
    *size = static_cast<uint32_t>(output_.size());
    return output_.data();
}
