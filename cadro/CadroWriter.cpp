#include "cadro/CadroWriter.h"

#include "korva/SynchroHeader.h"

bool CadroWriter::Create(const std::wstring& path) {
    if (!file_.Open(path, Platform::File::Mode::CreateWrite)) return false;
    fileSize_ = 0;
    position_ = 0;
    lastSynchroPosition_ = 0;
    return true;
}

bool CadroWriter::Write(const uint8_t* data, uint32_t size, const Korva::PacketInfo* info) {
    if ((info->flags & Korva::kPacketSynchro) != 0 && !Korva::IsContinuationPacket(data, size)) {
        lastSynchroPosition_ = fileSize_;
    }
    if (!file_.IsOpen() || !file_.Write(data, size)) return false;
    position_ += size;
    if (position_ > fileSize_) fileSize_ = position_;
    return true;
}

bool CadroWriter::Seek(int64_t position) {
    if (position < 0 || position > fileSize_) return false;
    if (!file_.Seek(position)) return false;
    position_ = position;
    return true;
}

bool CadroWriter::CloseFile() { return file_.Close(); }
