#pragma once
// The muxer: turns a time-ordered series of frames from several streams into packets of
// at most the packet size, with synchro blocks that repeat the stream descriptors, and
// hands each finished packet to a Writer.
#include <cstdint>
#include <vector>

#include "korva/KorvaAllocator.h"
#include "korva/Memory.h"
#include "korva/StreamDescriptors.h"
#include "korva/StreamHandle.h"
#include "korva/StreamRegistry.h"
#include "korva/Writer.h"

namespace Korva {

// Receives internal-consistency messages; none occurs when the muxer works as intended.
using MuxLogFunction = void (*)(const char* message);

class Mux {
public:
    static constexpr uint32_t kMaxStreams = 256;
    static constexpr uint32_t kMaxFrameType = 255;

    explicit Mux(Memory* memory, MuxLogFunction log = nullptr);
    virtual ~Mux();
    Mux(const Mux&) = delete;
    Mux& operator=(const Mux&) = delete;

    // Hooks for derived classes; the muxing path does not call them.
    virtual void ReservedA() {}
    virtual void ReservedB() {}
    virtual void CopyBytes(const void* source, void* destination, uint32_t count);

    // Opens a new output on `writer` (not owned), closing any previous one first.
    // packetSize P must be 33..65535 (35..65535 with numberPackets): a synchro header,
    // the largest descriptor record and the bytes that close a packet must fit, and the
    // header field P - 1 must read back as P.
    int Open(uint32_t packetSize, int64_t synchroPeriod, Writer* writer, bool numberPackets,
             bool variablePacketSize, bool timeFlag);

    // Creates a descriptor of record type `type`, gives it the lowest free stream index and
    // returns it through `out`; it stays valid until Close. The next frame starts a
    // synchro block listing it.
    int AddStream(uint32_t type, Stream** out);

    // Appends one whole frame. `synchroTime` decides whether a synchro block is due;
    // `synchroPoint` forces one before the frame; `closePacket` ends the packet right
    // after it. Allocates nothing; the frame's bytes are copied once, into the packet.
    int AddFrame(uint32_t streamIndex, const uint8_t* data, uint32_t size, int64_t time,
                 int64_t synchroTime, uint32_t frameType, bool synchroPoint, bool closePacket);

    // Ends and writes a partly filled packet now.
    int Flush();

    // Writes the last packet, releases the packet buffer and the descriptors.
    int Close();

    bool IsOpen() const { return packet_ != nullptr; }
    uint32_t GetPacketSize() const { return packetSize_; }
    uint32_t GetStreamCount() const { return static_cast<uint32_t>(streams_.size()); }
    Stream* GetStream(uint32_t position) const {
        return position < streams_.size() ? streams_[position].Get() : nullptr;
    }

protected:
    // Makes the next packets carry the synchro counter and sequence numbers they carried
    // right after Open, so that rewriting the start of the output reproduces its bytes.
    void RestartPacketNumbering();

private:
    bool WriteSynchroBlock();
    void WriteSynchroHeader();
    void BeginPacket();
    bool EndPacket();
    bool WriteFullPacket();
    void ResetPacketInfo();
    void RecordTime(int64_t time);
    void DropPacket();
    uint32_t Used() const { return static_cast<uint32_t>(write_ - packet_); }
    void Log(const char* message) const;

    int64_t synchroTime_ = 0;
    int64_t synchroPeriod_ = 0;
    Memory* memory_;
    std::vector<StreamHandle, KorvaAllocator<StreamHandle>> streams_;
    uint8_t* packet_ = nullptr;
    uint8_t* write_ = nullptr;
    Writer* writer_ = nullptr;
    uint32_t packetSize_ = 0;
    int32_t synchroCounter_ = 1;
    uint16_t sequence_ = 0;
    MuxLogFunction log_;
    PacketInfo info_;
    bool freeIndex_[kMaxStreams];
    bool numberPackets_ = false;
    bool variablePacketSize_ = true;
    bool timeFlag_ = false;
    bool continuation_ = false;
    bool pending_ = false;
    // A Write failed: the packet in the buffer is never written (or ended) again.
    bool writeFailed_ = false;
    StreamRegistry registry_;
};

}  // namespace Korva
