#pragma once
// The one writer all text of the tool goes through. Reports and messages are wide text
// on standard output; the codec-library loader writes to standard error; the container
// library's out-of-memory report arrives as 8-bit text. Everything leaves the process as
// UTF-8 bytes, so the streams never change orientation.
#include <cstdarg>
#include <string>
#include <string_view>

namespace Platform {

class Console {
public:
    virtual ~Console() = default;
    virtual void Write(std::wstring_view text) = 0;       // standard output
    virtual void WriteError(std::wstring_view text) = 0;  // standard error
    virtual void WriteBytes(std::string_view text) = 0;   // 8-bit text to standard output
    virtual void Flush() {}

    // printf-style wide formatting; "%ls" takes a wide string, "%lld" a 64-bit value.
    void Print(const wchar_t* format, ...);
    void PrintError(const wchar_t* format, ...);
    // printf-style 8-bit formatting to standard output.
    void PrintBytes(const char* format, ...);
    void PrintBytesV(const char* format, va_list args);
};

// Formats like vswprintf into a string of any length.
std::wstring FormatWide(const wchar_t* format, va_list args);

// The process's standard output and error.
class StandardConsole final : public Console {
public:
    StandardConsole();
    void Write(std::wstring_view text) override;
    void WriteError(std::wstring_view text) override;
    void WriteBytes(std::string_view text) override;
    void Flush() override;
};

// Keeps everything written, for tests. Output and 8-bit text share one stream, as on a
// real console; standard error is kept apart.
class CaptureConsole final : public Console {
public:
    void Write(std::wstring_view text) override { out_.append(text); }
    void WriteError(std::wstring_view text) override { err_.append(text); }
    void WriteBytes(std::string_view text) override;

    const std::wstring& Out() const { return out_; }
    const std::wstring& Err() const { return err_; }
    std::string OutUtf8() const;
    void Clear() {
        out_.clear();
        err_.clear();
    }

private:
    std::wstring out_;
    std::wstring err_;
};

}  // namespace Platform
