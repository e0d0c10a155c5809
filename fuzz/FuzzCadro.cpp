// The Cadro reading side, twice over the same bytes: the demuxer stepped directly over
// the bytes in memory, taking complete frames off every queue as they come (block sizes
// from the first input byte, so packets straddle reads everywhere), then the Cadro input
// file with its -info report, which pulls every stream through the Cadro grabbers.
#include <algorithm>
#include <vector>

#include "app/Reports.h"
#include "cadro/CadroInputFile.h"
#include "fuzz/FuzzSupport.h"
#include "korva/Demux.h"
#include "korva/Reader.h"
#include "korva/ResultCodes.h"
#include "korva/StreamFrameQueue.h"

namespace {

// Behaves as the file reader does: blocks of the buffer size from the first unconsumed
// byte.
class MemoryReader final : public Korva::Reader {
public:
    MemoryReader(const uint8_t* data, size_t size, uint32_t bufferSize)
        : data_(data), size_(size), bufferSize_(bufferSize) {}
    uint32_t GetBufferSize() override { return bufferSize_; }
    bool IsPacketAligned() override { return false; }
    bool SetBufferSize(uint32_t size) override {
        bufferSize_ = size;
        return true;
    }
    bool Start() override { return true; }
    void Finish() override {}
    bool Read(const uint8_t** data, uint32_t* size) override {
        if (position_ >= size_) return false;
        *data = data_ + position_;
        *size = static_cast<uint32_t>(std::min<size_t>(bufferSize_, size_ - position_));
        return true;
    }
    bool Consume(uint32_t count) override {
        if (count > size_ - position_) return false;
        position_ += count;
        return true;
    }
    int64_t GetSize() override { return static_cast<int64_t>(size_); }
    bool Seek(int64_t position) override {
        if (position < 0 || static_cast<uint64_t>(position) > size_) return false;
        position_ = static_cast<size_t>(position);
        return true;
    }
    int64_t Tell() override { return static_cast<int64_t>(position_); }
    bool IsEnd() override { return position_ == size_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
    uint32_t bufferSize_;
};

void StepThrough(const uint8_t* data, size_t size) {
    const uint32_t bufferSize = size > 0 ? 16u + data[0] * 61u : 4096u;
    fuzz::HeapMemory memory;
    MemoryReader reader(data, size, bufferSize);
    Korva::Demux demux(&memory, nullptr);
    if (demux.AttachReader(&reader) != Korva::kResultOk) {
        return;
    }
    for (int step = 0;; ++step) {
        if (step == fuzz::kStepLimit) {
            fuzz::Spinning("Demux::Step");
        }
        const uint32_t result = demux.Step();
        if (result != Korva::kResultOk && result != Korva::kResultSkipped) {
            break;
        }
        for (uint32_t i = 0; i < demux.GetStreamCount(); ++i) {
            Korva::StreamFrameQueue* queue = Korva::Demux::QueueOf(demux.GetStreamAt(i));
            while (queue != nullptr && queue->GetFrameCount() > 0) {
                const uint8_t* frame = nullptr;
                uint32_t frameSize = 0;
                if (queue->GetFrameData(&frame, &frameSize) && frameSize > 0) {
                    // Touch both ends, so that a record pointing outside its block shows.
                    volatile uint8_t ends = frame[0] ^ frame[frameSize - 1];
                    (void)ends;
                }
                queue->PopFrame();
            }
        }
    }
    demux.DetachReader();
}

void Report(const uint8_t* data, size_t size) {
    fuzz::NullConsole console;
    CadroInputFile input(&console);
    input.name = fuzz::WriteScratchFile(data, size, ".cadro");
    if (!input.Open()) {
        return;
    }
    ReportCadro(input, false, console);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    StepThrough(data, size);
    Report(data, size);
    return 0;
}
