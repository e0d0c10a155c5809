#include "cadro/CadroReader.h"

#include <cstring>

bool CadroReader::Open(const std::wstring& path) {
    if (!file_.Open(path, Platform::File::Mode::Read)) return false;
    const int64_t size = file_.Size();
    if (size < 0) return false;
    fileSize_ = size;
    position_ = 0;
    buffered_ = 0;
    return true;
}

bool CadroReader::SetBufferSize(uint32_t size) {
    // Empty blocks would never move the reading on.
    if (size == 0) return false;
    bufferSize_ = size;
    return true;
}

void CadroReader::Finish() { file_.Close(); }

bool CadroReader::Read(const uint8_t** data, uint32_t* size) {
    if (buffer_.size() != bufferSize_) {
        if (buffered_ > bufferSize_) {
            // Give the excess back to the file; it is read again later.
            if (!file_.Seek(position_ + bufferSize_)) return false;
            buffered_ = bufferSize_;
        }
        buffer_.resize(bufferSize_);
    }
    if (position_ == fileSize_) return false;
    const int64_t left = fileSize_ - position_ - buffered_;
    const uint32_t room = bufferSize_ - buffered_;
    const uint32_t wanted = left < room ? static_cast<uint32_t>(left) : room;
    if (wanted > 0) {
        uint32_t got = 0;
        const bool ok = file_.Read(buffer_.data() + buffered_, wanted, &got);
        // Whatever came is kept, so the file position and the buffer stay in step.
        buffered_ += got;
        if (!ok || got < wanted) return false;
    }
    *data = buffer_.data();
    *size = buffered_;
    return true;
}

bool CadroReader::Consume(uint32_t count) {
    if (count > fileSize_ - position_) return false;
    if (count <= buffered_) {
        buffered_ -= count;
        if (buffered_ > 0) std::memmove(buffer_.data(), buffer_.data() + count, buffered_);
    } else {
        // More than was delivered: skip in the file itself.
        if (!file_.Seek(position_ + count)) return false;
        buffered_ = 0;
    }
    position_ += count;
    return true;
}

bool CadroReader::Seek(int64_t position) {
    if (position < 0 || position > fileSize_) return false;
    if (!file_.Seek(position)) return false;
    position_ = position;
    buffered_ = 0;
    return true;
}
