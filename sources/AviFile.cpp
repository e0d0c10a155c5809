#include "sources/AviFile.h"

#include <algorithm>
#include <cstring>

namespace {

using Riff::FourCC;
using Riff::MakeFourCC;

constexpr FourCC kFormAvi = MakeFourCC("AVI ");
constexpr FourCC kFormAviExtension = MakeFourCC("AVIX");
constexpr FourCC kListHeaders = MakeFourCC("hdrl");
constexpr FourCC kListStream = MakeFourCC("strl");
constexpr FourCC kListMovie = MakeFourCC("movi");
constexpr FourCC kListRecord = MakeFourCC("rec ");
constexpr FourCC kChunkMainHeader = MakeFourCC("avih");
constexpr FourCC kChunkStreamHeader = MakeFourCC("strh");
constexpr FourCC kChunkStreamFormat = MakeFourCC("strf");
constexpr FourCC kChunkSuperIndex = MakeFourCC("indx");
constexpr FourCC kChunkLegacyIndex = MakeFourCC("idx1");
constexpr FourCC kTypeVideo = MakeFourCC("vids");
constexpr FourCC kTypeAudio = MakeFourCC("auds");

// The plain wave format record the audio format record is read from.
constexpr uint32_t kWaveFormatExSize = 18;

// Index headers of the OpenDML extensions (super index and standard index share the
// first 12 bytes).
constexpr uint32_t kIndexHeaderSize = 24;
constexpr uint32_t kIndexSubTypeOffset = 2;
constexpr uint32_t kIndexTypeOffset = 3;
constexpr uint32_t kIndexEntriesInUseOffset = 4;
constexpr uint32_t kSuperIndexBaseOffset = 12;  // first two reserved words, low first
constexpr uint8_t kIndexOfIndexes = 0;
constexpr uint8_t kIndexOfChunks = 1;
constexpr uint8_t kIndexSubTypeTwoFields = 1;
constexpr uint32_t kSuperEntrySize = 16;
constexpr uint32_t kSuperEntryOffset = 0;
constexpr uint32_t kStandardEntrySize = 8;
constexpr uint32_t kStandardEntryOffset = 0;
constexpr uint32_t kStandardEntrySizeField = 4;
constexpr uint32_t kStandardEntryNotKey = 0x80000000u;

// idx1 entries.
constexpr uint32_t kLegacyEntrySize = 16;
constexpr uint32_t kLegacyFlagList = 0x01;
constexpr uint32_t kLegacyFlagKeyFrame = 0x10;

bool IsDataChunkId(FourCC id) {
    char a = Riff::FourCCChar(id, 2);
    char b = Riff::FourCCChar(id, 3);
    return (a == 'w' && b == 'b') || (a == 'd' && b == 'b') || (a == 'd' && b == 'c');
}

bool IsList(const ChunkHeader& header, FourCC form) {
    return header.IsList() && header.id == form;
}

}  // namespace

AviMainHeader AviMainHeader::Decode(const uint8_t* p) {
    AviMainHeader h;
    h.microSecPerFrame = Riff::ReadU32(p + 0);
    h.maxBytesPerSec = Riff::ReadU32(p + 4);
    h.paddingGranularity = Riff::ReadU32(p + 8);
    h.flags = Riff::ReadU32(p + 12);
    h.totalFrames = Riff::ReadU32(p + 16);
    h.initialFrames = Riff::ReadU32(p + 20);
    h.streams = Riff::ReadU32(p + 24);
    h.suggestedBufferSize = Riff::ReadU32(p + 28);
    h.width = Riff::ReadU32(p + 32);
    h.height = Riff::ReadU32(p + 36);
    for (int i = 0; i < 4; ++i) {
        h.reserved[i] = Riff::ReadU32(p + 40 + 4 * i);
    }
    return h;
}

