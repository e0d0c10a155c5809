#pragma once
// An AVI file: its headers, the frame counts and key-frame flags its indexes give, and
// the payload of each data chunk of a stream, in file order, through a sequential walk
// of the movi list and its extensions.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sources/RiffFile.h"
#include "sources/WaveFormat.h"

struct AviMainHeader {
    static constexpr uint32_t kSize = 56;
    static constexpr uint32_t kFlagHasIndex = 0x10;

    uint32_t microSecPerFrame = 0;
    uint32_t maxBytesPerSec = 0;
    uint32_t paddingGranularity = 0;
    uint32_t flags = 0;
    uint32_t totalFrames = 0;
    uint32_t initialFrames = 0;
    uint32_t streams = 0;
    uint32_t suggestedBufferSize = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t reserved[4] = {};

    static AviMainHeader Decode(const uint8_t* bytes);
};

struct AviStreamHeader {
    static constexpr uint32_t kSize = 56;

    Riff::FourCC fccType = 0;
    Riff::FourCC fccHandler = 0;
    uint32_t flags = 0;
    uint16_t priority = 0;
    uint16_t language = 0;
    uint32_t initialFrames = 0;
    uint32_t scale = 0;
    uint32_t rate = 0;
    uint32_t start = 0;
    uint32_t length = 0;
    uint32_t suggestedBufferSize = 0;
    uint32_t quality = 0;
    uint32_t sampleSize = 0;
    int16_t frameLeft = 0;
    int16_t frameTop = 0;
    int16_t frameRight = 0;
    int16_t frameBottom = 0;

    static AviStreamHeader Decode(const uint8_t* bytes);
};

struct BitmapInfoHeader {
    uint32_t size = 0;
    int32_t width = 0;
    int32_t height = 0;
    uint16_t planes = 0;
    uint16_t bitCount = 0;
    Riff::FourCC compression = 0;
    uint32_t sizeImage = 0;
    int32_t xPelsPerMeter = 0;
    int32_t yPelsPerMeter = 0;
    uint32_t clrUsed = 0;
    uint32_t clrImportant = 0;

    static BitmapInfoHeader Decode(const uint8_t* bytes);  // 40 bytes
};

struct AudioFormatRecord {
    WaveFormat format;          // the first 18 bytes of strf; the rest zero
    uint32_t streamNumber = 0;  // position of the stream's strl among all strl lists
};

struct VideoFormatRecord {
    // Bitmap header followed by room for a 256-entry palette.
    static constexpr uint32_t kAreaSize = 1064;

    std::array<uint8_t, kAreaSize> area{};  // strf content, zero-filled past it
    BitmapInfoHeader header;                // decoded from the start of `area`
    uint32_t streamNumber = 0;
};

class CAviFile : public CRiffFile {
public:
    CAviFile() = default;
    ~CAviFile() override;

    // Opens the file and reads its headers and indexes.
    bool Open(const std::string& path) override;
    bool Open(const std::wstring& path) override;

    const AviMainHeader& MainHeader() const { return mainHeader_; }
    uint32_t VideoStreamCount() const { return static_cast<uint32_t>(videoHeaders_.size()); }
    uint32_t AudioStreamCount() const { return static_cast<uint32_t>(audioHeaders_.size()); }
    // Video and audio streams in file order; the position is the video or audio index.
    const std::vector<AviStreamHeader>& VideoHeaders() const { return videoHeaders_; }
    const std::vector<AviStreamHeader>& AudioHeaders() const { return audioHeaders_; }
    const std::vector<VideoFormatRecord>& VideoFormats() const { return videoFormats_; }
    const std::vector<AudioFormatRecord>& AudioFormats() const { return audioFormats_; }
    // Number of strl lists, every stream type counted.
    uint32_t StreamCount() const { return static_cast<uint32_t>(streamQueues_.size()); }

    bool HasLegacyIndex() const { return (indexFlags_ & kHasLegacyIndex) != 0; }
    bool HasOpenDmlIndex() const { return (indexFlags_ & kHasOpenDmlIndex) != 0; }

