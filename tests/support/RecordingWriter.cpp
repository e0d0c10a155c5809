#include "tests/support/RecordingWriter.h"

bool RecordingWriter::Write(const uint8_t* data, uint32_t size, const Korva::PacketInfo* info) {
    const uint32_t attempt = attempts_++;
    if (attempt >= failFrom_) return false;
    packets_.push_back(Packet{std::vector<uint8_t>(data, data + size), *info});
    return true;
}

std::vector<uint8_t> RecordingWriter::Bytes() const {
    std::vector<uint8_t> all;
    for (const Packet& packet : packets_) {
        all.insert(all.end(), packet.bytes.begin(), packet.bytes.end());
    }
    return all;
}
