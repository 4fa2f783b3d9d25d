#include "ExactBuffer.h"
#include "Settings/CSettingsObject.h"
#include "Settings/SettingsParser.h"

#include <gtest/gtest.h>

#include <limits>

TEST(SettingsWriter, Scalars)
{
    EXPECT_EQ(CSettingsBool::Create(true)->ToText(3), "true");
    EXPECT_EQ(CSettingsInteger::Create(-12)->ToText(0), "-12");
    EXPECT_EQ(CSettingsDouble::Create(1.5)->ToText(0), "1.500000");
    EXPECT_EQ(CSettingsNULL::Create()->ToText(2), "null");
    EXPECT_EQ(CSettingsString::Create("plain text: a/b {x} [y] \xC3\xA9")->ToText(0),
              "\"plain text: a/b {x} [y] \xC3\xA9\"");
    EXPECT_EQ(CSettingsBytes::Create({0, 1, 2})->ToText(5), "{\"SbyteS\":\"AAEC\"}");
    EXPECT_EQ(CSettingsBytes::Create({})->ToText(0), "{\"SbyteS\":\"\"}");
}

TEST(SettingsWriter, NestedContainersAreIndentedWithTabs)
{
    auto inner = CSettingsArray::Create();
    inner->Append(CSettingsBool::Create(true));
    auto map = CSettingsMap::Create();
    map->Set("b", inner);
    map->Set("a", CSettingsInteger::Create(1));
    EXPECT_EQ(map->ToText(0), "{\n\t\"a\": 1,\n\t\"b\": [\n\t\ttrue\n\t]\n}");
    // at level 1 every line but the first gets one more tab
    EXPECT_EQ(map->ToText(1), "{\n\t\t\"a\": 1,\n\t\t\"b\": [\n\t\t\ttrue\n\t\t]\n\t}");

    auto array = CSettingsArray::Create();
    array->Append(CSettingsInteger::Create(1));
    array->Append(CSettingsMap::Create());
    array->Append(CSettingsString::Create("s"));
    EXPECT_EQ(array->ToText(0), "[\n\t1,\n\t{\n\t},\n\t\"s\"\n]");
}

TEST(SettingsWriter, EmptyContainersReadBackEmpty)
{
    EXPECT_EQ(CSettingsArray::Create()->ToText(0), "[\n]");
    EXPECT_EQ(CSettingsMap::Create()->ToText(2), "{\n\t\t}");
    std::size_t pos = 0;
    const auto array = ParseValueExact(CSettingsArray::Create()->ToText(3), &pos);
    ASSERT_NE(AsArray(array), nullptr);
    EXPECT_EQ(AsArray(array)->Count(), 0u);
    const auto map = ParseValueExact(CSettingsMap::Create()->ToText(3));
    ASSERT_NE(AsMap(map), nullptr);
    EXPECT_EQ(AsMap(map)->Count(), 0u);
}

TEST(SettingsWriter, QuotesBackslashesAndControlBytesAreEscaped)
{
    EXPECT_EQ(QuoteSettingsString("say \"hi\""), R"("say \"hi\"")");
    EXPECT_EQ(QuoteSettingsString("C:\\dir\\"), R"("C:\\dir\\")");
    EXPECT_EQ(QuoteSettingsString("\b\f\n\r\t"), R"("\b\f\n\r\t")");
    EXPECT_EQ(QuoteSettingsString(std::string("\0\x01\x1F\x7F", 4)), R"("\u0000\u0001\u001F\u007F")");
    // bytes above 0x7F, including invalid UTF-8, go out as they are
    EXPECT_EQ(QuoteSettingsString("\x80\xFF\xC3\xA9"), "\"\x80\xFF\xC3\xA9\"");
    EXPECT_EQ(QuoteSettingsString("/"), "\"/\"");
}

TEST(SettingsWriter, KeysAreEscapedLikeStrings)
{
    auto map = CSettingsMap::Create();
    map->Set("a\"\\\n", CSettingsInteger::Create(1));
    EXPECT_EQ(map->ToText(0), "{\n\t\"a\\\"\\\\\\n\": 1\n}");
    const auto back = ParseExact(map->ToText(0));
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(back->Equals(map));
}

TEST(SettingsWriter, EveryByteValueReadsBack)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    auto array = CSettingsArray::Create();
    array->Append(CSettingsString::Create(all));
    auto map = CSettingsMap::Create();
    map->Set(all, CSettingsString::Create(all));
    array->Append(map);
    const auto back = ParseExact(array->ToText(0));
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(back->Equals(array));
}

TEST(SettingsWriter, ExtremeIntegersReadBack)
{
    auto array = CSettingsArray::Create();
    for (const std::int64_t v : {std::numeric_limits<std::int64_t>::min(), std::int64_t(-1), std::int64_t(0),
                                 std::numeric_limits<std::int64_t>::max()})
        array->Append(CSettingsInteger::Create(v));
    const auto back = ParseExact(array->ToText(0));
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(back->Equals(array));
}
