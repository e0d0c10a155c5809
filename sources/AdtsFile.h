#pragma once
// Reads an AAC file in ADTS form one frame at a time and decodes each frame's header.
// The file must hold ADTS frames back to back from its first byte.
#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

class AdtsFile {
public:
    enum State : int32_t {
        kGood = 0,
        kOpenFailed = 1,
        kOutOfMemory = 2,  // kept for the numbering; the frame buffer is never reallocated
        kBadData = 3,      // no ADTS header where a frame should start
        kEnded = 4,        // the file ended or a read came up short
    };
    static constexpr uint32_t kHeaderSize = 7;
    static constexpr uint32_t kCrcSize = 2;
    // aac_frame_length has 13 bits.
    static constexpr uint32_t kMaxFrameSize = 8191;
    static constexpr uint32_t kSamplesPerBlock = 1024;

    AdtsFile() = default;
    AdtsFile(const AdtsFile&) = delete;
    AdtsFile& operator=(const AdtsFile&) = delete;
    ~AdtsFile();

    bool OpenFile(const std::wstring& path);
    // The next frame's header (and CRC, if any) into the frame buffer.
    bool ReadHeader();
    // The next whole frame into the frame buffer.
    bool ReadFrame();
    void CloseFile();

    // The current frame: header, CRC if any, payload.
    const uint8_t* GetFrameBytes() const { return buffer_.data(); }
    uint32_t GetFrameSize() const { return buffered_; }
    int32_t GetState() const { return state_; }
    int64_t GetFileSize() const { return fileSize_; }

    int32_t GetProfile() const { return profile_; }                    // 0..3; 1 is LC
    int32_t GetSamplingFrequencyIndex() const { return frequencyIndex_; }
    int32_t GetSampleRate() const;                                      // 0 for indexes 13..15
    int32_t GetChannelCount() const;
    int32_t GetBlockCount() const { return rawBlocks_ + 1; }            // 1..4
    bool HasCrc() const { return protectionAbsent_ == 0; }
    uint32_t GetFrameLength() const { return frameLength_; }            // as the header says

private:
    bool Fail(State state) {
        state_ = state;
        return false;
    }

    std::FILE* file_ = nullptr;
    int64_t fileSize_ = 0;
    std::array<uint8_t, kMaxFrameSize> buffer_{};
    uint32_t buffered_ = 0;
    int32_t state_ = kGood;
    int32_t protectionAbsent_ = 1;
    int32_t profile_ = 0;
    int32_t frequencyIndex_ = 0;
    int32_t channelConfiguration_ = 0;
    uint32_t frameLength_ = 0;
    int32_t rawBlocks_ = 0;
};
