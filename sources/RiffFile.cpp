#include "sources/RiffFile.h"

#include <algorithm>
#include <cstring>

#include "platform/WideText.h"

namespace {
constexpr uint32_t kPlainHeaderSize = 8;
constexpr uint32_t kFormTypeSize = 4;
}  // namespace

CRiffFile::~CRiffFile() {
    Close();
}

bool CRiffFile::Open(const std::string& path) {
    return Open(Platform::FromUtf8(path));
}

bool CRiffFile::Open(const std::wstring& path) {
    openLists_.clear();
    nextPositions_.clear();
    fileSize_ = 0;
    position_ = 0;
    bufferStart_ = 0;
    bufferFilled_ = 0;
    if (!file_.Open(path, Platform::File::Mode::Read)) {
        return false;
    }
    int64_t size = file_.Size();
    if (size < 0 || !file_.Seek(0)) {
        file_.Close();
        return false;
    }
    fileSize_ = static_cast<uint64_t>(size);
    // A file smaller than the read-ahead needs no more room than its own size; a buffer
    // left from an earlier file is reused when it is large enough.
    auto wanted = static_cast<uint32_t>(std::min<uint64_t>(readAhead_, fileSize_));
    if (bufferCapacity_ < wanted) {
        buffer_.reset();
        buffer_ = std::make_unique_for_overwrite<uint8_t[]>(wanted);
        bufferCapacity_ = wanted;
    }
    nextPositions_.push_back(0);
    return true;
}

void CRiffFile::Close() {
    file_.Close();
    // Nothing may be served from memory once the file is gone: reads fail as they would
    // on the closed handle.
    buffer_.reset();
    bufferCapacity_ = 0;
    bufferFilled_ = 0;
    if (position_ != kUnknownPosition) {
        bufferStart_ = position_;
    }
}

bool CRiffFile::Fail() {
    position_ = kUnknownPosition;
    bufferStart_ = 0;
    bufferFilled_ = 0;
    return false;
}

bool CRiffFile::Read(void* buffer, uint32_t count) {
    if (count == 0) {
        return true;
    }
    if (position_ == kUnknownPosition) {
        return false;  // where the file pointer stands is not known; seek first
    }
    auto* out = static_cast<uint8_t*>(buffer);
    auto offset = static_cast<uint32_t>(position_ - bufferStart_);
    uint32_t available = bufferFilled_ - offset;
    if (count <= available) {
        std::memcpy(out, buffer_.get() + offset, count);
        position_ += count;
        return true;
    }
    // Drain what is buffered; the rest starts at the file pointer.
    if (available > 0) {
        std::memcpy(out, buffer_.get() + offset, available);
        out += available;
    }
    uint32_t rest = count - available;
    uint64_t filePosition = bufferStart_ + bufferFilled_;
    bufferStart_ = filePosition;
    bufferFilled_ = 0;
    position_ = filePosition;
    if (rest > bufferCapacity_) {
        // Larger than the buffer: straight into the caller's memory, no copy.
        if (!file_.ReadExact(out, rest)) {
            return Fail();
        }
        bufferStart_ = filePosition + rest;
        position_ = bufferStart_;
        return true;
    }
    uint32_t got = 0;
    if (!file_.Read(buffer_.get(), bufferCapacity_, &got) || got < rest) {
        return Fail();  // an error, or the file ends inside the requested bytes
    }
    bufferFilled_ = got;
    std::memcpy(out, buffer_.get(), rest);
    position_ = filePosition + rest;
    return true;
}

bool CRiffFile::Seek(uint64_t position) {
    if (position == position_) {
        return true;
    }
    if (position_ != kUnknownPosition && position >= bufferStart_ &&
        position - bufferStart_ <= bufferFilled_) {
        position_ = position;
        return true;
    }
    bufferFilled_ = 0;
    if (position > static_cast<uint64_t>(INT64_MAX) ||
        !file_.Seek(static_cast<int64_t>(position))) {
        return Fail();
    }
    bufferStart_ = position;
    position_ = position;
    return true;
}

bool CRiffFile::ReadChunkHeader(ChunkHeader* header) {
    uint8_t bytes[kPlainHeaderSize];
    if (!Read(bytes, kPlainHeaderSize)) {
        return false;
    }
    Riff::FourCC first = Riff::ReadU32(bytes);
    uint32_t size = Riff::ReadU32(bytes + 4);
    if (first == Riff::kRiff || first == Riff::kList) {
        uint8_t form[kFormTypeSize];
        if (!Read(form, kFormTypeSize)) {
            return false;
        }
        header->listType = first;
        header->id = Riff::ReadU32(form);
        header->size = size < kFormTypeSize ? 0 : size - kFormTypeSize;
    } else {
        header->listType = 0;
        header->id = first;
        header->size = size;
    }
    header->dataPosition = position_;
    return true;
}

bool CRiffFile::NextChunk(ChunkHeader* header) {
    if (nextPositions_.empty()) {
        return false;  // never opened
    }
    uint64_t next = nextPositions_.back();
    if (!openLists_.empty()) {
        if (next >= openLists_.back().End()) {
            return false;
        }
    } else if (next + kPlainHeaderSize >= fileSize_) {
        return false;
    }
    if (!Seek(next) || !ReadChunkHeader(header)) {
        return false;
    }
    nextPositions_.back() = header->End();
    return true;
}

void CRiffFile::EnterList(const ChunkHeader& list) {
    openLists_.push_back(list);
    nextPositions_.push_back(list.dataPosition);
}

void CRiffFile::LeaveList(ChunkHeader* list) {
    if (openLists_.empty()) {
        return;
    }
    if (list != nullptr) {
        *list = openLists_.back();
    }
    openLists_.pop_back();
    nextPositions_.pop_back();
}
