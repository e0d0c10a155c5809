#include "audio/CDspAdpcmGrabber.h"

#include <cstring>
#include <new>

#include "audio/AudioCodecCodes.h"
#include "audio/PcmBlockReader.h"
#include "korva/StreamDescriptors.h"

namespace {

constexpr size_t kCoefficientBytes = 32;
constexpr size_t kPredScaleOffset = 34;
constexpr size_t kHistoryFieldBytes = 6;  // pred_scale, yn1, yn2

}  // namespace

CDspAdpcmGrabber::CDspAdpcmGrabber(Platform::Console& console, std::wstring libraryName)
    : console_(console), libraryName_(std::move(libraryName)) {}

// Unloads the library; the source goes with the encoder, which owns it.
CDspAdpcmGrabber::~CDspAdpcmGrabber() = default;

Korva::StreamAudio* CDspAdpcmGrabber::GetStream() {
    return source_ ? source_->GetStream() : nullptr;
}

int64_t CDspAdpcmGrabber::GetSamplePosition() {
    return source_ ? source_->GetSamplePosition() : 0;
}

bool CDspAdpcmGrabber::LoadCodecLibrary() {
    if (library_.LoadByName(libraryName_)) {
        return true;
    }
    const std::wstring shownName = Platform::DynamicLibrary::NativeFileName(libraryName_);
    std::wstring root;
    if (!Platform::ReadEnvironment(kSdkVariable, &root)) {
        console_.PrintError(
            L"%ls could not be found, please define the PXNSDK_ROOT environment variable\n",
            shownName.c_str());
        return false;
    }
    // Built at full length: a long SDK path is used as it is, never cut short.
    std::wstring path = root;
    for (const wchar_t* part : {L"tools", L"CommandLineTools", libraryName_.c_str()}) {
        path += Platform::kPathSeparator;
        path += part;
    }
    if (!library_.LoadByPath(path)) {
        console_.PrintError(L"%ls could not be found\n", shownName.c_str());
        return false;
    }
    return true;
}

bool CDspAdpcmGrabber::Init(CAudioGrabber* source) {
    Korva::StreamAudio* stream = source ? source->GetStream() : nullptr;
    if (!stream || stream->codec != AudioCodec::kPcm16 || stream->channels == 0) {
        return false;
    }
    if (!LoadCodecLibrary()) {
        return false;
    }
    encode_ = reinterpret_cast<DspAdpcmEncode>(library_.Find(DSP_ADPCM_EXPORT_ENCODE));
    bytesForBuffer_ =
        reinterpret_cast<DspAdpcmBytesForBuffer>(library_.Find(DSP_ADPCM_EXPORT_BYTES_FOR_BUFFER));
    bytesForSamples_ = reinterpret_cast<DspAdpcmBytesForSamples>(
        library_.Find(DSP_ADPCM_EXPORT_BYTES_FOR_SAMPLES));
    if (!encode_ || !bytesForBuffer_ || !bytesForSamples_) {
        encode_ = nullptr;
        library_.Unload();
        return false;
    }
    source_.reset(source);
    stream->codec = AudioCodec::kDspAdpcm;
    channels_ = stream->channels;
    channelBuffers_.assign(channels_, {});
    return true;
}

const uint8_t* CDspAdpcmGrabber::GrabSamples(uint32_t* samples, uint32_t* size, int64_t* time) {
    const uint32_t blockSamples = *samples / kBlockSamples * kBlockSamples;
    *samples = 0;
    *size = 0;
    if (blockSamples == 0 || !source_ || !encode_) {
        return nullptr;
    }
    const uint32_t coded = blockSamples + kHistorySamples;  // N <= 2^32 - 1024: no wrap
    const bool first = !encodedAny_;

    const uint64_t channelBytes = uint64_t{bytesForSamples_(coded)} + kHeaderBytes;
    const uint64_t outputBytes =
        uint64_t{bytesForBuffer_(coded)} + kHeaderBytes + (channels_ - 1) * channelBytes;
    if (channels_ * channelBytes > UINT32_MAX || outputBytes > SIZE_MAX) {
        return nullptr;
    }
    try {
        if (capacity_ < coded) {
            // resize keeps the front of each buffer: the history of the next block.
            for (auto& buffer : channelBuffers_) {
                buffer.resize(coded);
            }
            capacity_ = coded;
        }
        if (output_.size() < outputBytes) {
            output_ = std::vector<uint8_t>(static_cast<size_t>(outputBytes));
        }
    } catch (const std::bad_alloc&) {
        return nullptr;
    }

    const uint32_t wanted = first ? blockSamples + kFirstSilence : blockSamples;
    uint32_t delivered = wanted;
    uint32_t sourceSize = 0;
    const uint8_t* pcm = source_->GrabSamples(&delivered, &sourceSize, time);
    // A short delivery is the end of the stream: audio short of a whole block is not
    // encoded. The size check keeps every read inside what the source handed out.
    if (!pcm || delivered != wanted || sourceSize / (uint64_t{2} * channels_) < wanted) {
        return nullptr;
    }

    const uint32_t fresh = first ? kFirstSilence : kHistorySamples;
    uint8_t* out = output_.data();
    for (uint32_t c = 0; c < channels_; ++c) {
        int16_t* buffer = channelBuffers_[c].data();
        if (first) {
            std::memset(buffer, 0, kFirstSilence * sizeof(int16_t));
        }
        for (uint32_t k = 0; k < wanted; ++k) {
            buffer[fresh + k] = PcmSampleAt(pcm, size_t{k} * channels_ + c);
        }
        DspAdpcmCodingInfo record;
        std::memset(&record, 0, sizeof record);
        encode_(buffer, out + kHeaderBytes, &record, coded);
        const auto* recordBytes = reinterpret_cast<const uint8_t*>(&record);
        std::memcpy(out, recordBytes, kCoefficientBytes);
        std::memcpy(out + kCoefficientBytes, recordBytes + kPredScaleOffset, kHistoryFieldBytes);
        std::memmove(buffer, buffer + coded - kHistorySamples, kHistorySamples * sizeof(int16_t));
        out += channelBytes;
    }
    encodedAny_ = true;

    *samples = coded;
    *size = static_cast<uint32_t>(channels_ * channelBytes);
    lastSize_ = *size;
    source_->ReleaseSamples(sourceSize);
    return output_.data();
}
