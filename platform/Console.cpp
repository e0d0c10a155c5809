#include "platform/Console.h"

#include <cstdio>
#include <cwchar>
#include <vector>

#include "platform/WideText.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace Platform {

std::wstring FormatWide(const wchar_t* format, va_list args) {
    std::vector<wchar_t> buffer(512);
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        int n = std::vswprintf(buffer.data(), buffer.size(), format, copy);
        va_end(copy);
        if (n >= 0 && static_cast<size_t>(n) < buffer.size()) {
            return std::wstring(buffer.data(), static_cast<size_t>(n));
        }
        // vswprintf gives no length when the buffer is short; grow and try again. A
        // format that cannot be rendered at all (an encoding error) gives up at 1 MiB.
        if (buffer.size() >= (1u << 20)) {
            return std::wstring();
        }
        buffer.resize(buffer.size() * 4);
    }
}

void Console::Print(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring text = FormatWide(format, args);
    va_end(args);
    Write(text);
}

void Console::PrintError(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring text = FormatWide(format, args);
    va_end(args);
    WriteError(text);
}

void Console::PrintBytes(const char* format, ...) {
    va_list args;
    va_start(args, format);
    PrintBytesV(format, args);
    va_end(args);
}

void Console::PrintBytesV(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n <= 0) {
        return;
    }
    std::string text(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<size_t>(n));
    WriteBytes(text);
}

StandardConsole::StandardConsole() {
#ifdef _WIN32
    // The bytes written are UTF-8; tell a real console so.
    SetConsoleOutputCP(CP_UTF8);
#endif
}

void StandardConsole::Write(std::wstring_view text) {
    std::string bytes = ToUtf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

void StandardConsole::WriteError(std::wstring_view text) {
    std::fflush(stdout);
    std::string bytes = ToUtf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
    std::fflush(stderr);
}

void StandardConsole::WriteBytes(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

void StandardConsole::Flush() {
    std::fflush(stdout);
    std::fflush(stderr);
}

void CaptureConsole::WriteBytes(std::string_view text) {
    out_.append(FromUtf8(text));
}

std::string CaptureConsole::OutUtf8() const {
    return ToUtf8(out_);
}

}  // namespace Platform
