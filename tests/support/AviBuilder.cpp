#include "tests/support/AviBuilder.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <stdexcept>

bool WriteFixtureFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

void PutU16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
    PutU16(out, value & 0xFFFF);
    PutU16(out, value >> 16);
}

void PutU64(std::vector<uint8_t>& out, uint64_t value) {
    PutU32(out, static_cast<uint32_t>(value));
    PutU32(out, static_cast<uint32_t>(value >> 32));
}

void PutFourCC(std::vector<uint8_t>& out, const std::string& code) {
    if (code.size() != 4) {
        throw std::invalid_argument("a four-character code needs 4 characters: " + code);
    }
    out.insert(out.end(), code.begin(), code.end());
}

std::vector<uint8_t> PatternBytes(uint32_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (uint32_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>(seed + i);
    }
    return bytes;
}

namespace {
constexpr uint32_t kLegacyFlagList = 0x01;
constexpr uint32_t kLegacyFlagKeyFrame = 0x10;
constexpr uint32_t kMainFlagHasIndex = 0x10;
constexpr uint32_t kMainFlagInterleaved = 0x100;
constexpr uint32_t kNotKeyFrameBit = 0x80000000u;
constexpr uint32_t kSuperEntrySize = 16;
constexpr uint32_t kOpenDmlHeaderSize = 248;

std::string TwoDigits(int number) {
    int n = ((number % 100) + 100) % 100;
    return std::string{static_cast<char>('0' + n / 10), static_cast<char>('0' + n % 10)};
}
}  // namespace

// Writes the file, or only measures it. The first pass measures and records where
// everything lands; the second writes with list sizes and index offsets from the first.
class AviBuilder::Emitter {
public:
    struct Layout {
        std::vector<uint64_t> listSizes;
        std::map<size_t, uint64_t> itemPositions;  // item index -> chunk header position
        std::map<std::pair<int, int>, uint64_t> standardIndexPositions;  // (segment, stream)
        std::map<std::pair<int, int>, uint32_t> standardIndexSizes;
        uint64_t moviFormPosition = 0;
    };
    using Sink = std::function<void(const uint8_t*, size_t)>;

    // Measuring pass.
    explicit Emitter(Layout* record) : record_(record), layout_(record) {}
    // Writing pass.
    Emitter(const Layout* layout, Sink sink) : layout_(layout), sink_(std::move(sink)) {}

    bool Measuring() const { return record_ != nullptr; }
    const Layout& Recorded() const { return *layout_; }
    uint64_t Position() const { return position_; }

    void Bytes(const std::vector<uint8_t>& bytes) { Bytes(bytes.data(), bytes.size()); }
    void Bytes(const uint8_t* data, size_t size) {
        if (sink_ && size > 0) {
            sink_(data, size);
        }
        position_ += size;
    }
    void Pattern(uint32_t size, uint8_t seed) {
        if (!sink_) {
            position_ += size;
            return;
        }
        uint8_t block[65536];
        uint32_t done = 0;
        while (done < size) {
            uint32_t n = std::min<uint32_t>(sizeof block, size - done);
            for (uint32_t i = 0; i < n; ++i) {
                block[i] = static_cast<uint8_t>(seed + done + i);
            }
            Bytes(block, n);
            done += n;
        }
    }
    void Pad(uint64_t size) {
        if (size & 1) {
            uint8_t zero = 0;
            Bytes(&zero, 1);
        }
    }

    void BeginList(const std::string& type, const std::string& form) {
        size_t ordinal = listCounter_++;
        if (Measuring()) {
            record_->listSizes.push_back(0);
        }
        std::vector<uint8_t> header;
        PutFourCC(header, type);
        PutU32(header, static_cast<uint32_t>(layout_->listSizes[ordinal]));
        PutFourCC(header, form);
        open_.push_back({ordinal, position_});
        Bytes(header);
    }
    void EndList() {
        auto [ordinal, start] = open_.back();
        open_.pop_back();
        if (Measuring()) {
            record_->listSizes[ordinal] = position_ - start - 8;
        }
    }

    void ChunkHeader(const std::string& id, uint32_t size) {
        std::vector<uint8_t> header;
        PutFourCC(header, id);
        PutU32(header, size);
        Bytes(header);
    }
    void Chunk(const std::string& id, const std::vector<uint8_t>& content) {
        ChunkHeader(id, static_cast<uint32_t>(content.size()));
        Bytes(content);
        Pad(content.size());
    }

    Layout* Record() { return record_; }

private:
    Layout* record_ = nullptr;
    const Layout* layout_ = nullptr;
    Sink sink_;
    uint64_t position_ = 0;
    size_t listCounter_ = 0;
    std::vector<std::pair<size_t, uint64_t>> open_;
};

