#pragma once
// The byte sink to which the muxer hands every finished packet.
#include <cstdint>
#include <limits>

namespace Korva {

// PacketInfo::flags
inline constexpr uint32_t kPacketSynchro = 1u << 0;      // begins with a synchro block
inline constexpr uint32_t kPacketClosedEarly = 1u << 1;  // ended early at a frame boundary
inline constexpr uint32_t kPacketTimed = 1u << 2;        // a frame ended in it

struct PacketInfo {
    // Smallest frame time recorded for this packet; the largest value when none.
    int64_t minTime = std::numeric_limits<int64_t>::max();
    // Largest frame time recorded for this packet; the smallest value when none.
    int64_t maxTime = std::numeric_limits<int64_t>::min();
    // Largest frame time recorded since the muxer was opened.
    int64_t maxFileTime = std::numeric_limits<int64_t>::min();
    uint32_t flags = 0;
};

class Writer {
public:
    virtual uint32_t GetPacketSize() = 0;
    // Told once by the muxer's Open, before Start, with the packet size (1..65536).
    virtual void SetPacketSize(uint32_t size) = 0;
    // False makes the muxer's Open fail.
    virtual bool Start() = 0;
    // Called by the muxer's Close after the last packet and the packet buffer are gone.
    virtual void Finish() = 0;
    // Writes one whole packet at the sink's current position. `info` is valid only during
    // the call.
    virtual bool Write(const uint8_t* data, uint32_t size, const PacketInfo* info) = 0;
    virtual ~Writer() = default;
};

}  // namespace Korva
