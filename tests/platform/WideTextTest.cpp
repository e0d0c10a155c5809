#include "platform/WideText.h"

#include <gtest/gtest.h>

namespace {

TEST(WideText, RoundTripsTextAndArbitraryBytes) {
    const std::string cases[] = {
        "plain.avi",
        "cl\xC3\xA9.avi",                  // é
        "\xE8\xA6\x96\xE9\xA0\xBB.wav",    // two CJK characters
        "\xF0\x9F\x8E\xAC.cadro",          // outside the basic plane
        "bad\xFF\xC0name",                 // not UTF-8 at all
        "cut\xE8\xA6",                     // a sequence cut short
    };
    for (const std::string& text : cases) {
        EXPECT_EQ(Platform::ToUtf8(Platform::FromUtf8(text)), text);
    }
}

TEST(WideText, DecodesToCharacters) {
    EXPECT_EQ(Platform::FromUtf8("cl\xC3\xA9"), L"cl\u00E9");
    std::wstring astral = Platform::FromUtf8("\xF0\x9F\x8E\xAC");
    EXPECT_EQ(astral.size(), sizeof(wchar_t) == 2 ? 2u : 1u);
}

}  // namespace