AviStreamHeader AviStreamHeader::Decode(const uint8_t* p) {
    AviStreamHeader h;
    h.fccType = Riff::ReadU32(p + 0);
    h.fccHandler = Riff::ReadU32(p + 4);
    h.flags = Riff::ReadU32(p + 8);
    h.priority = Riff::ReadU16(p + 12);
    h.language = Riff::ReadU16(p + 14);
    h.initialFrames = Riff::ReadU32(p + 16);
    h.scale = Riff::ReadU32(p + 20);
    h.rate = Riff::ReadU32(p + 24);
    h.start = Riff::ReadU32(p + 28);
    h.length = Riff::ReadU32(p + 32);
    h.suggestedBufferSize = Riff::ReadU32(p + 36);
    h.quality = Riff::ReadU32(p + 40);
    h.sampleSize = Riff::ReadU32(p + 44);
    h.frameLeft = static_cast<int16_t>(Riff::ReadU16(p + 48));
    h.frameTop = static_cast<int16_t>(Riff::ReadU16(p + 50));
    h.frameRight = static_cast<int16_t>(Riff::ReadU16(p + 52));
    h.frameBottom = static_cast<int16_t>(Riff::ReadU16(p + 54));
    return h;
}

BitmapInfoHeader BitmapInfoHeader::Decode(const uint8_t* p) {
    BitmapInfoHeader h;
    h.size = Riff::ReadU32(p + 0);
    h.width = static_cast<int32_t>(Riff::ReadU32(p + 4));
    h.height = static_cast<int32_t>(Riff::ReadU32(p + 8));
    h.planes = Riff::ReadU16(p + 12);
    h.bitCount = Riff::ReadU16(p + 14);
    h.compression = Riff::ReadU32(p + 16);
    h.sizeImage = Riff::ReadU32(p + 20);
    h.xPelsPerMeter = static_cast<int32_t>(Riff::ReadU32(p + 24));
    h.yPelsPerMeter = static_cast<int32_t>(Riff::ReadU32(p + 28));
    h.clrUsed = Riff::ReadU32(p + 32);
    h.clrImportant = Riff::ReadU32(p + 36);
    return h;
}

// ---- chunk queues ----

CAviFile::ChunkBuffer& CAviFile::ChunkQueue::PushSlot() {
    if (count == slots.size()) {
        std::rotate(slots.begin(), slots.begin() + static_cast<std::ptrdiff_t>(head), slots.end());
        head = 0;
        slots.emplace_back();
    }
    ChunkBuffer& slot = slots[(head + count) % slots.size()];
    ++count;
    return slot;
}

void CAviFile::ChunkQueue::Pop() {
    if (count == 0) {
        return;
    }
    head = (head + 1) % slots.size();
    --count;
}

void CAviFile::ChunkQueue::Clear() {
    slots.clear();
    slots.shrink_to_fit();
    head = 0;
    count = 0;
}

// ---- opening ----

CAviFile::~CAviFile() = default;

bool CAviFile::Open(const std::string& path) {
    return CRiffFile::Open(path) && ParseHeaders();
}

bool CAviFile::Open(const std::wstring& path) {
    return CRiffFile::Open(path) && ParseHeaders();
}

bool CAviFile::Fits(uint64_t position, uint64_t size) const {
    return position <= GetFileSize() && size <= GetFileSize() - position;
}

