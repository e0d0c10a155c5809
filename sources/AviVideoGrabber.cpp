#include "sources/AviVideoGrabber.h"

#include "korva/Mux.h"
#include "korva/ResultCodes.h"
#include "korva/StreamDescriptors.h"
#include "sources/AviFile.h"
#include "sources/MediaTime.h"
#include "sources/VideoRate.h"

namespace {

constexpr uint32_t kStreamTypeVideoWithLayout = 3;
constexpr int32_t kCodecTarsic = 0;
constexpr int32_t kCodecTarsicHd = 2;
// Bytes in front of the frame data of every video chunk.
constexpr uint32_t kChunkPrefixSize = 4;
constexpr uint32_t kKeyFrame = 0;
constexpr uint32_t kOtherFrame = 1;

bool IsInterleavedStereo(int32_t layout) {
    return layout == 0 || layout == 1;
}

// The descriptor codec for a stream handler, or -1 when the handler is not accepted.
int32_t CodecForHandler(Riff::FourCC handler) {
    using Riff::MakeFourCC;
    if (handler == MakeFourCC("TZNK") || handler == MakeFourCC("tznk") ||
        handler == MakeFourCC("QRB7") || handler == MakeFourCC("qrb7")) {
        return kCodecTarsic;
    }
    if (handler == MakeFourCC("KBWX") || handler == MakeFourCC("kbwx")) {
        return kCodecTarsicHd;
    }
    return -1;
}

const uint8_t kNoBytes[1] = {0};

}  // namespace

Korva::StreamVideo* CAviVideoGrabber::GetStream() {
    return descriptor_;
}

bool CAviVideoGrabber::Init(CAviFile* file, uint32_t videoIndex, int32_t layout,
                            int32_t rotation, uint8_t pixelNum, uint8_t pixelDen,
                            int32_t outputIndex, Korva::Mux* mux) {
    if (file == nullptr || mux == nullptr || videoIndex >= file->VideoStreamCount()) {
        return false;
    }
    const AviStreamHeader& header = file->VideoHeaders()[videoIndex];
    int32_t codec = CodecForHandler(header.fccHandler);
    // Times divide by the rate and the descriptor's rate must not be 0.
    if (codec < 0 || header.rate == 0 || header.scale == 0) {
        return false;
    }
    Korva::Stream* created = nullptr;
    if (mux->AddStream(kStreamTypeVideoWithLayout, &created) != Korva::kResultOk) {
        return false;
    }
    auto* descriptor = dynamic_cast<Korva::StreamVideoWithLayout*>(created);
    if (descriptor == nullptr) {
        return false;
    }
    file_ = file;
    videoIndex_ = videoIndex;
    descriptor_ = descriptor;
    frameCounter_ = 0;
    started_ = false;

    const BitmapInfoHeader& bitmap = file->VideoFormats()[videoIndex].header;
    VideoRate rate = FitVideoRate(header.rate, header.scale);
    descriptor->codec = codec;
    descriptor->layout = layout;
    descriptor->rotation = rotation;
    descriptor->rateNum = rate.num;
    descriptor->rateDen = rate.den;
    descriptor->width = static_cast<uint16_t>(bitmap.width);
    descriptor->height = static_cast<uint16_t>(bitmap.height);
    descriptor->pixelNum = pixelNum;
    descriptor->pixelDen = pixelDen;
    descriptor->index = outputIndex;
    file->AddVideoReader(videoIndex);
    return true;
}

const uint8_t* CAviVideoGrabber::GrabFrame(uint32_t* size, uint32_t* frameType, int64_t* time) {
    *size = 0;
    if (file_ == nullptr) {
        return nullptr;
    }
    bool have = started_ && file_->AdvanceVideo(videoIndex_);
    if (!started_) {
        started_ = true;
        have = file_->VideoChunkData(videoIndex_) != nullptr || file_->AdvanceVideo(videoIndex_);
    }
    if (!have) {
        return nullptr;
    }
    auto n = static_cast<uint32_t>(frameCounter_);
    *frameType = file_->IsVideoKeyFrame(videoIndex_, n) ? kKeyFrame : kOtherFrame;
    const AviStreamHeader& header = file_->VideoHeaders()[videoIndex_];
    uint64_t ticks = IsInterleavedStereo(descriptor_->layout)
                         ? MediaTime::MulDiv(uint64_t{n / 2} * header.scale, 2000000, header.rate)
                         : MediaTime::MulDiv(uint64_t{n} * header.scale, 1000000, header.rate);
    *time = static_cast<int64_t>(ticks + 1);
    ++frameCounter_;

    uint32_t chunkSize = file_->VideoChunkSize(videoIndex_);
    const uint8_t* chunk = file_->VideoChunkData(videoIndex_);
    if (chunkSize < kChunkPrefixSize) {
        return kNoBytes;  // an empty frame keeps its place and its key flag
    }
    *size = chunkSize - kChunkPrefixSize;
    return chunk + kChunkPrefixSize;
}
