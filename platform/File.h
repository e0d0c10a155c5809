#pragma once
// A binary file with 64-bit positions: the operating system's own file handle, no
// buffering of its own.
#include <cstdint>
#include <cstdio>
#include <string>

namespace Platform {

class File {
public:
    enum class Mode {
        Read,         // open an existing file for reading
        CreateWrite,  // create the file, or empty an existing one, for writing
    };

    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool Open(const std::wstring& path, Mode mode);
    bool IsOpen() const { return handle_ != kInvalid; }

    // Reads up to `size` bytes; `*bytesRead` is how many came (0 at the end of the file).
    // False only on an error.
    bool Read(void* buffer, uint32_t size, uint32_t* bytesRead);
    // True only when exactly `size` bytes were read.
    bool ReadExact(void* buffer, uint32_t size);
    // Writes all `size` bytes or reports failure; short writes are continued.
    bool Write(const void* data, uint32_t size);
    // Absolute position; positions past the end are allowed as the system allows them.
    bool Seek(int64_t position);
    int64_t Tell() const;  // -1 on failure
    int64_t Size() const;  // -1 on failure
    // Closes the file; false when the system reported an error while closing. Closing a
    // file that is not open succeeds.
    bool Close();

private:
    static constexpr intptr_t kInvalid = -1;
    intptr_t handle_ = kInvalid;
};

// C run-time streams opened by wide path ("rb", "wt", ...), with 64-bit positions.
std::FILE* OpenStream(const std::wstring& path, const wchar_t* mode);
bool SeekStream(std::FILE* stream, int64_t offset, int origin);
int64_t TellStream(std::FILE* stream);

// True when both paths name the same existing file, whatever their spelling.
bool SameFile(const std::wstring& a, const std::wstring& b);

}  // namespace Platform