bool CAviFile::ParseHeaders() {
    mainHeader_ = AviMainHeader();
    audioHeaders_.clear();
    videoHeaders_.clear();
    audioFormats_.clear();
    videoFormats_.clear();
    streamQueues_.clear();
    legacyIndex_.clear();
    openDmlIndex_.clear();
    openDmlEntryTotal_ = 0;
    indexFlags_ = 0;
    walkEnded_ = false;
    selectiveWalk_ = false;

    ChunkHeader chunk;
    if (!NextChunk(&chunk) || chunk.listType != Riff::kRiff || chunk.id != kFormAvi) {
        return false;
    }
    EnterList(chunk);
    if (!NextChunk(&chunk) || chunk.listType != Riff::kList || chunk.id != kListHeaders) {
        return false;
    }
    EnterList(chunk);
    if (!NextChunk(&chunk) || chunk.IsList() || chunk.id != kChunkMainHeader) {
        return false;
    }
    // A short avih keeps zeros in the fields it lacks rather than reading past its end.
    uint8_t mainBytes[AviMainHeader::kSize] = {};
    if (!Read(mainBytes, std::min(chunk.size, AviMainHeader::kSize))) {
        return false;
    }
    mainHeader_ = AviMainHeader::Decode(mainBytes);
    if ((mainHeader_.flags & AviMainHeader::kFlagHasIndex) != 0) {
        indexFlags_ |= kHasLegacyIndex;
    }

    // Stream lists inside hdrl, then on at the RIFF level past whatever lies between
    // hdrl and movi.
    auto nextOrUp = [this](ChunkHeader* header) {
        if (NextChunk(header)) {
            return true;
        }
        LeaveList();
        return NextChunk(header);
    };
    uint32_t streamNumber = 0;
    for (;;) {
        do {
            if (!nextOrUp(&chunk)) {
                return false;
            }
        } while (!chunk.IsList());
        if (chunk.id == kListStream) {
            if (!ParseStreamList(chunk, streamNumber)) {
                return false;
            }
            ++streamNumber;
        }
        if (chunk.id == kListMovie) {
            break;
        }
    }
    ChunkHeader movie = chunk;
    legacyIndex_.resize(streamNumber);
    if (openDmlIndex_.size() < streamNumber) {
        openDmlIndex_.resize(streamNumber);
    }
    if (HasLegacyIndex() && !ParseLegacyIndex()) {
        return false;
    }
    EnterList(movie);
    streamQueues_.resize(streamNumber);
    return true;
}

bool CAviFile::ParseStreamList(const ChunkHeader& strl, uint32_t streamNumber) {
    EnterList(strl);
    ChunkHeader chunk;
    uint8_t headerBytes[AviStreamHeader::kSize];
    if (!NextChunk(&chunk) || chunk.IsList() || chunk.id != kChunkStreamHeader ||
        chunk.size < AviStreamHeader::kSize || !Read(headerBytes, AviStreamHeader::kSize)) {
        return false;
    }
    AviStreamHeader header = AviStreamHeader::Decode(headerBytes);
    if (!NextChunk(&chunk) || chunk.IsList() || chunk.id != kChunkStreamFormat) {
        return false;
    }
    if (header.fccType == kTypeVideo) {
        VideoFormatRecord record;
        // Only the bitmap header is used; a longer format keeps its first bytes.
        if (!Read(record.area.data(), std::min(chunk.size, VideoFormatRecord::kAreaSize))) {
            return false;
        }
        record.header = BitmapInfoHeader::Decode(record.area.data());
        record.streamNumber = streamNumber;
        videoFormats_.push_back(record);
        videoHeaders_.push_back(header);
    } else if (header.fccType == kTypeAudio) {
        uint8_t formatBytes[kWaveFormatExSize] = {};
        uint32_t count = std::min(chunk.size, kWaveFormatExSize);
        if (!Read(formatBytes, count)) {
            return false;
        }
        AudioFormatRecord record;
        record.format = WaveFormat::Decode(formatBytes, kWaveFormatExSize);
        record.streamNumber = streamNumber;
        audioFormats_.push_back(record);
        audioHeaders_.push_back(header);
    }
    // Writers put other chunks (names, properties) before the super index, so the whole
    // rest of the list is searched for it.
    bool indexSeen = false;
    while (NextChunk(&chunk)) {
        if (!indexSeen && !chunk.IsList() && chunk.id == kChunkSuperIndex) {
            indexSeen = true;
            indexFlags_ |= kHasOpenDmlIndex;
            if (!ParseOpenDmlIndex(chunk)) {
                return false;
            }
        }
    }
    LeaveList();
    return true;
}

