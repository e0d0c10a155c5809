#pragma once
// Builds AAC files in ADTS form for tests: frames with or without CRC, one to four raw
// data blocks, any profile, sampling frequency index and channel configuration, and
// arbitrary bytes (garbage, cut frames) in between.
//
//   AdtsBuilder aac;
//   aac.AddFrame({});                        // LC, 44100 Hz, stereo, 100 payload bytes
//   aac.AddFrame(AdtsFrameSpec().Crc().Blocks(2));
//   aac.AddBytes({1, 2, 3});
//   aac.WriteTo(path);
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

struct AdtsFrameSpec {
    int profile = 1;             // 1 is LC
    int frequencyIndex = 4;      // 44100 Hz
    int channelConfiguration = 2;
    bool crc = false;            // protection_absent 0: a 16-bit CRC follows the header
    int blocks = 1;              // raw data blocks, 1..4
    uint32_t payloadSize = 100;  // bytes after the header (and CRC)
    uint8_t seed = 0;            // payload byte i is seed + i
    // What aac_frame_length claims instead of the true length.
    std::optional<uint32_t> frameLengthOverride;

    AdtsFrameSpec& Profile(int value) { profile = value; return *this; }
    AdtsFrameSpec& Frequency(int index) { frequencyIndex = index; return *this; }
    AdtsFrameSpec& Channels(int configuration) { channelConfiguration = configuration; return *this; }
    AdtsFrameSpec& Crc(bool value = true) { crc = value; return *this; }
    AdtsFrameSpec& Blocks(int value) { blocks = value; return *this; }
    AdtsFrameSpec& Payload(uint32_t size, uint8_t first = 0) { payloadSize = size; seed = first; return *this; }
    AdtsFrameSpec& FrameLength(uint32_t value) { frameLengthOverride = value; return *this; }
};

class AdtsBuilder {
public:
    // The bytes of one frame.
    static std::vector<uint8_t> Frame(const AdtsFrameSpec& spec);

    void AddFrame(const AdtsFrameSpec& spec) { AddBytes(Frame(spec)); }
    void AddBytes(const std::vector<uint8_t>& bytes);

    const std::vector<uint8_t>& Build() const { return bytes_; }
    bool WriteTo(const std::filesystem::path& path) const;

private:
    std::vector<uint8_t> bytes_;
};
