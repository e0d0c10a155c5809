// Adapts the process's arguments to the entry routine.
#include <vector>

#include "app/CadroMain.h"
#include "platform/Console.h"

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    Platform::StandardConsole console;
    int status = CadroMain(argc, argv, console);
    console.Flush();
    return status;
}
#else
#include "platform/WideText.h"

int main(int argc, char** argv) {
    std::vector<std::wstring> arguments;
    arguments.reserve(static_cast<size_t>(argc));
    for (int i = 0; i < argc; ++i) {
        arguments.push_back(Platform::FromUtf8(argv[i]));
    }
    std::vector<const wchar_t*> pointers;
    for (const auto& argument : arguments) {
        pointers.push_back(argument.c_str());
    }
    Platform::StandardConsole console;
    int status = CadroMain(argc, pointers.data(), console);
    console.Flush();
    return status;
}
#endif