bool CAviFile::ParseOpenDmlIndex(const ChunkHeader& indx) {
    if (indx.size < kIndexHeaderSize || !Fits(indx.dataPosition, indx.size)) {
        return false;
    }
    uint8_t header[kIndexHeaderSize];
    if (!Read(header, kIndexHeaderSize)) {
        return false;
    }
    uint32_t entriesRead = (indx.size - kIndexHeaderSize) / kSuperEntrySize;
    std::vector<uint8_t> entries(static_cast<size_t>(entriesRead) * kSuperEntrySize);
    if (!Read(entries.data(), static_cast<uint32_t>(entries.size()))) {
        return false;
    }
    if (header[kIndexTypeOffset] != kIndexOfIndexes) {
        return false;
    }
    uint64_t returnPosition = GetPosition();
    uint64_t base = Riff::ReadU64(header + kSuperIndexBaseOffset);
    uint32_t inUse = std::min(Riff::ReadU32(header + kIndexEntriesInUseOffset), entriesRead);
    for (uint32_t i = 0; i < inUse; ++i) {
        uint64_t offset = Riff::ReadU64(&entries[i * kSuperEntrySize + kSuperEntryOffset]);
        if (!ParseStandardIndex(offset + base)) {
            return false;
        }
    }
    return Seek(returnPosition);
}

bool CAviFile::ParseStandardIndex(uint64_t position) {
    ChunkHeader chunk;
    if (!Fits(position, 0) || !Seek(position) || !ReadChunkHeader(&chunk)) {
        return false;
    }
    int streamNumber = Riff::StreamNumberAt(chunk.id, 2);
    if (streamNumber < 0 || chunk.size < kIndexHeaderSize ||
        !Fits(chunk.dataPosition, chunk.size)) {
        return false;
    }
    uint8_t header[kIndexHeaderSize];
    if (!Read(header, kIndexHeaderSize)) {
        return false;
    }
    if (header[kIndexTypeOffset] != kIndexOfChunks ||
        header[kIndexSubTypeOffset] == kIndexSubTypeTwoFields) {
        return false;
    }
    uint32_t inUse = Riff::ReadU32(header + kIndexEntriesInUseOffset);
    if (inUse > (chunk.size - kIndexHeaderSize) / kStandardEntrySize) {
        return false;  // more entries than the chunk holds
    }
    // Every entry stands for a distinct chunk of at least 8 bytes; more entries than
    // that in total means index chunks were referenced over and over.
    openDmlEntryTotal_ += inUse;
    if (openDmlEntryTotal_ > GetFileSize() / kStandardEntrySize) {
        return false;
    }
    scratch_.resize(static_cast<size_t>(inUse) * kStandardEntrySize);
    if (!Read(scratch_.data(), static_cast<uint32_t>(scratch_.size()))) {
        return false;
    }
    if (openDmlIndex_.size() <= static_cast<size_t>(streamNumber)) {
        openDmlIndex_.resize(static_cast<size_t>(streamNumber) + 1);
    }
    std::vector<OpenDmlEntry>& list = openDmlIndex_[static_cast<size_t>(streamNumber)];
    list.reserve(list.size() + inUse);
    for (uint32_t i = 0; i < inUse; ++i) {
        const uint8_t* entry = &scratch_[i * kStandardEntrySize];
        list.push_back({Riff::ReadU32(entry + kStandardEntryOffset),
                        Riff::ReadU32(entry + kStandardEntrySizeField)});
    }
    return true;
}

bool CAviFile::ParseLegacyIndex() {
    ChunkHeader chunk;
    do {
        if (!NextChunk(&chunk)) {
            return false;
        }
    } while (chunk.IsList() || chunk.id != kChunkLegacyIndex);
    if (!Fits(chunk.dataPosition, chunk.size)) {
        return false;
    }
    uint32_t count = chunk.size / kLegacyEntrySize;
    scratch_.resize(static_cast<size_t>(count) * kLegacyEntrySize);
    if (!Read(scratch_.data(), static_cast<uint32_t>(scratch_.size()))) {
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* p = &scratch_[i * kLegacyEntrySize];
        LegacyEntry entry{Riff::ReadU32(p), Riff::ReadU32(p + 4), Riff::ReadU32(p + 8),
                          Riff::ReadU32(p + 12)};
        int streamNumber = Riff::StreamNumberAt(entry.chunkId, 0);
        if (streamNumber < 0 || static_cast<size_t>(streamNumber) >= legacyIndex_.size() ||
            (entry.flags & kLegacyFlagList) != 0) {
            continue;
        }
        legacyIndex_[static_cast<size_t>(streamNumber)].push_back(entry);
    }
    return true;
}

// ---- index queries ----

