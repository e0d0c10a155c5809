#include <windows.h>

#include <cstdio>

#include "platform/File.h"

namespace Platform {
namespace {
HANDLE H(intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}
}  // namespace

File::~File() {
    Close();
}

bool File::Open(const std::wstring& path, Mode mode) {
    Close();
    HANDLE h = mode == Mode::Read
                   ? CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr)
                   : CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    handle_ = reinterpret_cast<intptr_t>(h);
    return true;
}

bool File::Read(void* buffer, uint32_t size, uint32_t* bytesRead) {
    *bytesRead = 0;
    if (!IsOpen()) {
        return false;
    }
    auto* out = static_cast<char*>(buffer);
    uint32_t done = 0;
    while (done < size) {
        DWORD n = 0;
        if (!ReadFile(H(handle_), out + done, size - done, &n, nullptr)) {
            *bytesRead = done;
            return false;
        }
        if (n == 0) {
            break;
        }
        done += n;
    }
    *bytesRead = done;
    return true;
}

bool File::ReadExact(void* buffer, uint32_t size) {
    uint32_t got = 0;
    return Read(buffer, size, &got) && got == size;
}

bool File::Write(const void* data, uint32_t size) {
    if (!IsOpen()) {
        return false;
    }
    const auto* in = static_cast<const char*>(data);
    uint32_t done = 0;
    while (done < size) {
        DWORD n = 0;
        if (!WriteFile(H(handle_), in + done, size - done, &n, nullptr) || n == 0) {
            return false;
        }
        done += n;
    }
    return true;
}

bool File::Seek(int64_t position) {
    if (!IsOpen() || position < 0) {
        return false;
    }
    LARGE_INTEGER to;
    to.QuadPart = position;
    return SetFilePointerEx(H(handle_), to, nullptr, FILE_BEGIN) != 0;
}

int64_t File::Tell() const {
    if (!IsOpen()) {
        return -1;
    }
    LARGE_INTEGER zero, now;
    zero.QuadPart = 0;
    if (!SetFilePointerEx(H(handle_), zero, &now, FILE_CURRENT)) {
        return -1;
    }
    return now.QuadPart;
}

int64_t File::Size() const {
    LARGE_INTEGER size;
    if (!IsOpen() || !GetFileSizeEx(H(handle_), &size)) {
        return -1;
    }
    return size.QuadPart;
}

bool File::Close() {
    if (!IsOpen()) {
        return true;
    }
    HANDLE h = H(handle_);
    handle_ = kInvalid;
    return CloseHandle(h) != 0;
}

std::FILE* OpenStream(const std::wstring& path, const wchar_t* mode) {
    return _wfopen(path.c_str(), mode);
}

bool SeekStream(std::FILE* stream, int64_t offset, int origin) {
    return _fseeki64(stream, offset, origin) == 0;
}

int64_t TellStream(std::FILE* stream) {
    return _ftelli64(stream);
}

bool SameFile(const std::wstring& a, const std::wstring& b) {
    auto identify = [](const std::wstring& path, BY_HANDLE_FILE_INFORMATION* info) {
        HANDLE h = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            return false;
        }
        bool ok = GetFileInformationByHandle(h, info) != 0;
        CloseHandle(h);
        return ok;
    };
    BY_HANDLE_FILE_INFORMATION ia, ib;
    if (!identify(a, &ia) || !identify(b, &ib)) {
        return false;
    }
    return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

}  // namespace Platform
