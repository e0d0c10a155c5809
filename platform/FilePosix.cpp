#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/File.h"
#include "platform/WideText.h"

namespace Platform {

File::~File() {
    Close();
}

bool File::Open(const std::wstring& path, Mode mode) {
    Close();
    std::string native = ToUtf8(path);
    int flags = mode == Mode::Read ? O_RDONLY : (O_WRONLY | O_CREAT | O_TRUNC);
    int fd;
    do {
        fd = ::open(native.c_str(), flags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return false;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(fd);
        return false;
    }
    handle_ = fd;
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
        ssize_t n = ::read(static_cast<int>(handle_), out + done, size - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            *bytesRead = done;
            return false;
        }
        if (n == 0) {
            break;
        }
        done += static_cast<uint32_t>(n);
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
        ssize_t n = ::write(static_cast<int>(handle_), in + done, size - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (n == 0) {
            return false;
        }
        done += static_cast<uint32_t>(n);
    }
    return true;
}

bool File::Seek(int64_t position) {
    if (!IsOpen() || position < 0) {
        return false;
    }
    return ::lseek(static_cast<int>(handle_), static_cast<off_t>(position), SEEK_SET) == position;
}

int64_t File::Tell() const {
    if (!IsOpen()) {
        return -1;
    }
    return ::lseek(static_cast<int>(handle_), 0, SEEK_CUR);
}

int64_t File::Size() const {
    struct stat info;
    if (!IsOpen() || ::fstat(static_cast<int>(handle_), &info) != 0) {
        return -1;
    }
    return info.st_size;
}

bool File::Close() {
    if (!IsOpen()) {
        return true;
    }
    int fd = static_cast<int>(handle_);
    handle_ = kInvalid;
    return ::close(fd) == 0;
}

std::FILE* OpenStream(const std::wstring& path, const wchar_t* mode) {
    std::string narrowMode;
    for (const wchar_t* m = mode; *m; ++m) {
        if (*m != L't') {  // text and binary are the same here
            narrowMode.push_back(static_cast<char>(*m));
        }
    }
    std::FILE* stream = std::fopen(ToUtf8(path).c_str(), narrowMode.c_str());
    if (stream) {
        struct stat info;
        if (::fstat(::fileno(stream), &info) != 0 || S_ISDIR(info.st_mode)) {
            std::fclose(stream);
            return nullptr;
        }
    }
    return stream;
}

bool SeekStream(std::FILE* stream, int64_t offset, int origin) {
    return ::fseeko(stream, static_cast<off_t>(offset), origin) == 0;
}

int64_t TellStream(std::FILE* stream) {
    return ::ftello(stream);
}

bool SameFile(const std::wstring& a, const std::wstring& b) {
    struct stat sa, sb;
    if (::stat(ToUtf8(a).c_str(), &sa) != 0 || ::stat(ToUtf8(b).c_str(), &sb) != 0) {
        return false;
    }
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace Platform