int CAviFile::VideoStreamNumber(uint32_t videoIndex) const {
    return videoIndex < videoFormats_.size()
               ? static_cast<int>(videoFormats_[videoIndex].streamNumber)
               : -1;
}

int CAviFile::AudioStreamNumber(uint32_t audioIndex) const {
    return audioIndex < audioFormats_.size()
               ? static_cast<int>(audioFormats_[audioIndex].streamNumber)
               : -1;
}

uint32_t CAviFile::VideoFrameCount(uint32_t videoIndex) const {
    int s = VideoStreamNumber(videoIndex);
    if (s < 0) {
        return 0;
    }
    auto n = static_cast<size_t>(s);
    if (HasOpenDmlIndex()) {
        return n < openDmlIndex_.size() ? static_cast<uint32_t>(openDmlIndex_[n].size()) : 0;
    }
    if (HasLegacyIndex()) {
        return n < legacyIndex_.size() ? static_cast<uint32_t>(legacyIndex_[n].size()) : 0;
    }
    return 0;
}

bool CAviFile::IsVideoKeyFrame(uint32_t videoIndex, uint32_t frame) const {
    if (frame >= VideoFrameCount(videoIndex)) {
        return false;
    }
    auto n = static_cast<size_t>(VideoStreamNumber(videoIndex));
    if (HasOpenDmlIndex()) {
        return (openDmlIndex_[n][frame].size & kStandardEntryNotKey) == 0;
    }
    return (legacyIndex_[n][frame].flags & kLegacyFlagKeyFrame) != 0;
}

uint32_t CAviFile::VideoKeyFrameCount(uint32_t videoIndex) const {
    uint32_t count = VideoFrameCount(videoIndex);
    uint32_t keys = 0;
    for (uint32_t i = 0; i < count; ++i) {
        keys += IsVideoKeyFrame(videoIndex, i) ? 1 : 0;
    }
    return keys;
}

// ---- readers ----

void CAviFile::AddReader(int streamNumber) {
    if (streamNumber < 0 || static_cast<size_t>(streamNumber) >= streamQueues_.size()) {
        return;
    }
    selectiveWalk_ = true;
    ++streamQueues_[static_cast<size_t>(streamNumber)].readers;
}

void CAviFile::RemoveReader(int streamNumber) {
    if (streamNumber < 0 || static_cast<size_t>(streamNumber) >= streamQueues_.size()) {
        return;
    }
    ChunkQueue& queue = streamQueues_[static_cast<size_t>(streamNumber)];
    if (queue.readers > 0 && --queue.readers == 0) {
        queue.Clear();
    }
}

void CAviFile::AddVideoReader(uint32_t videoIndex) {
    AddReader(VideoStreamNumber(videoIndex));
}

void CAviFile::AddAudioReader(uint32_t audioIndex) {
    AddReader(AudioStreamNumber(audioIndex));
}

void CAviFile::RemoveVideoReader(uint32_t videoIndex) {
    RemoveReader(VideoStreamNumber(videoIndex));
}

void CAviFile::RemoveAudioReader(uint32_t audioIndex) {
    RemoveReader(AudioStreamNumber(audioIndex));
}

bool CAviFile::KeepsStream(uint32_t streamNumber) const {
    return !selectiveWalk_ || streamQueues_[streamNumber].readers > 0;
}

// ---- the stream walk ----

bool CAviFile::AdvanceVideo(uint32_t videoIndex) {
    int s = VideoStreamNumber(videoIndex);
    return s >= 0 && AdvanceStream(static_cast<uint32_t>(s));
}

bool CAviFile::AdvanceAudio(uint32_t audioIndex) {
    int s = AudioStreamNumber(audioIndex);
    return s >= 0 && AdvanceStream(static_cast<uint32_t>(s));
}

bool CAviFile::NextMoviChunk(ChunkHeader* header) {
    for (;;) {
        if (NextChunk(header)) {
            return true;
        }
        // This movi list is over; its data may go on in an extension list.
        while (!IsTopLevel()) {
            LeaveList();
        }
        if (!NextChunk(header) || !IsList(*header, kFormAviExtension)) {
            return false;
        }
        EnterList(*header);
        if (!NextChunk(header) || !IsList(*header, kListMovie)) {
            return false;
        }
        EnterList(*header);
    }
}

