#include "tests/support/WavBuilder.h"

#include "tests/support/AviBuilder.h"

void WavBuilder::SetSamples(const std::vector<int16_t>& samples) {
    data.clear();
    for (int16_t s : samples) {
        PutU16(data, static_cast<uint16_t>(s));
    }
}

std::vector<uint8_t> WavBuilder::Build() const {
    auto chunk = [](std::vector<uint8_t>& out, const std::string& id,
                    const std::vector<uint8_t>& content, std::optional<uint32_t> size = {}) {
        PutFourCC(out, id);
        PutU32(out, size.value_or(static_cast<uint32_t>(content.size())));
        out.insert(out.end(), content.begin(), content.end());
        if (content.size() & 1) {
            out.push_back(0);
        }
    };
    std::vector<uint8_t> format;
    uint32_t blockAlign = channels * ((bitsPerSample + 7u) / 8u);
    PutU16(format, formatTag);
    PutU16(format, channels);
    PutU32(format, sampleRate);
    PutU32(format, sampleRate * blockAlign);
    PutU16(format, blockAlign);
    PutU16(format, bitsPerSample);
    PutU16(format, formatTag == 0xFFFE ? 22 : 0);  // cbSize
    PutU16(format, bitsPerSample);                 // valid bits
    PutU32(format, channels == 1 ? 0x4 : 0x3);     // channel mask
    PutU16(format, subFormatTag);
    static const uint8_t kGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                          0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    format.insert(format.end(), kGuidTail, kGuidTail + sizeof kGuidTail);
    uint32_t size = formatSize != 0 ? formatSize : (formatTag == 0xFFFE ? 40u : 16u);
    format.resize(size, 0);

    std::vector<uint8_t> body;
    PutFourCC(body, "WAVE");
    for (const auto& [id, content] : chunksBeforeFormat) {
        chunk(body, id, content);
    }
    if (dataBeforeFormat) {
        chunk(body, "data", data, declaredDataSize);
    }
    chunk(body, "fmt ", format);
    for (const auto& [id, content] : chunksBeforeData) {
        chunk(body, id, content);
    }
    if (!dataBeforeFormat) {
        chunk(body, "data", data, declaredDataSize);
    }
    for (const auto& [id, content] : chunksAfterData) {
        chunk(body, id, content);
    }
    std::vector<uint8_t> out;
    PutFourCC(out, "RIFF");
    PutU32(out, static_cast<uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

bool WavBuilder::WriteTo(const std::filesystem::path& path) const {
    return WriteFixtureFile(path, Build());
}
