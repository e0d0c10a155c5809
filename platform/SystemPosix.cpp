#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstdlib>
#include <cwctype>
#include <vector>

#include "platform/System.h"
#include "platform/WideText.h"

namespace Platform {

bool ReadEnvironment(const std::wstring& name, std::wstring* value) {
    const char* text = std::getenv(ToUtf8(name).c_str());
    if (!text) {
        return false;
    }
    *value = FromUtf8(text);
    return true;
}

std::wstring ExecutableFolder() {
    std::vector<char> buffer(PATH_MAX + 1);
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0) {
        return std::wstring();
    }
    std::string path(buffer.data(), static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::wstring() : FromUtf8(path.substr(0, slash));
}

std::wstring DynamicLibrary::NativeFileName(const std::wstring& name) {
    size_t slash = name.find_last_of(L"/\\");
    std::wstring folder = slash == std::wstring::npos ? std::wstring() : name.substr(0, slash + 1);
    std::wstring file = slash == std::wstring::npos ? name : name.substr(slash + 1);
    const std::wstring dll = L".dll";
    if (file.size() > dll.size()) {
        std::wstring tail = file.substr(file.size() - dll.size());
        for (auto& c : tail) {
            c = static_cast<wchar_t>(std::towlower(c));
        }
        if (tail == dll) {
            file = L"lib" + file.substr(0, file.size() - dll.size()) + L".so";
        }
    }
    return folder + file;
}

bool DynamicLibrary::LoadByName(const std::wstring& name) {
    Unload();
    std::wstring file = NativeFileName(name);
    std::wstring folder = ExecutableFolder();
    if (!folder.empty()) {
        handle_ = ::dlopen(ToUtf8(folder + L"/" + file).c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (!handle_) {
        handle_ = ::dlopen(ToUtf8(file).c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    return handle_ != nullptr;
}

bool DynamicLibrary::LoadByPath(const std::wstring& path) {
    Unload();
    std::wstring file = NativeFileName(path);
    // dlopen searches when the name has no slash; a path must name the file itself.
    if (file.find(L'/') == std::wstring::npos) {
        file = L"./" + file;
    }
    handle_ = ::dlopen(ToUtf8(file).c_str(), RTLD_NOW | RTLD_LOCAL);
    return handle_ != nullptr;
}

void* DynamicLibrary::Find(const char* symbol) const {
    return handle_ ? ::dlsym(handle_, symbol) : nullptr;
}

void DynamicLibrary::Unload() {
    if (handle_) {
        ::dlclose(handle_);
        handle_ = nullptr;
    }
}

}  // namespace Platform
