#include "tests/support/RunTool.h"

#include <cstdio>

#include "app/CommandLine.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

ToolRun RunInProcess(const std::vector<std::wstring>& arguments, InputFileMaker makeFile) {
    std::vector<std::wstring> all{L"CadroTool"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<const wchar_t*> argv;
    for (const auto& a : all) {
        argv.push_back(a.c_str());
    }
    Platform::CaptureConsole console;
    ToolRun run;
    run.status = CadroMain(static_cast<int>(argv.size()), argv.data(), console, makeFile);
    run.out = console.Out();
    run.err = console.Err();
    return run;
}

namespace {
std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}
}  // namespace

ProcessRun RunBinary(const std::vector<std::string>& arguments, bool errToOut) {
    std::string command = ShellQuote(CADRO_TOOL_PATH);
    for (const auto& a : arguments) {
        command += " " + ShellQuote(a);
    }
    command += errToOut ? " 2>&1" : " 2>/dev/null";
    ProcessRun run;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        run.status = -1;
        return run;
    }
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.out.append(buffer, n);
    }
    int raw = ::pclose(pipe);
#ifdef _WIN32
    // The exit code itself; its low byte is what a POSIX parent would see.
    run.status = raw & 0xff;
#else
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
    return run;
}

std::wstring HelpText() {
    Platform::CaptureConsole console;
    PrintHelp(console);
    return console.Out();
}
