#pragma once
// Packet framing: the 14-byte synchro header that opens every synchro block (and every
// packet continuing a descriptor list), the end record of a descriptor list, the packet
// header byte and the end marker.
#include <cstdint>

namespace Korva {

// Synchro header layout.
inline constexpr uint32_t kSynchroHeaderSize = 14;
inline constexpr uint32_t kSynchroMarkerOffset = 0;
inline constexpr uint8_t kSynchroMarker0 = 0x4C;  // 'L'
inline constexpr uint8_t kSynchroMarker1 = 0x32;  // '2'
inline constexpr uint32_t kSynchroChecksumOffset = 2;
inline constexpr uint32_t kSynchroTimeOffset = 4;
inline constexpr uint32_t kSynchroPacketSizeOffset = 12;
inline constexpr uint16_t kSynchroChecksumSeed = 0xAAAA;
// Bit 63 of the time field; never covered by the checksum.
inline constexpr uint64_t kSynchroTimeFlag = 1ull << 63;
// Synchro time of a header that continues a descriptor list.
inline constexpr int64_t kContinuationTime = 0;

// End of a descriptor list: record type 0, size 0.
inline constexpr uint32_t kEndRecordSize = 2;

// Packet header: one byte, then the 16-bit sequence number when numbered.
inline constexpr uint8_t kPacketVariableSize = 1u << 0;
inline constexpr uint8_t kPacketNumbered = 1u << 1;
inline constexpr uint32_t kPacketCounterShift = 2;
inline constexpr uint32_t kPacketHeaderSize = 1;
inline constexpr uint32_t kPacketSequenceSize = 2;
inline constexpr int32_t kSynchroCounterFirst = 1;
inline constexpr int32_t kSynchroCounterLast = 63;

// Ends the elementary packets of a packet that is not filled to the last byte.
inline constexpr uint8_t kEndMarker = 0x00;

// XOR of the four 16-bit words of `time` (flag bit clear) and the seed.
uint16_t SynchroChecksum(uint64_t time);

// Writes the 14 bytes: markers, checksum of `time`, `time` with the flag bit set when
// `timeFlag`, and packetSize - 1 (packetSize 1..65536).
void WriteSynchroHeader(uint8_t* out, uint64_t time, bool timeFlag, uint32_t packetSize);

struct SynchroHeaderFields {
    uint64_t time = 0;              // 63 bits; 0 for a continuation header
    bool timeFlag = false;
    uint32_t packetSizeField = 0;   // the stored value, packet size - 1
};

// True when the 14 bytes at `in` are a synchro header with a correct checksum.
bool ParseSynchroHeader(const uint8_t* in, SynchroHeaderFields* fields);

// True when `packet` (of `size` bytes) begins with a continuation header.
bool IsContinuationPacket(const uint8_t* packet, uint32_t size);

}  // namespace Korva
