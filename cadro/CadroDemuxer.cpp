#include "cadro/CadroDemuxer.h"

#include <cstring>

#include "korva/FrameRecord.h"
#include "korva/ResultCodes.h"
#include "korva/StreamDescriptors.h"
#include "korva/StreamFrameQueue.h"

namespace {

bool IsProgress(uint32_t code) {
    return code == Korva::kResultOk || code == Korva::kResultNoData ||
           code == Korva::kResultSkipped;
}

bool IsTimeline(uint32_t typeCode) { return typeCode == Korva::kTypeTimeline; }

}  // namespace

CadroDemuxer::CadroDemuxer(Korva::Memory* memory) : Demux(memory, nullptr) {}

CadroDemuxer::~CadroDemuxer() { Close(); }

void CadroDemuxer::CopyBytes(const void* source, void* destination, uint32_t count) {
    std::memcpy(destination, source, count);
}

bool CadroDemuxer::Open(const std::wstring& path) {
    if (!reader_.Open(path)) return false;
    if (AttachReader(&reader_) != Korva::kResultOk) return false;
    int failedReads = 0;
    while (GetStreamCount() == 0) {
        const uint32_t code = Step();
        if (!IsProgress(code)) return false;
        if (code == Korva::kResultNoData) {
            // A read error looks like a pause in the data; do not wait for it forever.
            if (++failedReads > kMaxReadRetries) return false;
        } else {
            failedReads = 0;
        }
    }
    return true;
}

void CadroDemuxer::Close() {
    DetachReader();
    reader_.Finish();
}

Korva::Stream* CadroDemuxer::WaitForFrame(uint32_t position, uint32_t typeA, uint32_t typeB,
                                          uint32_t* code) {
    *code = Korva::kResultOk;
    int failedReads = 0;
    for (;;) {
        Korva::Stream* stream = GetStreamAt(position);
        if (stream == nullptr || (stream->type != typeA && stream->type != typeB)) {
            return nullptr;
        }
        Korva::StreamFrameQueue* queue = QueueOf(stream);
        if (queue == nullptr) return nullptr;
        if (queue->GetFrameCount() > 0) return stream;
        *code = Step();
        if (*code == Korva::kResultNoData && ++failedReads <= kMaxReadRetries) continue;
        if (*code != Korva::kResultOk) return nullptr;
        failedReads = 0;
    }
}

Korva::Stream* CadroDemuxer::TakeFrame(uint32_t position, uint32_t typeA, uint32_t typeB,
                                       std::vector<uint8_t>* frame, Korva::FrameRecord* record,
                                       uint32_t* code) {
    Korva::Stream* stream = WaitForFrame(position, typeA, typeB, code);
    if (stream == nullptr) return nullptr;
    Korva::StreamFrameQueue* queue = QueueOf(stream);
    if (frame != nullptr) {
        const uint8_t* data = nullptr;
        uint32_t size = 0;
        if (!queue->GetFrameData(&data, &size)) return nullptr;
        frame->resize(size);
        if (size > 0) std::memcpy(frame->data(), data, size);
    }
    *record = *queue->PeekFrame();
    if (!queue->PopFrame()) return nullptr;
    return stream;
}

void CadroDemuxer::KeepMediaPayloads(bool keep) {
    SetPayloadRule(keep ? nullptr : &IsTimeline);
}
