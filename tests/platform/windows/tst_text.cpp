#include "platform/windows/text.h"

#include <gtest/gtest.h>

using Qolvi_Desktop_Agent::windows_backend::utf8FromUtf16;

namespace {

struct Conversion {
    const char *name;
    std::wstring utf16;
    std::string utf8;
};

class Utf8FromUtf16 : public testing::TestWithParam<Conversion> {};

TEST_P(Utf8FromUtf16, ConvertsEachCodePointOnce) {
    EXPECT_EQ(utf8FromUtf16(GetParam().utf16), GetParam().utf8);
}

const std::string replacement = "\xEF\xBF\xBD";

INSTANTIATE_TEST_SUITE_P(
    Texts, Utf8FromUtf16,
    testing::Values(
        Conversion{"ascii", L"notepad.exe", "notepad.exe"},
        Conversion{"twoBytes", L"\u017c\u00f3\u0142w.exe", "\xC5\xBC\xC3\xB3\xC5\x82w.exe"},
        Conversion{"threeBytes", L"\u65e5\u672c", "\xE6\x97\xA5\xE6\x9C\xAC"},
        Conversion{"surrogatePair", std::wstring{wchar_t(0xD83D), wchar_t(0xDE00)},
                   "\xF0\x9F\x98\x80"},
        Conversion{"highestCodePoint", std::wstring{wchar_t(0xDBFF), wchar_t(0xDFFF)},
                   "\xF4\x8F\xBF\xBF"},
        Conversion{"highSurrogateAtEnd", std::wstring{L'a', wchar_t(0xD83D)}, "a" + replacement},
        Conversion{"highSurrogateBeforeText", std::wstring{wchar_t(0xD83D), L'a'},
                   replacement + "a"},
        Conversion{"lowSurrogateAlone", std::wstring{wchar_t(0xDE00), L'a'}, replacement + "a"},
        Conversion{"twoHighSurrogates",
                   std::wstring{wchar_t(0xD83D), wchar_t(0xD83D), wchar_t(0xDE00)},
                   replacement + "\xF0\x9F\x98\x80"},
        Conversion{"nul", std::wstring{L'a', L'\0', L'b'}, std::string("a\0b", 3)}),
    [](const testing::TestParamInfo<Conversion> &row) { return row.param.name; });

} // namespace
