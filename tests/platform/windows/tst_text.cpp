#include "platform/windows/text.h"

#include <gtest/gtest.h>

using Qolvi_Desktop_Agent::windows_backend::utf8FromUtf16;

namespace {

const std::string fffd = "\xEF\xBF\xBD";
const wchar_t high = 0xD83D;
const wchar_t low = 0xDE00;

// Each code point once; an unpaired surrogate, wherever it stands, is U+FFFD.
TEST(Utf8FromUtf16, ConvertsEachCodePointOnce) {
    const std::pair<std::wstring, std::string> rows[] = {
        {L"\u017c\u00f3\u0142w.exe", "\xC5\xBC\xC3\xB3\xC5\x82w.exe"},
        {L"\u65e5\u672c", "\xE6\x97\xA5\xE6\x9C\xAC"},
        {{high, low}, "\xF0\x9F\x98\x80"},
        {{wchar_t(0xDBFF), wchar_t(0xDFFF)}, "\xF4\x8F\xBF\xBF"},
        {{L'a', high}, "a" + fffd},
        {{high, L'a'}, fffd + "a"},
        {{low, L'a'}, fffd + "a"},
        {{high, high, low}, fffd + "\xF0\x9F\x98\x80"},
        {{L'a', L'\0', L'b'}, std::string("a\0b", 3)},
    };
    for (const auto &[utf16, utf8] : rows) {
        EXPECT_EQ(utf8FromUtf16(utf16), utf8);
    }
}

} // namespace
