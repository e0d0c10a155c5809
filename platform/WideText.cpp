#include "platform/WideText.h"

#include <cstdint>

namespace Platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kEscapeBase = 0xDC00;  // raw byte b travels as U+DC00 + b (b >= 0x80)

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void AppendWide(std::wstring& out, char32_t cp) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
            return;
        }
    }
    out.push_back(static_cast<wchar_t>(cp));
}

}  // namespace

std::string ToUtf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(text[i]));
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size()) {
            char32_t low = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(text[i + 1]));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        if (cp >= kEscapeBase + 0x80 && cp <= kEscapeBase + 0xFF) {
            out.push_back(static_cast<char>(cp - kEscapeBase));
        } else if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, cp);
        }
    }
    return out;
}

std::wstring FromUtf8(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        uint8_t b0 = static_cast<uint8_t>(text[i]);
        if (b0 < 0x80) {
            out.push_back(static_cast<wchar_t>(b0));
            ++i;
            continue;
        }
        size_t length = b0 >= 0xF0 && b0 <= 0xF4 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC2 && b0 < 0xE0 ? 2 : 0;
        char32_t cp = length == 4 ? (b0 & 0x07) : length == 3 ? (b0 & 0x0F) : (b0 & 0x1F);
        bool valid = length != 0 && i + length <= text.size();
        for (size_t k = 1; valid && k < length; ++k) {
            uint8_t b = static_cast<uint8_t>(text[i + k]);
            if ((b & 0xC0) != 0x80) {
                valid = false;
            } else {
                cp = (cp << 6) | (b & 0x3F);
            }
        }
        // Overlong forms, surrogates and values past U+10FFFF are not valid UTF-8.
        if (valid && ((length == 3 && cp < 0x800) || (length == 4 && cp < 0x10000) ||
                      (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)) {
            valid = false;
        }
        if (valid) {
            AppendWide(out, cp);
            i += length;
        } else {
            out.push_back(static_cast<wchar_t>(kEscapeBase + b0));
            ++i;
        }
    }
    return out;
}

}  // namespace Platform
