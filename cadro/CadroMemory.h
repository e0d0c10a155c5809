#pragma once
// The program's two memories for the container library: the run-time heap, and on
// exhaustion the library's message followed by the end of the process with status -1.
#include <cstdint>

#include "korva/Memory.h"
#include "platform/Console.h"

// Shared behaviour of both memories.
class CadroHeapMemory : public Korva::Memory {
public:
    // `console` receives the out-of-memory message; null means standard output.
    explicit CadroHeapMemory(Platform::Console* console = nullptr) : console_(console) {}

    void* Alloc(uint32_t size) override;
    void Free(void* block) override;
    // Prints the message exactly as formatted, then ends the process with status -1:
    // running out of memory is a failure. Never returns.
    [[noreturn]] void Fatal(const char* format, ...) override;

private:
    Platform::Console* console_;
};

// The memory of the muxer; the front end owns one for the whole run.
class CadroMemoryMuxer final : public CadroHeapMemory {
public:
    using CadroHeapMemory::CadroHeapMemory;
};

// The memory of a demuxer; each Cadro input file owns one.
class CadroMemoryDemuxer final : public CadroHeapMemory {
public:
    using CadroHeapMemory::CadroHeapMemory;
};
