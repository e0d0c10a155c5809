#pragma once
// Environment variables, dynamic libraries and where the running program lives.
#include <string>

namespace Platform {

#ifdef _WIN32
inline constexpr wchar_t kPathSeparator = L'\\';
#else
inline constexpr wchar_t kPathSeparator = L'/';
#endif

// False when the variable is not set.
bool ReadEnvironment(const std::wstring& name, std::wstring* value);

// Folder of the running executable, without a trailing separator; empty if unknown.
std::wstring ExecutableFolder();

// A library loaded at run time. Names are given the Windows way ("Name.dll"); elsewhere
// they map to the platform's convention ("libName.so").
class DynamicLibrary {
public:
    DynamicLibrary() = default;
    ~DynamicLibrary() { Unload(); }
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Looks in the executable's folder first, then through the system's library search.
    bool LoadByName(const std::wstring& name);
    // Loads exactly the file named (its file name mapped as above).
    bool LoadByPath(const std::wstring& path);
    void* Find(const char* symbol) const;
    void Unload();
    bool IsLoaded() const { return handle_ != nullptr; }

    // "Name.dll" -> "libName.so" on POSIX; unchanged on Windows.
    static std::wstring NativeFileName(const std::wstring& name);

private:
    void* handle_ = nullptr;
};

}  // namespace Platform
