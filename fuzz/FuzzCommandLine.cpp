// The command-line reader: the input is the argument list, arguments separated by zero
// bytes, in UTF-8. File options get stand-in input files that open unless their name
// starts with '!', so the reader goes on past them without touching the disk.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/CommandLine.h"
#include "app/MuxJob.h"
#include "fuzz/FuzzSupport.h"
#include "platform/WideText.h"

namespace {

class StandInFile final : public GenericInputFile {
public:
    bool Open() override { return name.empty() || name[0] != L'!'; }
    void Close() override {}
};

std::unique_ptr<GenericInputFile> MakeStandIn(InputKind) {
    return std::make_unique<StandInFile>();
}

// A command line of a few hundred arguments says all there is to say.
constexpr size_t kMaxArguments = 512;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::wstring> arguments{L"CadroTool"};
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    while (!rest.empty() && arguments.size() < kMaxArguments) {
        const size_t end = rest.find('\0');
        arguments.push_back(Platform::FromUtf8(rest.substr(0, end)));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
    std::vector<const wchar_t*> argv;
    for (const auto& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    MuxJob job;
    fuzz::NullConsole console;
    if (ReadCommandLine(static_cast<int>(argv.size()), argv.data(), &job, MakeStandIn, console) &&
        !job.inputFiles.empty()) {
        DefaultOutputPath(job.inputFiles.front()->name);
    }
    return 0;
}
