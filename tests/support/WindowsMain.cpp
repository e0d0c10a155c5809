// The Windows build links every program with the wide-character entry point (the tool
// needs its UTF-16 command line), but test programs and generators have a plain main.
// This bridge takes the wide arguments, turns them into UTF-8 and hands them to main.
#ifdef _WIN32
#include <string>
#include <vector>

#include "platform/WideText.h"

int main(int argc, char** argv);

extern "C" int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) arguments.push_back(Platform::ToUtf8(argv[i]));
    std::vector<char*> pointers;
    for (auto& argument : arguments) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    return main(argc, pointers.data());
}
#endif