    // Index queries. The OpenDML index wins over idx1 whenever any stream had one.
    uint32_t VideoFrameCount(uint32_t videoIndex) const;
    bool IsVideoKeyFrame(uint32_t videoIndex, uint32_t frame) const;
    uint32_t VideoKeyFrameCount(uint32_t videoIndex) const;

    // Readers of a stream announce themselves before the walk passes its first chunk.
    // Once any reader is announced, the walk keeps chunks only for streams that have
    // one, so a stream nobody reads costs no memory; without any announcement every
    // stream's chunks are kept until asked for.
    void AddVideoReader(uint32_t videoIndex);
    void AddAudioReader(uint32_t audioIndex);
    void RemoveVideoReader(uint32_t videoIndex);
    void RemoveAudioReader(uint32_t audioIndex);

    // Drops the oldest chunk of the stream and makes the next one the oldest, walking the
    // file as far as needed. False when the stream has no more chunks. Advancing a stream
    // nobody announced makes it one that is read.
    bool AdvanceVideo(uint32_t videoIndex);
    bool AdvanceAudio(uint32_t audioIndex);
    bool AdvanceStream(uint32_t streamNumber);

    // The oldest chunk of a stream, valid until that stream's next advance; size 0 and
    // null when none is queued.
    uint32_t VideoChunkSize(uint32_t videoIndex) const;
    const uint8_t* VideoChunkData(uint32_t videoIndex) const;
    uint32_t AudioChunkSize(uint32_t audioIndex) const;
    const uint8_t* AudioChunkData(uint32_t audioIndex) const;

    // Bytes held in chunk queues (for tests and measurements).
    uint64_t QueuedBytes() const;

private:
    static constexpr uint32_t kHasLegacyIndex = 1;
    static constexpr uint32_t kHasOpenDmlIndex = 2;

    struct LegacyEntry {
        Riff::FourCC chunkId;
        uint32_t flags;
        uint32_t offset;
        uint32_t length;
    };
    struct OpenDmlEntry {
        uint32_t offset;
        uint32_t size;  // bit 31 set: not a key frame
    };
    struct ChunkBuffer {
        std::unique_ptr<uint8_t[]> bytes;
        uint32_t size = 0;
        uint32_t capacity = 0;
    };
    // First-in first-out chunks of one stream. Slots keep their storage when emptied,
    // so a steady walk allocates nothing.
    struct ChunkQueue {
        std::vector<ChunkBuffer> slots;
        size_t head = 0;
        size_t count = 0;
        uint32_t readers = 0;

        ChunkBuffer* Front() { return count > 0 ? &slots[head] : nullptr; }
        const ChunkBuffer* Front() const { return count > 0 ? &slots[head] : nullptr; }
        ChunkBuffer& PushSlot();
        void Pop();
        void Clear();
    };

    bool ParseHeaders();
    bool ParseStreamList(const ChunkHeader& strl, uint32_t streamNumber);
    bool ParseOpenDmlIndex(const ChunkHeader& indx);
    bool ParseStandardIndex(uint64_t position);
    bool ParseLegacyIndex();
    bool Fits(uint64_t position, uint64_t size) const;
    bool NextMoviChunk(ChunkHeader* header);
    bool StoreDataChunk(const ChunkHeader& header);
    bool KeepsStream(uint32_t streamNumber) const;
    const ChunkBuffer* OldestChunk(int streamNumber) const;
    int VideoStreamNumber(uint32_t videoIndex) const;
    int AudioStreamNumber(uint32_t audioIndex) const;
    void AddReader(int streamNumber);
    void RemoveReader(int streamNumber);

    AviMainHeader mainHeader_;
    std::vector<AviStreamHeader> audioHeaders_;
    std::vector<AviStreamHeader> videoHeaders_;
    std::vector<AudioFormatRecord> audioFormats_;
    std::vector<VideoFormatRecord> videoFormats_;
    std::vector<ChunkQueue> streamQueues_;
    uint32_t indexFlags_ = 0;
    std::vector<std::vector<LegacyEntry>> legacyIndex_;
    std::vector<std::vector<OpenDmlEntry>> openDmlIndex_;
    uint64_t openDmlEntryTotal_ = 0;
    bool selectiveWalk_ = false;  // set by the first announced reader
    bool walkEnded_ = false;
    std::vector<uint8_t> scratch_;
};
