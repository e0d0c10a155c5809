#include <windows.h>

#include <vector>

#include "platform/System.h"

namespace Platform {

bool ReadEnvironment(const std::wstring& name, std::wstring* value) {
    DWORD needed = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
    if (needed == 0) {
        return false;
    }
    std::vector<wchar_t> buffer(needed);
    DWORD got = GetEnvironmentVariableW(name.c_str(), buffer.data(), needed);
    if (got == 0 || got >= needed) {
        return false;
    }
    value->assign(buffer.data(), got);
    return true;
}

std::wstring ExecutableFolder() {
    std::vector<wchar_t> buffer(32768);
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0 || n >= buffer.size()) {
        return std::wstring();
    }
    std::wstring path(buffer.data(), n);
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring DynamicLibrary::NativeFileName(const std::wstring& name) {
    return name;
}

bool DynamicLibrary::LoadByName(const std::wstring& name) {
    Unload();
    // The system search already starts with the executable's folder.
    handle_ = reinterpret_cast<void*>(LoadLibraryW(name.c_str()));
    return handle_ != nullptr;
}

bool DynamicLibrary::LoadByPath(const std::wstring& path) {
    Unload();
    handle_ = reinterpret_cast<void*>(LoadLibraryW(path.c_str()));
    return handle_ != nullptr;
}

void* DynamicLibrary::Find(const char* symbol) const {
    if (!handle_) {
        return nullptr;
    }
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), symbol));
}

void DynamicLibrary::Unload() {
    if (handle_) {
        FreeLibrary(static_cast<HMODULE>(handle_));
        handle_ = nullptr;
    }
}

}  // namespace Platform
