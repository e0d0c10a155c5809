#include "cadro/CadroMemory.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {
constexpr int kOutOfMemoryStatus = -1;
constexpr size_t kMessageCapacity = 1024;
}  // namespace

void* CadroHeapMemory::Alloc(uint32_t size) { return std::malloc(size); }

void CadroHeapMemory::Free(void* block) { std::free(block); }

void CadroHeapMemory::Fatal(const char* format, ...) {
    Platform::StandardConsole standard;
    Platform::Console& console = console_ != nullptr ? *console_ : standard;
    // Formatted on the stack: the heap is what just ran out.
    char text[kMessageCapacity];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n > 0) {
        const size_t length = static_cast<size_t>(n) < sizeof text ? static_cast<size_t>(n)
                                                                   : sizeof text - 1;
        console.WriteBytes(std::string_view(text, length));
    }
    console.Flush();
    std::exit(kOutOfMemoryStatus);
}
