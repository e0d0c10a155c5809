#include "korva/SynchroHeader.h"

#include "korva/ByteOrder.h"

namespace Korva {

uint16_t SynchroChecksum(uint64_t time) {
    uint16_t sum = kSynchroChecksumSeed;
    for (int shift = 0; shift < 64; shift += 16) sum ^= static_cast<uint16_t>(time >> shift);
    return sum;
}

void WriteSynchroHeader(uint8_t* out, uint64_t time, bool timeFlag, uint32_t packetSize) {
    out[kSynchroMarkerOffset] = kSynchroMarker0;
    out[kSynchroMarkerOffset + 1] = kSynchroMarker1;
    StoreBE16(out + kSynchroChecksumOffset, SynchroChecksum(time));
    StoreBE64(out + kSynchroTimeOffset, timeFlag ? time | kSynchroTimeFlag : time);
    StoreBE16(out + kSynchroPacketSizeOffset, static_cast<uint16_t>(packetSize - 1));
}

bool ParseSynchroHeader(const uint8_t* in, SynchroHeaderFields* fields) {
    if (in[kSynchroMarkerOffset] != kSynchroMarker0 ||
        in[kSynchroMarkerOffset + 1] != kSynchroMarker1) {
        return false;
    }
    const uint64_t stored = LoadBE64(in + kSynchroTimeOffset);
    const uint64_t time = stored & ~kSynchroTimeFlag;
    if (LoadBE16(in + kSynchroChecksumOffset) != SynchroChecksum(time)) return false;
    fields->time = time;
    fields->timeFlag = (stored & kSynchroTimeFlag) != 0;
    fields->packetSizeField = LoadBE16(in + kSynchroPacketSizeOffset);
    return true;
}

bool IsContinuationPacket(const uint8_t* packet, uint32_t size) {
    SynchroHeaderFields fields;
    return size >= kSynchroHeaderSize && ParseSynchroHeader(packet, &fields) &&
           fields.time == static_cast<uint64_t>(kContinuationTime);
}

}  // namespace Korva