bool CAviFile::AdvanceStream(uint32_t streamNumber) {
    if (streamNumber >= streamQueues_.size()) {
        return false;
    }
    ChunkQueue& queue = streamQueues_[streamNumber];
    if (selectiveWalk_ && queue.readers == 0) {
        // Read without being announced: keep its chunks from here on rather than walk
        // the rest of the file looking for one that would be skipped.
        queue.readers = 1;
    }
    queue.Pop();
    while (queue.count == 0) {
        if (walkEnded_) {
            return false;
        }
        ChunkHeader chunk;
        bool ok = NextMoviChunk(&chunk);
        if (ok && IsList(chunk, kListRecord)) {
            EnterList(chunk);
            ChunkHeader inner;
            while (ok && NextChunk(&inner)) {
                ok = StoreDataChunk(inner);
            }
            if (ok) {
                LeaveList();
            }
        } else if (ok && !chunk.IsList() && IsDataChunkId(chunk.id)) {
            ok = StoreDataChunk(chunk);
        }
        if (!ok) {
            // Truncated or damaged: nothing after this point can be trusted, for any
            // stream. Chunks already queued are still handed out.
            walkEnded_ = true;
            return false;
        }
    }
    return true;
}

bool CAviFile::StoreDataChunk(const ChunkHeader& header) {
    if (header.IsList() || !IsDataChunkId(header.id)) {
        return false;
    }
    int streamNumber = Riff::StreamNumberAt(header.id, 0);
    if (streamNumber < 0 || static_cast<size_t>(streamNumber) >= streamQueues_.size() ||
        !KeepsStream(static_cast<uint32_t>(streamNumber))) {
        return true;
    }
    if (!Fits(header.dataPosition, header.size)) {
        return false;
    }
    ChunkQueue& queue = streamQueues_[static_cast<size_t>(streamNumber)];
    ChunkBuffer& slot = queue.PushSlot();
    if (slot.capacity < header.size || !slot.bytes) {
        // Never null, so that an empty chunk is still a chunk.
        uint32_t capacity = std::max<uint32_t>(header.size, 1);
        slot.bytes = std::make_unique_for_overwrite<uint8_t[]>(capacity);
        slot.capacity = capacity;
    }
    slot.size = header.size;
    if (!Read(slot.bytes.get(), header.size)) {
        --queue.count;  // drop the slot just taken
        return false;
    }
    return true;
}

// ---- queued chunks ----

const CAviFile::ChunkBuffer* CAviFile::OldestChunk(int streamNumber) const {
    if (streamNumber < 0 || static_cast<size_t>(streamNumber) >= streamQueues_.size()) {
        return nullptr;
    }
    return streamQueues_[static_cast<size_t>(streamNumber)].Front();
}

uint32_t CAviFile::VideoChunkSize(uint32_t videoIndex) const {
    const ChunkBuffer* chunk = OldestChunk(VideoStreamNumber(videoIndex));
    return chunk != nullptr ? chunk->size : 0;
}

const uint8_t* CAviFile::VideoChunkData(uint32_t videoIndex) const {
    const ChunkBuffer* chunk = OldestChunk(VideoStreamNumber(videoIndex));
    return chunk != nullptr ? chunk->bytes.get() : nullptr;
}

uint32_t CAviFile::AudioChunkSize(uint32_t audioIndex) const {
    const ChunkBuffer* chunk = OldestChunk(AudioStreamNumber(audioIndex));
    return chunk != nullptr ? chunk->size : 0;
}

const uint8_t* CAviFile::AudioChunkData(uint32_t audioIndex) const {
    const ChunkBuffer* chunk = OldestChunk(AudioStreamNumber(audioIndex));
    return chunk != nullptr ? chunk->bytes.get() : nullptr;
}

uint64_t CAviFile::QueuedBytes() const {
    uint64_t total = 0;
    for (const ChunkQueue& queue : streamQueues_) {
        for (size_t i = 0; i < queue.count; ++i) {
            total += queue.slots[(queue.head + i) % queue.slots.size()].size;
        }
    }
    return total;
}
