#include "sources/AdtsFile.h"

#include "platform/File.h"

namespace {
constexpr int32_t kSampleRates[16] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050,
                                      16000, 12000, 11025, 8000,  7350,  0,     0,     0};
constexpr int32_t kChannelCounts[8] = {0, 1, 2, 3, 4, 5, 6, 8};
}  // namespace

AdtsFile::~AdtsFile() {
    CloseFile();
}

bool AdtsFile::OpenFile(const std::wstring& path) {
    CloseFile();
    file_ = Platform::OpenStream(path, L"rb");
    if (file_ == nullptr) {
        return Fail(kOpenFailed);
    }
    if (Platform::SeekStream(file_, 0, SEEK_END)) {
        fileSize_ = Platform::TellStream(file_);
    }
    Platform::SeekStream(file_, 0, SEEK_SET);
    return true;
}

bool AdtsFile::ReadHeader() {
    if (file_ == nullptr) {
        return Fail(kEnded);
    }
    buffered_ = kHeaderSize;
    uint8_t* h = buffer_.data();
    if (std::fread(h, 1, kHeaderSize, file_) != kHeaderSize) {
        return Fail(kEnded);
    }
    // 12-bit sync word.
    if (h[0] != 0xFF || (h[1] & 0xF0) != 0xF0) {
        return Fail(kBadData);
    }
    protectionAbsent_ = h[1] & 0x01;
    profile_ = (h[2] >> 6) & 0x03;
    frequencyIndex_ = (h[2] >> 2) & 0x0F;
    channelConfiguration_ = ((h[2] & 0x01) << 2) | ((h[3] >> 6) & 0x03);
    frameLength_ = (static_cast<uint32_t>(h[3] & 0x03) << 11) | (static_cast<uint32_t>(h[4]) << 3) |
                   (static_cast<uint32_t>(h[5]) >> 5);
    rawBlocks_ = h[6] & 0x03;
    if (protectionAbsent_ == 0) {
        buffered_ = kHeaderSize + kCrcSize;
        if (std::fread(h + kHeaderSize, 1, kCrcSize, file_) != kCrcSize) {
            return Fail(kEnded);
        }
    }
    return true;
}

bool AdtsFile::ReadFrame() {
    if (!ReadHeader()) {
        return false;
    }
    uint32_t headerLength = buffered_;
    if (frameLength_ < headerLength) {
        return Fail(kBadData);  // the frame would end inside its own header
    }
    uint32_t payload = frameLength_ - headerLength;
    buffered_ = frameLength_;
    if (std::fread(buffer_.data() + headerLength, 1, payload, file_) != payload) {
        return Fail(kEnded);
    }
    return true;
}

void AdtsFile::CloseFile() {
    state_ = kGood;
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
        buffered_ = 0;
    }
}

int32_t AdtsFile::GetSampleRate() const {
    return kSampleRates[frequencyIndex_ & 0x0F];
}

int32_t AdtsFile::GetChannelCount() const {
    return kChannelCounts[channelConfiguration_ & 0x07];
}
