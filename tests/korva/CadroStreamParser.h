#pragma once
// An independent, deliberately plain reading of the packet layout, bit by bit, so that
// the muxer's output can be checked field by field and frames reassembled.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace cadro_test {

struct ParsedRecord {
    uint32_t type = 0;
    std::vector<uint8_t> payload;
};

struct ParsedEp {
    uint32_t stream = 0;
    bool timed = false;
    uint32_t frameType = 0;
    int64_t offset = 0;
    uint32_t headerSize = 0;
    size_t payloadStart = 0;  // offset in the whole byte sequence
    std::vector<uint8_t> payload;
};

struct ParsedPacket {
    size_t start = 0;
    size_t length = 0;
    bool synchro = false;
    uint16_t checksum = 0;
    uint64_t synchroTime = 0;  // 0 for a continuation header
    bool timeFlag = false;
    uint32_t packetSizeField = 0;
    std::vector<ParsedRecord> records;
    bool variable = false;
    bool numbered = false;
    uint32_t counter = 0;
    uint32_t sequence = 0;
    std::vector<ParsedEp> eps;
    bool endMarker = false;
};

struct ParsedFrame {
    uint32_t stream = 0;
    uint32_t frameType = 0;
    int64_t time = 0;
    std::vector<uint8_t> bytes;
};

class BitCursor {
public:
    BitCursor(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Bit(uint32_t* bit) {
        if (pos_ >= size_ * 8) return false;
        *bit = (data_[pos_ / 8] >> (7 - pos_ % 8)) & 1;
        ++pos_;
        return true;
    }
    bool Bits(uint32_t n, uint64_t* value) {
        *value = 0;
        for (uint32_t i = 0; i < n; ++i) {
            uint32_t b;
            if (!Bit(&b)) return false;
            *value = (*value << 1) | b;
        }
        return true;
    }
    bool Escaped(uint32_t width, uint32_t step, uint64_t* value) {
        uint32_t zeros = 0;
        uint32_t b = 0;
        for (;;) {
            if (!Bit(&b)) return false;
            if (b == 1) break;
            if (++zeros > 40) return false;
        }
        return Bits(width + zeros * step, value);
    }
    size_t BytesTouched() const { return (pos_ + 7) / 8; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

inline uint64_t LoadBig(const uint8_t* p, int n) {
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) v = (v << 8) | p[i];
    return v;
}

inline bool ReadVar(const std::vector<uint8_t>& b, size_t* pos, size_t end, uint32_t* v) {
    *v = 0;
    for (int i = 0; i < 4; ++i) {
        if (*pos >= end) return false;
        const uint8_t byte = b[(*pos)++];
        if (byte < 0x80 || i == 3) {
            *v = (*v << 7) | byte;
            return true;
        }
        *v = (*v << 7) | (byte & 0x7F);
    }
    return false;
}

// Parses `bytes` as packets of at most `packetSize` bytes written back to back.
inline bool ParsePackets(const std::vector<uint8_t>& bytes, uint32_t packetSize,
                         std::vector<ParsedPacket>* out, std::string* error) {
    size_t pos = 0;
    while (pos < bytes.size()) {
        ParsedPacket p;
        p.start = pos;
        const size_t limit = std::min(bytes.size(), pos + packetSize);
        size_t at = pos;
        if (limit - at >= 14 && bytes[at] == 0x4C && bytes[at + 1] == 0x32) {
            p.synchro = true;
            p.checksum = static_cast<uint16_t>(LoadBig(&bytes[at + 2], 2));
            const uint64_t t = LoadBig(&bytes[at + 4], 8);
            p.timeFlag = (t >> 63) != 0;
            p.synchroTime = t & ~(1ull << 63);
            p.packetSizeField = static_cast<uint32_t>(LoadBig(&bytes[at + 12], 2));
            uint16_t sum = 0xAAAA;
            for (int s = 0; s < 64; s += 16) sum ^= static_cast<uint16_t>(p.synchroTime >> s);
            if (sum != p.checksum) {
                *error = "bad checksum at " + std::to_string(at);
                return false;
            }
            at += 14;
            for (;;) {
                ParsedRecord r;
                uint32_t size = 0;
                if (!ReadVar(bytes, &at, limit, &r.type) || !ReadVar(bytes, &at, limit, &size) ||
                    at + size > limit) {
                    *error = "record runs out at " + std::to_string(at);
                    return false;
                }
                r.payload.assign(bytes.begin() + at, bytes.begin() + at + size);
                at += size;
                if (r.type == 0) break;
                p.records.push_back(std::move(r));
            }
        }
        if (at >= limit) {
            *error = "no packet header at " + std::to_string(at);
            return false;
        }
        const uint8_t header = bytes[at++];
        p.variable = (header & 1) != 0;
        p.numbered = (header & 2) != 0;
        p.counter = header >> 2;
        if (p.numbered) {
            p.sequence = static_cast<uint32_t>(LoadBig(&bytes[at], 2));
            at += 2;
        }
        while (at < limit) {
            if (bytes[at] == 0) {
                p.endMarker = true;
                ++at;
                break;
            }
            BitCursor bits(&bytes[at], limit - at);
            ParsedEp ep;
            uint64_t v = 0;
            uint32_t b = 0;
            bool ok = bits.Escaped(1, 1, &v);
            ep.stream = static_cast<uint32_t>(v);
            ok = ok && bits.Bit(&b);
            ep.timed = b != 0;
            if (ok && ep.timed) {
                ok = bits.Escaped(1, 1, &v);
                ep.frameType = static_cast<uint32_t>(v);
                uint32_t sign = 0;
                ok = ok && bits.Bit(&sign) && bits.Escaped(28, 2, &v);
                ep.offset = sign ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
            }
            ok = ok && bits.Bits(13, &v);
            if (!ok) {
                *error = "Ep header runs out at " + std::to_string(at);
                return false;
            }
            const uint32_t length = static_cast<uint32_t>(v) + 1;
            ep.headerSize = static_cast<uint32_t>(bits.BytesTouched());
            at += ep.headerSize;
            if (at + length > limit) {
                *error = "Ep payload runs out at " + std::to_string(at);
                return false;
            }
            ep.payloadStart = at;
            ep.payload.assign(bytes.begin() + at, bytes.begin() + at + length);
            at += length;
            p.eps.push_back(std::move(ep));
        }
        p.length = p.variable ? at - pos : limit - pos;
        if (!p.variable && limit - pos != packetSize) {
            *error = "short fixed-size packet at " + std::to_string(pos);
            return false;
        }
        pos += p.length;
        out->push_back(std::move(p));
    }
    return true;
}

// Frames in the order their last pieces appear; times from the latest non-continuation
// synchro time.
inline std::vector<ParsedFrame> AssembleFrames(const std::vector<ParsedPacket>& packets) {
    std::vector<ParsedFrame> frames;
    std::vector<std::vector<uint8_t>> partial(256);
    int64_t base = 0;
    for (const ParsedPacket& p : packets) {
        if (p.synchro && p.synchroTime != 0) base = static_cast<int64_t>(p.synchroTime);
        for (const ParsedEp& ep : p.eps) {
            auto& bytes = partial[ep.stream];
            bytes.insert(bytes.end(), ep.payload.begin(), ep.payload.end());
            if (ep.timed) {
                frames.push_back(ParsedFrame{ep.stream, ep.frameType, base + ep.offset, bytes});
                bytes.clear();
            }
        }
    }
    return frames;
}

}  // namespace cadro_test
