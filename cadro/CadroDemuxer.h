#pragma once
// A Korva::Demux reading a Cadro file through its own CadroReader.
#include <cstdint>
#include <string>
#include <vector>

#include "cadro/CadroReader.h"
#include "korva/Demux.h"

namespace Korva {
struct FrameRecord;
class Memory;
class Stream;
class StreamFrameQueue;
}  // namespace Korva

class CadroDemuxer final : public Korva::Demux {
public:
    // Reads that fail without the file being at its end are retried this many times in a
    // row before the data is taken as ended.
    static constexpr int kMaxReadRetries = 8;

    explicit CadroDemuxer(Korva::Memory* memory);
    ~CadroDemuxer() override;

    void ReservedA() override {}
    void ReservedB() override {}
    void CopyBytes(const void* source, void* destination, uint32_t count) override;

    // Opens the file and reads until the streams of its first synchro block are known.
    bool Open(const std::wstring& path);
    // Lets go of the reader and closes the file.
    void Close();

    CadroReader& GetFileReader() { return reader_; }

    // Steps until the stream at `position` holds a complete frame, looking the stream up
    // again after every step since the stream table may change under a step. Returns the
    // stream, or null when there is no stream of an accepted type code at the position
    // any more, or a step returned anything but 0 (then `*code` holds that code, else 0).
    // A failing read (code 1) is retried up to kMaxReadRetries times in a row first.
    Korva::Stream* WaitForFrame(uint32_t position, uint32_t typeA, uint32_t typeB,
                                uint32_t* code);
    // WaitForFrame, then the frame leaves its queue: its bytes are copied into `*frame`
    // (whose storage is reused from call to call; null: the bytes are not wanted) and its
    // record into `*record`. Returns the stream, or null as WaitForFrame does, and also
    // when bytes are wanted of a frame that has none kept (the frame then stays).
    Korva::Stream* TakeFrame(uint32_t position, uint32_t typeA, uint32_t typeB,
                             std::vector<uint8_t>* frame, Korva::FrameRecord* record,
                             uint32_t* code);

    // False: from now on, frames of video and audio streams keep their sizes, times and
    // frame types but not their bytes; timeline frames keep theirs. For a reader that only
    // counts frames: walking one stream to its end otherwise holds every frame of all the
    // others in memory until they are read. Frames without bytes can only be skipped.
    void KeepMediaPayloads(bool keep);

private:
    CadroReader reader_;
};
