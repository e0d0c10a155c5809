#include "cadro/CadroInputFile.h"

#include <new>

bool CadroInputFile::Open() {
    Close();
    demuxer_.reset(new (std::nothrow) CadroDemuxer(&memory_));
    if (!demuxer_) return false;
    if (!demuxer_->Open(name)) {
        Close();
        return false;
    }
    return true;
}

void CadroInputFile::Close() {
    if (!demuxer_) return;
    demuxer_->Close();
    demuxer_.reset();
}
