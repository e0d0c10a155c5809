#pragma once
// The reading half of the container library: pulls bytes from a Korva::Reader, finds
// packets, learns the streams declared in synchro blocks and reassembles each stream's
// elementary packets into whole frames, which wait in the stream's StreamFrameQueue.
#include <cstdint>
#include <functional>
#include <map>

#include "korva/KorvaAllocator.h"
#include "korva/StreamRegistry.h"

namespace Korva {

class Memory;
class Reader;
class Stream;
class StreamFrameQueue;

class Demux {
public:
    // printf-style message hook for the demuxer's diagnostics; may be null.
    using LogCallback = int (*)(const char* format, ...);

    Demux(Memory* memory, LogCallback log);
    virtual ~Demux();
    Demux(const Demux&) = delete;
    Demux& operator=(const Demux&) = delete;

    // Hooks for derived classes; the reading path never calls them.
    virtual void ReservedA() {}
    virtual void ReservedB() {}
    virtual void CopyBytes(const void* source, void* destination, uint32_t count);

    // Takes `reader` as the byte source (not owned) after letting go of any previous one.
    uint32_t AttachReader(Reader* reader);
    // Lets go of the reader and forgets every stream.
    void DetachReader();
    // Reads and processes at most one packet; returns 0, 1, 2, 3 or an error code.
    uint32_t Step();

    // The stream table, ordered by stream index; entries sharing an index keep their order.
    uint32_t GetStreamCount() const { return static_cast<uint32_t>(streams_.size()); }
    Stream* GetStreamAt(uint32_t position) const;
    // The frame queue of a stream of the table; null for anything else.
    static StreamFrameQueue* QueueOf(const Stream* stream);

    // Decides by type code whether a stream's frames keep their bytes (see
    // StreamFrameQueue::keepsPayloads); null, the default: every stream's do. Applies to
    // the streams in the table now and to every stream declared later.
    using PayloadRule = bool (*)(uint32_t typeCode);
    void SetPayloadRule(PayloadRule rule);

    Reader* GetReader() const { return reader_; }
    uint32_t GetPacketSize() const { return packetSize_; }
    bool IsSynchronized() const { return synchronized_; }
    int64_t GetTimeBase() const { return timeBase_; }
    int64_t GetSynchroInterval() const { return synchroInterval_; }

    // Parts of Step, reachable for tests. Positions are byte offsets into `data`.
    uint32_t ParseDescriptorRecord(const uint8_t* data, uint32_t* position, uint32_t end);
    uint32_t ReadEp(const uint8_t* data, uint32_t* position, uint32_t end);
    uint32_t ParsePacketHeader(const uint8_t* data, uint32_t* position, uint32_t end);
    bool FlushPartialFrames();
    bool DropPartialFrames();

private:
    using StreamTable =
        std::multimap<uint32_t, Stream*, std::less<uint32_t>,
                      KorvaAllocator<std::pair<const uint32_t, Stream*>>>;
    using PrototypeTable = std::map<uint32_t, Stream*, std::less<uint32_t>,
                                    KorvaAllocator<std::pair<const uint32_t, Stream*>>>;

    void Desynchronize();
    void ChangePeriod();
    bool StartEmptyFrames();
    Stream* NewStream(uint32_t type, const Stream& prototype);
    uint32_t Search(const uint8_t* data, uint32_t length);
    uint32_t ParsePacket(const uint8_t* data, uint32_t length);
    uint32_t HandleSynchroBlock(const uint8_t* data, uint32_t length, uint32_t* position,
                                uint32_t* end, bool* stepDone);
    uint32_t ConsumeAndReturn(uint32_t count, uint32_t result);
    template <typename... Args>
    void Log(const char* format, Args... args) {
        if (log_ != nullptr) log_(format, args...);
    }

    int64_t timeBase_ = 0;
    int64_t synchroInterval_ = 0;
    StreamTable streams_;
    PrototypeTable prototypes_;
    Memory* memory_;
    Reader* reader_ = nullptr;
    uint32_t packetSize_ = 0;
    uint32_t lastSynchroCounter_;
    uint32_t lastSequenceNumber_;
    LogCallback log_;
    PayloadRule payloadRule_ = nullptr;
    bool variablePackets_ = true;
    bool synchronized_ = false;
    bool alignedReader_ = false;
    bool sequencePresent_ = false;
    StreamRegistry registry_;
};

}  // namespace Korva
