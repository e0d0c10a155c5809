#pragma once
// Builds WAV files for tests: plain or extensible format, extra chunks (LIST, odd-sized)
// around the format and the data, a data size that claims more than the file holds.
//
//   WavBuilder wav;
//   wav.channels = 1;
//   wav.SetSamples({1, -1, 2});
//   wav.chunksBeforeData.push_back({"LIST", {...}});
//   wav.WriteTo(path);
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class WavBuilder {
public:
    uint16_t formatTag = 1;  // 0xFFFE writes the extensible fields (fmt of 40 bytes)
    uint16_t channels = 2;
    uint32_t sampleRate = 44100;
    uint16_t bitsPerSample = 16;
    uint16_t subFormatTag = 1;  // first 16 bits of SubFormat, for the extensible form
    // Size of the fmt chunk content: 16, 18 or 40; 0 picks 40 for the extensible form and
    // 16 otherwise.
    uint32_t formatSize = 0;

    using ExtraChunk = std::pair<std::string, std::vector<uint8_t>>;
    std::vector<ExtraChunk> chunksBeforeFormat;
    std::vector<ExtraChunk> chunksBeforeData;
    std::vector<ExtraChunk> chunksAfterData;
    bool dataBeforeFormat = false;

    std::vector<uint8_t> data;              // the sample bytes
    std::optional<uint32_t> declaredDataSize;  // what the data chunk header claims

    // Interleaved 16-bit samples, little-endian.
    void SetSamples(const std::vector<int16_t>& samples);

    std::vector<uint8_t> Build() const;
    bool WriteTo(const std::filesystem::path& path) const;
};
