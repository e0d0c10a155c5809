#pragma once
// Chunk-by-chunk reading of a RIFF file, with a stack of the lists entered.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/File.h"
#include "sources/LittleEndian.h"

namespace Riff {
inline constexpr FourCC kRiff = MakeFourCC("RIFF");
inline constexpr FourCC kList = MakeFourCC("LIST");
}  // namespace Riff

struct ChunkHeader {
    // "RIFF" or "LIST" for a list, 0 for a plain chunk.
    Riff::FourCC listType = 0;
    // The form type of a list, the chunk id of a plain chunk.
    Riff::FourCC id = 0;
    // Content bytes: as stored for a plain chunk; for a list without its form type.
    uint32_t size = 0;
    // File position of the first content byte.
    uint64_t dataPosition = 0;

    bool IsList() const { return listType != 0; }
    // Where the next chunk at the same level starts: content rounded up to even.
    uint64_t End() const { return dataPosition + size + (size & 1u); }
};

// Reads go through one read-ahead buffer per open file, so that walking many small
// chunks costs one system call per buffer rather than two per chunk. Positions, short
// reads and every failure look exactly as they would reading the file directly.
class CRiffFile {
public:
    static constexpr uint32_t kDefaultReadAhead = 1u << 20;

    // `readAheadBytes` is the size of the buffer; 0 sends every read straight to the file.
    explicit CRiffFile(uint32_t readAheadBytes = kDefaultReadAhead)
        : readAhead_(readAheadBytes) {}
    CRiffFile(const CRiffFile&) = delete;
    CRiffFile& operator=(const CRiffFile&) = delete;
    virtual ~CRiffFile();

    // Opens for reading and starts the walk at the first top-level chunk. The narrow
    // path is UTF-8.
    virtual bool Open(const std::string& path);
    virtual bool Open(const std::wstring& path);
    // Releases the file handle and the read-ahead buffer; the walk's state stays.
    virtual void Close();

    // Exactly `count` bytes at the current position, or failure. After a failure the
    // position is unknown (GetPosition gives UINT64_MAX) until the next successful Seek.
    bool Read(void* buffer, uint32_t count);
    // A move inside the bytes already buffered makes no system call.
    bool Seek(uint64_t position);
    uint64_t GetFileSize() const { return fileSize_; }
    uint64_t GetPosition() const { return position_; }

    // The next chunk of the innermost open list (or of the file when none is open).
    // Fails when that level is exhausted or the header cannot be read. On success the
    // file is positioned at the chunk's content.
    bool NextChunk(ChunkHeader* header);
    // Continues the walk inside `list`, which NextChunk has just returned.
    void EnterList(const ChunkHeader& list);
    // Closes the innermost open list, whose header goes to `list` when not null. Does
    // nothing at top level.
    void LeaveList(ChunkHeader* list = nullptr);
    bool IsTopLevel() const { return openLists_.empty(); }
    size_t Depth() const { return openLists_.size(); }

protected:
    // Reads a chunk header at the current position, whatever the walk's state.
    bool ReadChunkHeader(ChunkHeader* header);

private:
    static constexpr uint64_t kUnknownPosition = UINT64_MAX;

    // Forgets the position and the buffered bytes after a failed read or seek.
    bool Fail();

    Platform::File file_;
    uint64_t fileSize_ = 0;
    // The caller's position. While known, it lies in the buffered window
    // [bufferStart_, bufferStart_ + bufferFilled_], and the file pointer stands at the
    // window's end.
    uint64_t position_ = 0;
    uint32_t readAhead_;
    std::unique_ptr<uint8_t[]> buffer_;
    uint32_t bufferCapacity_ = 0;
    uint64_t bufferStart_ = 0;
    uint32_t bufferFilled_ = 0;
    std::vector<ChunkHeader> openLists_;
    // One entry more than openLists_: the next read position at top level, then inside
    // each open list.
    std::vector<uint64_t> nextPositions_;
};
