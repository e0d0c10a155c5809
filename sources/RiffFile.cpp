#include "sources/RiffFile.h"

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
    if (!file_.Open(path, Platform::File::Mode::Read)) {
        return false;
    }
    int64_t size = file_.Size();
    if (size < 0 || !file_.Seek(0)) {
        file_.Close();
        return false;
    }
    fileSize_ = static_cast<uint64_t>(size);
    nextPositions_.push_back(0);
    return true;
}

void CRiffFile::Close() {
    file_.Close();
}

bool CRiffFile::Read(void* buffer, uint32_t count) {
    if (count == 0) {
        return true;
    }
    if (!file_.ReadExact(buffer, count)) {
        // The file pointer is wherever the short read left it; make the next seek real.
        position_ = UINT64_MAX;
        return false;
    }
    position_ += count;
    return true;
}

bool CRiffFile::Seek(uint64_t position) {
    if (position == position_) {
        return true;
    }
    if (position > static_cast<uint64_t>(INT64_MAX) ||
        !file_.Seek(static_cast<int64_t>(position))) {
        position_ = UINT64_MAX;
        return false;
    }
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
