#include "StringUtils.h"

#include <gtest/gtest.h>

// The rest is checked through its users: command-line tokens, settings strings and byte strings.
TEST(StringUtils, CaseOnlyForAsciiLetters)
{
    EXPECT_FALSE(EqualsNoCase("\xC3\xA4", "\xC3\x84")); // a-umlaut vs A-umlaut in UTF-8
    EXPECT_EQ(ToLower(std::string("AbC\xC3\x84")), "abc\xC3\x84");
    EXPECT_EQ(ToLower(u"ÄBC"), u"Äbc");
    EXPECT_EQ(FindNoCase(u"xabc", u"ABC"), 1);
    EXPECT_EQ(FindNoCase(u"xabc", u"abd"), -1);
    EXPECT_EQ(FindNoCase(u"aBc abc", u"abc"), 4); // the exact match wins over an earlier folded one
}

TEST(StringUtils, Utf8AndUtf16ConvertValidTextAndReplaceInvalidInput)
{
    EXPECT_EQ(Utf8FromCodePoint(0x110000), "");
    EXPECT_EQ(Utf8FromCodePoint(-1), "");
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z"; // a é € 😀 z
    EXPECT_EQ(Utf8ToUtf16(text), u"aé€😀z");
    EXPECT_EQ(Utf16ToUtf8(u"aé€😀z"), text);
    // Conversion stops at a zero; each invalid unit becomes U+FFFD.
    const std::pair<std::string, std::u16string> invalid[] = {
        {std::string("ab\0cd", 5), u"ab"},
        {"a\xFF" "b", u"a\uFFFDb"},
        {"a\xC3", u"a\uFFFD"},                           // truncated sequence
        {"\xC0\xAF", u"\uFFFD\uFFFD"},                   // overlong form
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},         // encoded surrogate
    };
    for (const auto& [utf8, utf16] : invalid)
        EXPECT_EQ(Utf8ToUtf16(utf8), utf16) << utf8;
    EXPECT_EQ(Utf16ToUtf8(std::u16string(u"ab\0cd", 5)), "ab");
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
}