AviBuilder::Stream AviBuilder::Video(const std::string& handler, uint32_t rate, uint32_t scale,
                                     int32_t width, int32_t height) {
    Stream s;
    s.type = "vids";
    s.handler = handler;
    s.chunkSuffix = "dc";
    s.rate = rate;
    s.scale = scale;
    std::vector<uint8_t>& f = s.format;
    PutU32(f, 40);
    PutU32(f, static_cast<uint32_t>(width));
    PutU32(f, static_cast<uint32_t>(height));
    PutU16(f, 1);
    PutU16(f, 24);
    PutFourCC(f, handler);
    PutU32(f, static_cast<uint32_t>(width) * static_cast<uint32_t>(height) * 3);
    PutU32(f, 0);
    PutU32(f, 0);
    PutU32(f, 0);
    PutU32(f, 0);
    return s;
}

AviBuilder::Stream AviBuilder::Audio(uint16_t formatTag, uint16_t channels, uint32_t samplesPerSec,
                                     uint16_t bitsPerSample, bool plainPcm16Bytes) {
    Stream s;
    s.type = "auds";
    s.handler.assign("\0\0\0\0", 4);
    s.chunkSuffix = "wb";
    uint32_t blockAlign = channels * ((bitsPerSample + 7u) / 8u);
    s.scale = blockAlign;
    s.rate = samplesPerSec * blockAlign;
    s.sampleSize = blockAlign;
    std::vector<uint8_t>& f = s.format;
    PutU16(f, formatTag);
    PutU16(f, channels);
    PutU32(f, samplesPerSec);
    PutU32(f, samplesPerSec * blockAlign);
    PutU16(f, blockAlign);
    PutU16(f, bitsPerSample);
    if (!plainPcm16Bytes) {
        PutU16(f, 0);
    }
    return s;
}

AviBuilder::Stream AviBuilder::Other(const std::string& type) {
    Stream s;
    s.type = type;
    s.handler.assign("\0\0\0\0", 4);
    s.chunkSuffix = "tx";
    s.format = {0, 0, 0, 0};
    return s;
}

int AviBuilder::AddStream(const Stream& stream) {
    streams_.push_back(stream);
    return static_cast<int>(streams_.size()) - 1;
}

std::string AviBuilder::ChunkId(int stream) const {
    return TwoDigits(stream) + streams_.at(static_cast<size_t>(stream)).chunkSuffix;
}

void AviBuilder::AddChunk(int stream, const std::vector<uint8_t>& payload, bool key) {
    Item item;
    item.stream = stream;
    item.id = ChunkId(stream);
    item.key = key;
    item.size = static_cast<uint32_t>(payload.size());
    item.bytes = payload;
    items_.push_back(std::move(item));
}

void AviBuilder::AddPatternChunk(int stream, uint32_t size, bool key, uint8_t seed) {
    Item item;
    item.stream = stream;
    item.id = ChunkId(stream);
    item.key = key;
    item.size = size;
    item.pattern = true;
    item.seed = seed;
    items_.push_back(std::move(item));
}

void AviBuilder::AddRawChunk(const std::string& id, const std::vector<uint8_t>& payload) {
    Item item;
    item.kind = ItemKind::Raw;
    item.id = id;
    item.size = static_cast<uint32_t>(payload.size());
    item.bytes = payload;
    items_.push_back(std::move(item));
}

void AviBuilder::BeginRec() {
    Item item;
    item.kind = ItemKind::RecBegin;
    items_.push_back(item);
}

void AviBuilder::EndRec() {
    Item item;
    item.kind = ItemKind::RecEnd;
    items_.push_back(item);
}

void AviBuilder::StartExtension() {
    Item item;
    item.kind = ItemKind::Extension;
    items_.push_back(item);
}

