#include "fuzz/FuzzSupport.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/WideText.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace fuzz {

namespace {
std::filesystem::path ScratchFolder() {
    std::error_code error;
    if (std::filesystem::is_directory("/dev/shm", error)) {
        return "/dev/shm";
    }
    return std::filesystem::temp_directory_path();
}
// The scratch files this process wrote, removed when it ends.
std::string scratchStem;
void RemoveScratchFiles() {
    for (const char* extension : {".avi", ".wav", ".aac", ".cadro"}) {
        std::remove((scratchStem + extension).c_str());
    }
}
}  // namespace

std::wstring WriteScratchFile(const uint8_t* data, size_t size, const char* extension) {
    // One name per process: parallel fuzzing jobs each keep their own file.
    static const std::string path =
        (ScratchFolder() / ("cadro-fuzz-" + std::to_string(::getpid()))).string();
    if (scratchStem.empty()) {
        scratchStem = path;
        std::atexit(RemoveScratchFiles);
    }
    const std::string name = path + extension;
    std::FILE* file = std::fopen(name.c_str(), "wb");
    if (file == nullptr) {
        std::perror(name.c_str());
        std::abort();
    }
    if (size > 0 && std::fwrite(data, 1, size, file) != size) {
        std::perror(name.c_str());
        std::abort();
    }
    std::fclose(file);
    return Platform::FromUtf8(name);
}

}  // namespace fuzz
