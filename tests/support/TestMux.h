#pragma once
// An open muxer on a sink that drops its packets, for setting up grabbers (they create
// their descriptors through AddStream) in tests, benchmarks and fuzz targets.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "korva/Memory.h"
#include "korva/Mux.h"
#include "korva/Writer.h"

class HeapMemory final : public Korva::Memory {
public:
    // Never null for a size of 0: a refusal here is always a real shortage, reported
    // through Fatal.
    void* Alloc(uint32_t size) override { return std::malloc(size == 0 ? 1 : size); }
    void Free(void* block) override { std::free(block); }
    void Fatal(const char* format, ...) override {
        va_list args;
        va_start(args, format);
        std::vfprintf(stderr, format, args);
        va_end(args);
        std::abort();
    }
};

class DroppingWriter final : public Korva::Writer {
public:
    uint32_t GetPacketSize() override { return size_; }
    void SetPacketSize(uint32_t size) override { size_ = size; }
    bool Start() override { return true; }
    void Finish() override {}
    bool Write(const uint8_t*, uint32_t, const Korva::PacketInfo*) override { return true; }

private:
    uint32_t size_ = 0;
};

class TestMux {
public:
    TestMux() : mux_(&memory_) {
        mux_.Open(4096, 1000000, &writer_, false, true, false);
    }
    ~TestMux() { mux_.Close(); }
    TestMux(const TestMux&) = delete;
    TestMux& operator=(const TestMux&) = delete;
    Korva::Mux* Get() { return &mux_; }

private:
    HeapMemory memory_;
    DroppingWriter writer_;
    Korva::Mux mux_;
};
