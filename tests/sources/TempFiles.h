#pragma once
// A folder of scratch files for one test, removed with everything in it afterwards.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "tests/support/AviBuilder.h"

class TempFolder {
public:
    TempFolder() {
        static std::atomic<int> counter{0};
        auto base = std::filesystem::temp_directory_path();
        std::random_device random;
        auto tag = std::to_string(random()) + "_" + std::to_string(counter++);
        path_ = base / ("cadro_sources_" + tag);
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::filesystem::path Path(const std::string& name) const { return path_ / name; }
    // Writes `bytes` to a file of that name and returns its wide path.
    std::wstring Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        WriteFixtureFile(Path(name), bytes);
        return Path(name).wstring();
    }

private:
    std::filesystem::path path_;
};
