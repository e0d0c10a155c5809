#include "cadro/CadroWriter.h"

#include "korva/SynchroHeader.h"

bool CadroWriter::Create(const std::wstring& path) {
    buffer_.clear();
    failed_ = false;
    if (!file_.Open(path, Platform::File::Mode::CreateWrite)) return false;
    buffer_.reserve(kBufferSize);
    fileSize_ = 0;
    position_ = 0;
    lastSynchroPosition_ = 0;
    return true;
}

bool CadroWriter::Write(const uint8_t* data, uint32_t size, const Korva::PacketInfo* info) {
    if ((info->flags & Korva::kPacketSynchro) != 0 && !Korva::IsContinuationPacket(data, size)) {
        lastSynchroPosition_ = fileSize_;
    }
    if (!file_.IsOpen() || failed_) return false;
    if (buffer_.size() + size > kBufferSize && !Flush()) return false;
    if (size >= kBufferSize) {
        if (!file_.Write(data, size)) {
            failed_ = true;
            return false;
        }
    } else {
        buffer_.insert(buffer_.end(), data, data + size);
    }
    position_ += size;
    if (position_ > fileSize_) fileSize_ = position_;
    return true;
}

bool CadroWriter::Seek(int64_t position) {
    if (position < 0 || position > fileSize_) return false;
    if (!Flush() || !file_.Seek(position)) return false;
    position_ = position;
    return true;
}

bool CadroWriter::Flush() {
    if (failed_) return false;
    if (buffer_.empty()) return true;
    const bool written = file_.Write(buffer_.data(), static_cast<uint32_t>(buffer_.size()));
    buffer_.clear();
    failed_ = !written;
    return written;
}

bool CadroWriter::CloseFile() {
    if (!file_.IsOpen()) return true;
    const bool flushed = Flush();
    const bool closed = file_.Close();
    buffer_.clear();
    buffer_.shrink_to_fit();
    return flushed && closed;
}
