#include "tests/support/AdtsBuilder.h"

#include "tests/support/AviBuilder.h"

std::vector<uint8_t> AdtsBuilder::Frame(const AdtsFrameSpec& spec) {
    uint32_t headerSize = spec.crc ? 9 : 7;
    uint32_t length = spec.frameLengthOverride.value_or(headerSize + spec.payloadSize);
    uint64_t bits = 0;
    int count = 0;
    auto put = [&](uint64_t value, int width) {
        bits = (bits << width) | (value & ((uint64_t{1} << width) - 1));
        count += width;
    };
    put(0xFFF, 12);                          // sync word
    put(0, 1);                               // MPEG-4
    put(0, 2);                               // layer
    put(spec.crc ? 0 : 1, 1);                // protection_absent
    put(static_cast<uint64_t>(spec.profile), 2);
    put(static_cast<uint64_t>(spec.frequencyIndex), 4);
    put(0, 1);                               // private bit
    put(static_cast<uint64_t>(spec.channelConfiguration), 3);
    put(0, 4);                               // original, home, copyright bits
    put(length, 13);
    put(0x7FF, 11);                          // buffer fullness: variable rate
    put(static_cast<uint64_t>(spec.blocks - 1), 2);
    std::vector<uint8_t> out;
    for (int shift = count - 8; shift >= 0; shift -= 8) {
        out.push_back(static_cast<uint8_t>(bits >> shift));
    }
    if (spec.crc) {
        out.push_back(0xC3);
        out.push_back(0x5A);
    }
    for (uint32_t i = 0; i < spec.payloadSize; ++i) {
        out.push_back(static_cast<uint8_t>(spec.seed + i));
    }
    return out;
}

void AdtsBuilder::AddBytes(const std::vector<uint8_t>& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

bool AdtsBuilder::WriteTo(const std::filesystem::path& path) const {
    return WriteFixtureFile(path, bytes_);
}
