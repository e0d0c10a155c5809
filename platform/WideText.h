#pragma once
// Conversions between the wide text the tool works in and 8-bit UTF-8.
//
// On Windows wchar_t holds UTF-16; elsewhere it holds code points. Bytes that are not
// valid UTF-8 (a POSIX file name may hold any bytes) become U+DC80..U+DCFF and turn back
// into the same bytes, so every path survives a round trip.
#include <string>
#include <string_view>

namespace Platform {

std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view text);

}  // namespace Platform
