#include "sources/WavReader.h"

#include <algorithm>
#include <cstring>

#include "platform/File.h"
#include "sources/LittleEndian.h"

namespace {
constexpr uint32_t kRiffHeaderSize = 12;
constexpr uint32_t kChunkHeaderSize = 8;
constexpr Riff::FourCC kRiff = Riff::MakeFourCC("RIFF");
constexpr Riff::FourCC kWave = Riff::MakeFourCC("WAVE");
constexpr Riff::FourCC kFormat = Riff::MakeFourCC("fmt ");
constexpr Riff::FourCC kData = Riff::MakeFourCC("data");
}  // namespace

WavReader::~WavReader() {
    CloseWav();
}

bool WavReader::OpenWav(const std::wstring& path) {
    CloseWav();
    format_ = WaveFormat();
    formatChunkSize_ = 0;
    dataSize_ = 0;
    dataFound_ = false;
    file_ = Platform::OpenStream(path, L"rb");
    if (file_ == nullptr) {
        return false;
    }
    int64_t size = -1;
    if (Platform::SeekStream(file_, 0, SEEK_END)) {
        size = Platform::TellStream(file_);
    }
    if (size < 0 || !Platform::SeekStream(file_, 0, SEEK_SET)) {
        CloseWav();
        return false;
    }
    fileSize_ = static_cast<uint64_t>(size);
    position_ = 0;
    if (!ParseHeader()) {
        CloseWav();
        return false;
    }
    dataFound_ = true;
    return true;
}

// Passes over `count` bytes; a chunk that claims to run past the end of the file
// cannot be passed over.
bool WavReader::Skip(uint64_t count) {
    if (count > fileSize_ - position_ ||
        !Platform::SeekStream(file_, static_cast<int64_t>(count), SEEK_CUR)) {
        return false;
    }
    position_ += count;
    return true;
}

bool WavReader::ParseHeader() {
    auto read = [this](uint8_t* out, uint32_t count) {
        if (std::fread(out, 1, count, file_) != count) {
            return false;
        }
        position_ += count;
        return true;
    };
    uint8_t riff[kRiffHeaderSize];
    if (!read(riff, kRiffHeaderSize) || Riff::ReadU32(riff) != kRiff ||
        Riff::ReadU32(riff + 8) != kWave) {
        return false;
    }
    bool formatFound = false;
    for (;;) {
        uint8_t header[kChunkHeaderSize];
        if (!read(header, kChunkHeaderSize)) {
            return false;
        }
        Riff::FourCC id = Riff::ReadU32(header);
        uint32_t size = Riff::ReadU32(header + 4);
        uint64_t padded = uint64_t{size} + (size & 1u);
        if (!formatFound) {
            if (id != kFormat) {
                // Anything before the format, a data chunk included, is passed over.
                if (!Skip(padded)) {
                    return false;
                }
                continue;
            }
            // A short format chunk is read without the bytes that follow it.
            uint32_t count = std::min(size, WaveFormat::kExtensibleSize);
            uint8_t area[WaveFormat::kExtensibleSize] = {};
            if (!read(area, count) || !Skip(padded - count)) {
                return false;
            }
            format_ = WaveFormat::Decode(area, count);
            formatChunkSize_ = size;
            formatFound = true;
            continue;
        }
        if (id == kData) {
            dataSize_ = size;
            return true;
        }
        if (!Skip(padded)) {
            return false;
        }
    }
}

int32_t WavReader::ReadData(uint32_t count, void* buffer) {
    if (!dataFound_ || file_ == nullptr) {
        return -1;
    }
    // Reads are kept within what a 32-bit signed result can report.
    count = std::min({count, dataSize_ - consumed_, uint32_t{0x7FFFFFFE}});
    if (count == 0) {
        return 0;
    }
    size_t got = std::fread(buffer, 1, count, file_);
    consumed_ += static_cast<uint32_t>(got);
    if (got < count) {
        // The file ends inside the data: hand out what arrived, and nothing after.
        std::fclose(file_);
        file_ = nullptr;
        return got > 0 ? static_cast<int32_t>(got) : -1;
    }
    return static_cast<int32_t>(count);
}

void WavReader::CloseWav() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    consumed_ = 0;
}
