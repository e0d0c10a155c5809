// Demultiplexing speed: a large stream written by the muxer is read back by the demuxer,
// once from memory and once from a file through CadroDemuxer, taking every frame out of
// its queue as a consumer would. Prints megabytes per second of container bytes.
//
// Usage: DemuxThroughput [megabytes] [packet size]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "cadro/CadroDemuxer.h"
#include "cadro/CadroMemory.h"
#include "korva/Mux.h"
#include "korva/StreamDescriptors.h"
#include "korva/StreamFrameQueue.h"
#include "korva/Writer.h"
#include "tests/korva/DemuxTestSupport.h"

namespace {

// Appends every packet to one byte vector.
class AppendingWriter final : public Korva::Writer {
public:
    uint32_t GetPacketSize() override { return packetSize_; }
    void SetPacketSize(uint32_t size) override { packetSize_ = size; }
    bool Start() override { return true; }
    void Finish() override {}
    bool Write(const uint8_t* data, uint32_t size, const Korva::PacketInfo*) override {
        bytes.insert(bytes.end(), data, data + size);
        return true;
    }
    std::vector<uint8_t> bytes;

private:
    uint32_t packetSize_ = 0;
};

std::vector<uint8_t> MakeStream(size_t targetBytes, uint32_t packetSize) {
    demux_test::HeapMemory memory;
    AppendingWriter writer;
    writer.bytes.reserve(targetBytes + (1u << 20));
    Korva::Mux mux(&memory);
    if (mux.Open(packetSize, 1000000, &writer, false, true, false) != 0) std::exit(1);
    Korva::Stream* stream = nullptr;
    mux.AddStream(Korva::kTypeVideo, &stream);
    mux.AddStream(Korva::kTypeAudio, &stream);
    std::mt19937 rng(1);
    std::vector<uint8_t> frame(100000);
    for (auto& b : frame) b = static_cast<uint8_t>(rng());
    int64_t time = 1;
    for (uint32_t n = 0; writer.bytes.size() < targetBytes; ++n) {
        const uint32_t videoSize = n % 25 == 0 ? 60000 : 8000 + rng() % 20000;
        mux.AddFrame(0, frame.data(), videoSize, time, time, n % 25 == 0 ? 0 : 1, n % 25 == 0,
                     n % 25 == 0);
        mux.AddFrame(1, frame.data() + 7, 1024 + rng() % 512, time + 20000, time + 20000, 0,
                     false, false);
        time += 40000;
    }
    mux.Close();
    return std::move(writer.bytes);
}

// Steps to the end, popping every complete frame; returns the payload bytes seen.
uint64_t Drain(Korva::Demux& demux) {
    uint64_t payload = 0;
    for (;;) {
        const uint32_t code = demux.Step();
        for (uint32_t i = 0; i < demux.GetStreamCount(); ++i) {
            Korva::StreamFrameQueue* queue = Korva::Demux::QueueOf(demux.GetStreamAt(i));
            while (queue->GetFrameCount() > 0) {
                const uint8_t* data = nullptr;
                uint32_t size = 0;
                queue->GetFrameData(&data, &size);
                payload += size;
                queue->PopFrame();
            }
        }
        if (code > 2) return payload;
    }
}

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
    const uint32_t packetSize = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 4096;
    const std::vector<uint8_t> stream = MakeStream(megabytes << 20, packetSize);
    const double mb = static_cast<double>(stream.size()) / (1 << 20);
    std::printf("stream: %.1f MB, packet size %u\n", mb, packetSize);

    {
        demux_test::HeapMemory memory;
        demux_test::MemoryReader reader(stream);
        demux_test::TestDemux demux(&memory);
        demux.AttachReader(&reader);
        reader.SetBufferSize(packetSize);
        const auto start = std::chrono::steady_clock::now();
        const uint64_t payload = Drain(demux);
        const double seconds = Seconds(start);
        std::printf("demux from memory: %.3f s, %.0f MB/s (%.1f MB of frames)\n", seconds,
                    mb / seconds, static_cast<double>(payload) / (1 << 20));
    }

    const auto path = std::filesystem::temp_directory_path() / "demux_throughput.cadro";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(stream.data()),
                  static_cast<std::streamsize>(stream.size()));
    }
    {
        CadroMemoryDemuxer memory;
        CadroDemuxer demux(&memory);
        const auto start = std::chrono::steady_clock::now();
        if (!demux.Open(path.wstring())) return 1;
        const uint64_t payload = Drain(demux);
        const double seconds = Seconds(start);
        std::printf("demux from file:   %.3f s, %.0f MB/s (%.1f MB of frames)\n", seconds,
                    mb / seconds, static_cast<double>(payload) / (1 << 20));
    }
    std::filesystem::remove(path);
    return 0;
}
