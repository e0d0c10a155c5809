#pragma once
// A Korva::Writer that keeps every packet it is given, with its PacketInfo, and can be
// told to refuse Start or a chosen Write.
#include <cstdint>
#include <vector>

#include "korva/Writer.h"

class RecordingWriter final : public Korva::Writer {
public:
    struct Packet {
        std::vector<uint8_t> bytes;
        Korva::PacketInfo info;
    };

    uint32_t GetPacketSize() override { return packetSize_; }
    void SetPacketSize(uint32_t size) override { packetSize_ = size; }
    bool Start() override {
        ++starts_;
        return startResult_;
    }
    void Finish() override { ++finishes_; }
    bool Write(const uint8_t* data, uint32_t size, const Korva::PacketInfo* info) override;

    // Start returns `result` from now on.
    void SetStartResult(bool result) { startResult_ = result; }
    // Write attempts number `first` (0-based, counting every attempt) and on fail.
    void FailWritesFrom(uint32_t first) { failFrom_ = first; }
    void StopFailing() { failFrom_ = UINT32_MAX; }

    const std::vector<Packet>& Packets() const { return packets_; }
    // Every packet's bytes, back to back, as a file would hold them.
    std::vector<uint8_t> Bytes() const;
    uint32_t Attempts() const { return attempts_; }
    uint32_t Starts() const { return starts_; }
    uint32_t Finishes() const { return finishes_; }
    void Clear() { packets_.clear(); }

private:
    std::vector<Packet> packets_;
    uint32_t packetSize_ = 0;
    uint32_t attempts_ = 0;
    uint32_t starts_ = 0;
    uint32_t finishes_ = 0;
    uint32_t failFrom_ = UINT32_MAX;
    bool startResult_ = true;
};