void AviBuilder::Emit(Emitter& out) const {
    const Emitter::Layout& layout = out.Recorded();
    // Segment boundaries: items [begin, end) per movi list.
    std::vector<std::pair<size_t, size_t>> segments;
    size_t begin = 0;
    for (size_t i = 0; i < items_.size(); ++i) {
        if (items_[i].kind == ItemKind::Extension) {
            segments.push_back({begin, i});
            begin = i + 1;
        }
    }
    segments.push_back({begin, items_.size()});
    int segmentCount = static_cast<int>(segments.size());

    auto chunksOf = [&](int segment, int stream) {
        std::vector<size_t> found;
        for (size_t i = segments[segment].first; i < segments[segment].second; ++i) {
            if (items_[i].kind == ItemKind::Data && items_[i].stream == stream) {
                found.push_back(i);
            }
        }
        return found;
    };
    auto indexed = [&](int stream) {
        return openDmlIndex && streams_[static_cast<size_t>(stream)].openDmlIndexed;
    };
    int firstVideo = -1;
    for (size_t s = 0; s < streams_.size(); ++s) {
        if (streams_[s].type == "vids" && firstVideo < 0) {
            firstVideo = static_cast<int>(s);
        }
    }
    uint32_t firstVideoFrames = 0;
    if (firstVideo >= 0) {
        firstVideoFrames = static_cast<uint32_t>(chunksOf(0, firstVideo).size());
    }

    out.BeginList("RIFF", "AVI ");
    out.BeginList("LIST", "hdrl");
    {
        std::vector<uint8_t> avih;
        uint32_t usPerFrame = 0;
        uint32_t width = 0;
        uint32_t height = 0;
        if (firstVideo >= 0) {
            const Stream& v = streams_[static_cast<size_t>(firstVideo)];
            usPerFrame = v.rate ? static_cast<uint32_t>(uint64_t{v.scale} * 1000000 / v.rate) : 0;
            if (v.format.size() >= 12) {
                width = v.format[4] | (v.format[5] << 8);
                height = v.format[8] | (v.format[9] << 8);
            }
        }
        PutU32(avih, usPerFrame);
        PutU32(avih, 0);
        PutU32(avih, 0);
        PutU32(avih, (legacyIndex ? kMainFlagHasIndex : 0) | kMainFlagInterleaved);
        PutU32(avih, firstVideoFrames);
        PutU32(avih, 0);
        PutU32(avih, static_cast<uint32_t>(streams_.size()));
        PutU32(avih, 0);
        PutU32(avih, width);
        PutU32(avih, height);
        for (int i = 0; i < 4; ++i) {
            PutU32(avih, 0);
        }
        avih.resize(mainHeaderSize, 0);
        out.Chunk("avih", avih);
    }
    for (size_t s = 0; s < streams_.size(); ++s) {
        const Stream& stream = streams_[s];
        int number = static_cast<int>(s);
        uint32_t length = 0;
        for (int seg = 0; seg < segmentCount; ++seg) {
            length += static_cast<uint32_t>(chunksOf(seg, number).size());
        }
        out.BeginList("LIST", "strl");
        std::vector<uint8_t> strh;
        PutFourCC(strh, stream.type);
        PutFourCC(strh, stream.handler);
        PutU32(strh, 0);
        PutU16(strh, 0);
        PutU16(strh, 0);
        PutU32(strh, 0);
        PutU32(strh, stream.scale);
        PutU32(strh, stream.rate);
        PutU32(strh, 0);
        PutU32(strh, length);
        PutU32(strh, 0);
        PutU32(strh, 0xFFFFFFFFu);
        PutU32(strh, stream.sampleSize);
        PutU32(strh, 0);
        PutU32(strh, 0);
        out.Chunk("strh", strh);
        out.Chunk("strf", stream.format);
        for (const auto& [id, content] : stream.extraChunks) {
            out.Chunk(id, content);
        }
        if (indexed(number)) {
            std::vector<uint8_t> indx;
            uint32_t inUse = 0;
            std::vector<uint8_t> entries;
            for (int seg = 0; seg < segmentCount; ++seg) {
                auto chunks = chunksOf(seg, number);
                if (chunks.empty()) {
                    continue;
                }
                ++inUse;
                auto key = std::make_pair(seg, number);
                auto pos = layout.standardIndexPositions.find(key);
                auto size = layout.standardIndexSizes.find(key);
                PutU64(entries, pos != layout.standardIndexPositions.end() ? pos->second : 0);
                PutU32(entries, size != layout.standardIndexSizes.end() ? size->second : 0);
                PutU32(entries, static_cast<uint32_t>(chunks.size()));
            }
            entries.resize(static_cast<size_t>(segmentCount) * kSuperEntrySize, 0);
            PutU16(indx, 4);
            indx.push_back(0);  // sub type
            indx.push_back(0);  // index of indexes
            PutU32(indx, inUse);
            PutFourCC(indx, ChunkId(number));
            PutU32(indx, 0);
            PutU32(indx, 0);
            PutU32(indx, 0);
            indx.insert(indx.end(), entries.begin(), entries.end());
            out.Chunk("indx", indx);
        }
        out.EndList();
    }
    if (openDmlIndex) {
        out.BeginList("LIST", "odml");
        std::vector<uint8_t> dmlh;
        uint32_t total = 0;
        if (firstVideo >= 0) {
            for (int seg = 0; seg < segmentCount; ++seg) {
                total += static_cast<uint32_t>(chunksOf(seg, firstVideo).size());
            }
        }
        PutU32(dmlh, total);
        dmlh.resize(kOpenDmlHeaderSize, 0);
        out.Chunk("dmlh", dmlh);
        out.EndList();
    }
    out.EndList();  // hdrl
    if (junkBeforeMovi > 0) {
        out.Chunk("JUNK", std::vector<uint8_t>(junkBeforeMovi, 0));
    }

    std::vector<uint8_t> idx1;
    for (int seg = 0; seg < segmentCount; ++seg) {
        if (seg > 0) {
            out.BeginList("RIFF", "AVIX");
        }
        out.BeginList("LIST", "movi");
        if (seg == 0 && out.Measuring()) {
            out.Record()->moviFormPosition = out.Position() - 4;
        }
        for (size_t i = segments[static_cast<size_t>(seg)].first; i < segments[static_cast<size_t>(seg)].second; ++i) {
            const Item& item = items_[i];
            if (out.Measuring()) {
                out.Record()->itemPositions[i] = out.Position();
            }
            uint64_t relative = out.Position() - layout.moviFormPosition;
            switch (item.kind) {
                case ItemKind::RecBegin:
                    out.BeginList("LIST", "rec ");
                    if (seg == 0 && legacyIndex) {
                        PutFourCC(idx1, recIndexId);
                        PutU32(idx1, kLegacyFlagList);
                        PutU32(idx1, static_cast<uint32_t>(relative));
                        PutU32(idx1, 0);
                    }
                    break;
                case ItemKind::RecEnd:
                    out.EndList();
                    break;
                case ItemKind::Raw:
                    out.Chunk(item.id, item.bytes);
                    break;
                case ItemKind::Data:
                    if (seg == 0 && legacyIndex) {
                        PutFourCC(idx1, item.id);
                        PutU32(idx1, item.key ? kLegacyFlagKeyFrame : 0);
                        PutU32(idx1, static_cast<uint32_t>(relative));
                        PutU32(idx1, item.size);
                    }
                    out.ChunkHeader(item.id, item.size);
                    if (item.pattern) {
                        out.Pattern(item.size, item.seed);
                    } else {
                        out.Bytes(item.bytes);
                    }
                    out.Pad(item.size);
                    break;
                case ItemKind::Extension:
                    break;
            }
        }
        for (size_t s = 0; s < streams_.size(); ++s) {
            int number = static_cast<int>(s);
            auto chunks = chunksOf(seg, number);
            if (!indexed(number) || chunks.empty()) {
                continue;
            }
            std::vector<uint8_t> ix;
            PutU16(ix, 2);
            ix.push_back(standardIndexSubType);
            ix.push_back(1);  // index of chunks
            PutU32(ix, static_cast<uint32_t>(chunks.size()));
            PutFourCC(ix, ChunkId(number));
            PutU64(ix, 0);  // base offset: entries hold absolute positions
            PutU32(ix, 0);
            for (size_t i : chunks) {
                auto pos = layout.itemPositions.find(i);
                uint64_t data = pos != layout.itemPositions.end() ? pos->second + 8 : 0;
                PutU32(ix, static_cast<uint32_t>(data));
                PutU32(ix, items_[i].size | (items_[i].key ? 0 : kNotKeyFrameBit));
            }
            if (out.Measuring()) {
                out.Record()->standardIndexPositions[{seg, number}] = out.Position();
                out.Record()->standardIndexSizes[{seg, number}] = static_cast<uint32_t>(ix.size() + 8);
            }
            out.Chunk("ix" + TwoDigits(number), ix);
        }
        out.EndList();  // movi
        if (seg == 0 && legacyIndex) {
            out.Chunk("idx1", idx1);
        }
        out.EndList();  // RIFF
    }
}

std::vector<uint8_t> AviBuilder::Build() const {
    Emitter::Layout layout;
    Emitter measure(&layout);
    Emit(measure);
    std::vector<uint8_t> bytes;
    bytes.reserve(measure.Position());
    Emitter write(&layout, [&bytes](const uint8_t* data, size_t size) {
        bytes.insert(bytes.end(), data, data + size);
    });
    Emit(write);
    return bytes;
}

bool AviBuilder::WriteTo(const std::filesystem::path& path) const {
    Emitter::Layout layout;
    Emitter measure(&layout);
    Emit(measure);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    std::vector<char> buffer(1 << 20);
    file.rdbuf()->pubsetbuf(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    Emitter write(&layout, [&file](const uint8_t* data, size_t size) {
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    });
    Emit(write);
    file.close();
    return static_cast<bool>(file);
}

uint64_t AviBuilder::Size() const {
    Emitter::Layout layout;
    Emitter measure(&layout);
    Emit(measure);
    return measure.Position();
}
