#pragma once
// The frames of one stream read by the demuxer: complete frames in arrival order, followed
// by the frame still being assembled. Payload bytes live in one byte ring, frame records
// in a ring of their own; released records are pooled so that, once the rings have grown
// to the stream's needs, no frame costs an allocation.
#include <cstdint>

#include "korva/FrameRecord.h"
#include "korva/StreamDescriptors.h"

namespace Korva {

class Memory;

class StreamFrameQueue final : public StreamAttachment {
public:
    explicit StreamFrameQueue(Memory* memory) : memory_(memory) {}
    ~StreamFrameQueue() override;
    StreamFrameQueue(const StreamFrameQueue&) = delete;
    StreamFrameQueue& operator=(const StreamFrameQueue&) = delete;

    // Consumer side.
    uint32_t GetFrameCount() const { return frameCount_; }
    // The oldest complete frame; only valid while GetFrameCount() is not 0.
    const FrameRecord* PeekFrame() const;
    // The oldest complete frame's bytes in one block, valid until the queue next changes.
    // False when there is no complete frame, its bytes were not kept (see keepsPayloads)
    // or the scratch buffer cannot grow.
    bool GetFrameData(const uint8_t** data, uint32_t* size);
    // Releases the oldest complete frame. False when there is none, or when its record
    // cannot be pooled (the frame then stays).
    bool PopFrame();

    // Demuxer side.
    bool active = true;  // declared in the current synchro period
    // False: frames keep their size, time and frame type but not their bytes, for a reader
    // that only counts them. A frame begun while its bytes were kept gives them back at
    // its next piece; a frame begun without stays without bytes to its end.
    bool keepsPayloads = true;

    bool HasCurrentFrame() const { return current_ != nullptr; }
    FrameRecord* CurrentFrame() { return current_; }
    // Gives the queue a current frame of size 0 when it has none. False when no record
    // can be had.
    bool StartFrame();
    // Appends payload bytes to the current frame (which must exist).
    bool AppendToFrame(const uint8_t* data, uint32_t size);
    // Pads the current frame to a multiple of 4 bytes and queues it as complete.
    bool CompleteFrame();
    // Queues the current frame as it is, without padding; nothing happens when it is
    // empty or missing. False when the frame ring cannot grow (the frame stays current).
    bool FlushFrame();
    // Forgets the current frame and its bytes.
    bool DropFrame();

    // Bytes currently held by the byte ring (queued frames and the current frame).
    uint32_t GetBytesHeld() const { return used_; }

private:
    bool ReserveBytes(uint32_t extra);
    bool PushRecord(FrameRecord* record);
    bool PoolRecord(FrameRecord* record);
    void* Allocate(uint64_t bytes);
    void Release(void* block);

    Memory* memory_;

    uint8_t* bytes_ = nullptr;  // byte ring
    uint32_t byteCapacity_ = 0;
    uint32_t byteHead_ = 0;     // first byte of the oldest frame
    uint32_t used_ = 0;         // bytes from byteHead_ on, wrapping

    FrameRecord** frames_ = nullptr;  // frame ring of complete frames
    uint32_t frameCapacity_ = 0;
    uint32_t frameHead_ = 0;
    uint32_t frameCount_ = 0;

    FrameRecord* current_ = nullptr;

    FrameRecord** pool_ = nullptr;
    uint32_t poolCapacity_ = 0;
    uint32_t poolCount_ = 0;

    uint8_t* scratch_ = nullptr;
    uint32_t scratchCapacity_ = 0;
};

}  // namespace Korva
