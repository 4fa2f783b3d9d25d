// The settings values: their display, dump, text and binary forms, accessors, equality, copies.

#include "ASN1Coding.h"
#include "ExactBuffer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <limits>

namespace
{

using Bytes = std::vector<std::uint8_t>;

Bytes EncodingOf(const CSettingsObjectPtr& value_I, Bytes bytes_I = {})
{
    value_I->Encode(bytes_I);
    return bytes_I;
}

const std::int64_t kMin = std::numeric_limits<std::int64_t>::min(), kMax = std::numeric_limits<std::int64_t>::max();

} // namespace

TEST(SettingsValues, FormsOfEachScalarAndEmptyContainer)
{
    const Bytes none; // encoding not checked
    const struct
    {
        CSettingsObjectPtr value;
        std::string display, dump, text;
        Bytes encoding;
    } cases[] = {
        {CSettingsBool::Create(true), "true", "bool[true]", "true", {0x01, 0x01, 0x01}},
        {CSettingsBool::Create(false), "false", "bool[false]", "false", {0x01, 0x01, 0x00}},
        // Integers take as many octets as their unsigned view needs.
        {CSettingsInteger::Create(0), "0", "integer[0]", "0", {0x02, 0x01, 0x00}},
        {CSettingsInteger::Create(128), "128", "integer[128]", "128", {0x02, 0x01, 0x80}},
        {CSettingsInteger::Create(255), "255", "integer[255]", "255", {0x02, 0x01, 0xFF}},
        {CSettingsInteger::Create(300), "300", "integer[300]", "300", {0x02, 0x02, 0x01, 0x2C}},
        {CSettingsInteger::Create(1LL << 32), "4294967296", "integer[4294967296]", "4294967296",
         {0x02, 0x05, 0x01, 0, 0, 0, 0}},
        {CSettingsInteger::Create(-3), "-3", "integer[-3]", "-3", {0x02, 0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFD}},
        {CSettingsInteger::Create(kMin), "-9223372036854775808", "integer[-9223372036854775808]", "-9223372036854775808",
         {0x02, 0x08, 0x80, 0, 0, 0, 0, 0, 0, 0}},
        {CSettingsInteger::Create(kMax), "9223372036854775807", "integer[9223372036854775807]", "9223372036854775807",
         {0x02, 0x08, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {CSettingsDouble::Create(1.0), "1.000000", "double[1.000000]", "1.000000", {0x41, 0x08, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0}},
        {CSettingsDouble::Create(-2.5), "-2.500000", "double[-2.500000]", "-2.500000",
         {0x41, 0x08, 0xC0, 0x04, 0, 0, 0, 0, 0, 0}},
        {CSettingsDouble::Create(0.1), "0.100000", "double[0.100000]", "0.100000", none},
        {CSettingsDouble::Create(-2.0000004), "-2.000000", "double[-2.000000]", "-2.000000", none},
        {CSettingsDouble::Create(1e20), "100000000000000000000.000000", "double[100000000000000000000.000000]",
         "100000000000000000000.000000", none},
        {CSettingsString::Create("ab"), "ab", "string[ab]", "\"ab\"", {0x0C, 0x02, 'a', 'b'}},
        {CSettingsString::Create(""), "", "string[]", "\"\"", {0x0C, 0x00}},
        {CSettingsString::Create("a \"b\"\\"), "a \"b\"\\", "string[a \"b\"\\]", R"("a \"b\"\\")", none},
        {CSettingsString::Create("a/b {x} [y] \xC3\xA9"), "a/b {x} [y] \xC3\xA9", "string[a/b {x} [y] \xC3\xA9]",
         "\"a/b {x} [y] \xC3\xA9\"", none},
        // Byte strings show as unpadded Base64.
        {CSettingsBytes::Create({0, 1, 2}), "AAEC", "bytes[AAEC]", "{\"SbyteS\":\"AAEC\"}", {0x04, 0x03, 0, 1, 2}},
        {CSettingsBytes::Create({0xFF}), "/w", "bytes[/w]", "{\"SbyteS\":\"/w\"}", {0x04, 0x01, 0xFF}},
        {CSettingsBytes::Create({0xFF, 0xFE}), "//4", "bytes[//4]", "{\"SbyteS\":\"//4\"}", none},
        {CSettingsBytes::Create({0xFB, 0xEF, 0xBE}), "++++", "bytes[++++]", "{\"SbyteS\":\"++++\"}", none},
        {CSettingsBytes::Create({}), "", "bytes[]", "{\"SbyteS\":\"\"}", {0x04, 0x00}},
        {CSettingsNULL::Create(), "", "null[]", "null", {0x05, 0x00}},
        {CSettingsArray::Create(), "", "array[]", "[\n]", {0x62, 0x80, 0x00, 0x00}},
        {CSettingsMap::Create(), "", "map[]", "{\n}", {0x60, 0x80, 0x00, 0x00}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.dump);
        EXPECT_EQ(row.value->ToString(), row.display);
        EXPECT_EQ(DumpOf(row.value), row.dump);
        EXPECT_EQ(row.value->ToText(0), row.text);
        if (!row.encoding.empty()) {
            EXPECT_EQ(EncodingOf(row.value), row.encoding);
        }
        EXPECT_EQ(DumpOf(ParseValueExact(row.text)), row.dump) << "the text reads back";
    }
    // Lengths from 128 on take a length-of-length octet.
    const Bytes long200 = EncodingOf(CSettingsString::Create(std::string(200, 'x')));
    EXPECT_EQ(Bytes(long200.begin(), long200.begin() + 3), (Bytes {0x0C, 0x81, 0xC8}));
    EXPECT_EQ(long200.size(), 203u);
    const Bytes bytes300 = EncodingOf(CSettingsBytes::Create(Bytes(300, 7)));
    EXPECT_EQ(Bytes(bytes300.begin(), bytes300.begin() + 4), (Bytes {0x04, 0x82, 0x01, 0x2C}));
    EXPECT_EQ(bytes300.size(), 304u);
}

TEST(SettingsValues, ContainersListMembersInKeyByteOrderIndentedWithTabs)
{
    auto array = CSettingsArray::Create();
    array->Append(CSettingsBool::Create(true));
    array->Append(CSettingsMap::Create());
    auto map = CSettingsMap::Create();
    map->Set("b", CSettingsNULL::Create());
    map->Set("a", array);
    map->Set("B", CSettingsInteger::Create(3));
    map->Set("\xC3\xA4", CSettingsString::Create("s")); // bytes above 0x7F sort after ASCII
    EXPECT_EQ(DumpOf(map), "map[B:integer[3], a:array[0:bool[true], 1:map[]], b:null[], \xC3\xA4:string[s]]");
    EXPECT_EQ(map->ToText(0), "{\n\t\"B\": 3,\n\t\"a\": [\n\t\ttrue,\n\t\t{\n\t\t}\n\t],\n\t\"b\": null,\n\t\"\xC3\xA4\": \"s\"\n}");
    // at level 1 every line but the first gets one more tab
    EXPECT_EQ(array->ToText(1), "[\n\t\ttrue,\n\t\t{\n\t\t}\n\t]");
    EXPECT_EQ(EncodingOf(map, {0xAA}), (Bytes {0xAA, 0x60, 0x80, 0x0C, 0x01, 'B', 0x02, 0x01, 0x03, 0x0C, 0x01, 'a', 0x62,
                                              0x80, 0x01, 0x01, 0x01, 0x60, 0x80, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x01, 'b',
                                              0x05, 0x00, 0x0C, 0x02, 0xC3, 0xA4, 0x0C, 0x01, 's', 0x00, 0x00}));
    const auto back = ParseExact(map->ToText(2));
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(back->Equals(map));
}

TEST(SettingsValues, AccessorsReadAStoredNullAsAbsentAndNeverConvert)
{
    auto map = CSettingsMap::Create();
    map->Set("n", CSettingsNULL::Create());
    map->Set("int", CSettingsString::Create("replaced"));
    map->Set("int", CSettingsInteger::Create(1));
    map->Set("str", CSettingsString::Create("true"));
    map->Set("bool", CSettingsBool::Create(true));
    EXPECT_EQ(map->Count(), 4u); // the null is still stored
    EXPECT_EQ(map->Get("n"), nullptr);
    EXPECT_EQ(map->Get("missing"), nullptr);
    EXPECT_EQ(map->GetString("n", "d"), "d");
    EXPECT_EQ(map->GetInteger("int", 7), 1);
    EXPECT_EQ(map->GetInteger("str", 7), 7);
    EXPECT_TRUE(map->GetBool("bool", false));
    EXPECT_FALSE(map->GetBool("int", false));
    EXPECT_FALSE(map->GetBool("str", false));
    EXPECT_EQ(map->GetString("int", "d"), "d");
    EXPECT_EQ(map->GetString("str", "d"), "true");
    auto array = CSettingsArray::Create();
    array->Append(CSettingsNULL::Create());
    array->Append(CSettingsBool::Create(true));
    EXPECT_EQ(array->Count(), 2u);
    EXPECT_EQ(array->Get(0), nullptr);
    EXPECT_EQ(DumpOf(array->Get(1)), "bool[true]");
    EXPECT_EQ(array->Get(2), nullptr);
    EXPECT_EQ(array->Get(static_cast<std::size_t>(-1)), nullptr);
    EXPECT_EQ(AsArray(map), nullptr);
    EXPECT_EQ(AsMap(array), nullptr);
    EXPECT_EQ(AsMap(CSettingsString::Create("map")), nullptr);
    EXPECT_EQ(AsArray(nullptr), nullptr);
}

TEST(SettingsValues, EqualsComparesClassPayloadAndStoredMembers)
{
    auto withNull = CSettingsMap::Create();
    withNull->Set("n", CSettingsNULL::Create());
    auto withZero = CSettingsMap::Create();
    withZero->Set("n", CSettingsInteger::Create(0));
    auto x1 = CSettingsMap::Create(), y1 = CSettingsMap::Create();
    auto arrayOfNull = CSettingsArray::Create();
    x1->Set("x", CSettingsInteger::Create(1));
    y1->Set("y", CSettingsInteger::Create(1));
    arrayOfNull->Append(CSettingsNULL::Create());
    withNull->Set("a", arrayOfNull);
    withZero->Set("a", arrayOfNull);
    const struct
    {
        CSettingsObjectPtr a, b;
        bool equal;
    } cases[] = {
        {CSettingsInteger::Create(1), CSettingsDouble::Create(1.0), false},
        {CSettingsDouble::Create(1.0), CSettingsInteger::Create(1), false},
        {CSettingsBool::Create(true), CSettingsInteger::Create(1), false},
        {CSettingsString::Create("AAEC"), CSettingsBytes::Create({0, 1, 2}), false},
        {CSettingsInteger::Create(1), nullptr, false},
        {CSettingsNULL::Create(), nullptr, false},
        {CSettingsNULL::Create(), CSettingsNULL::Create(), true},
        {CSettingsDouble::Create(0.0), CSettingsDouble::Create(-0.0), true},
        {CSettingsString::Create(std::string("a\0b", 3)), CSettingsString::Create(std::string("a\0b", 3)), true},
        {CSettingsString::Create(std::string("a\0b", 3)), CSettingsString::Create("a"), false},
        {CSettingsBytes::Create({1}), CSettingsBytes::Create({1, 0}), false},
        {CSettingsArray::Create(), CSettingsArray::Create(), true},
        {CSettingsArray::Create(), CSettingsMap::Create(), false},
        {arrayOfNull, CSettingsArray::Create(), false},
        {x1, y1, false}, // same count, different keys
        {x1, x1->Clone(), true},
        // Containers holding null compare their stored members.
        {withNull, withNull, true},
        {withNull, withNull->Clone(), true},
        {withNull, withZero, false},
        {withZero, withNull, false},
    };
    for (const auto& row : cases)
        EXPECT_EQ(row.a->Equals(row.b), row.equal) << DumpOf(row.a) << " vs " << DumpOf(row.b);
}

TEST(SettingsValues, CloneIsDeep)
{
    auto inner = CSettingsArray::Create();
    inner->Append(CSettingsString::Create("s"));
    auto map = CSettingsMap::Create();
    map->Set("inner", inner);
    map->Set("bytes", CSettingsBytes::Create({9, 8}));
    const auto copy = AsMap(map->Clone());
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(copy->Equals(map));
    EXPECT_NE(copy->Get("bytes").get(), map->Get("bytes").get());
    inner->Append(CSettingsBool::Create(true)); // changing the original leaves the clone alone
    EXPECT_FALSE(copy->Equals(map));
    EXPECT_EQ(AsArray(copy->Get("inner"))->Count(), 1u);
}

TEST(SettingsValues, EmptyMembersAreReportedAndSurvived)
{
    CDiagnosticCapture capture;
    auto array = CSettingsArray::Create();
    array->Append(nullptr);
    array->Append(CSettingsInteger::Create(1));
    auto map = CSettingsMap::Create();
    map->Set("e", nullptr);
    map->Set("f", CSettingsInteger::Create(2));
    EXPECT_EQ(DumpOf(array) + DumpOf(map), "array[1:integer[1]]map[f:integer[2]]");
    EXPECT_EQ(EncodingOf(map, EncodingOf(array)), (Bytes {0x62, 0x80, 0x02, 0x01, 0x01, 0x00, 0x00, 0x60, 0x80, 0x0C,
                                                         0x01, 'f', 0x02, 0x01, 0x02, 0x00, 0x00}));
    EXPECT_EQ(array->ToText(0), "[\n\t1\n]");
    EXPECT_EQ(map->ToText(0), "{\n\t\"f\": 2\n}");
    EXPECT_TRUE(array->Equals(array->Clone()));
    EXPECT_TRUE(map->Equals(map->Clone()));
    std::string reported;
    for (const auto& line : capture.Lines())
        reported += line.substr(0, line.find(" in ")) + "\n";
    for (const char* text : {"object", "obj", "obj.second", "mObjectVector[i]", "mine"})
        EXPECT_NE(reported.find("Assert:(" + std::string(text) + ")\n"), std::string::npos) << text;
}

TEST(SettingsWriter, QuotesBackslashesAndControlBytesAreEscapedInStringsAndKeys)
{
    const std::pair<std::string, std::string> cases[] = {
        {"say \"hi\"", R"("say \"hi\"")"}, {"C:\\dir\\", R"("C:\\dir\\")"}, {"\b\f\n\r\t", R"("\b\f\n\r\t")"},
        {std::string("\0\x01\x1F\x7F", 4), R"("\u0000\u0001\u001F\u007F")"},
        {"\x80\xFF\xC3\xA9", "\"\x80\xFF\xC3\xA9\""}, // bytes above 0x7F, valid UTF-8 or not, as they are
        {"/", "\"/\""},
    };
    for (const auto& [text, quoted] : cases)
        EXPECT_EQ(QuoteSettingsString(text), quoted);
    auto map = CSettingsMap::Create();
    map->Set("a\"\\\n", CSettingsInteger::Create(1));
    EXPECT_EQ(map->ToText(0), "{\n\t\"a\\\"\\\\\\n\": 1\n}");
}

TEST(ASN1Coding, IdentifierAndLengthOctets)
{
    using namespace ASN1;
    for (std::uint32_t tag : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 9u, 10u, 12u, 24u})
        EXPECT_EQ(IdentifierOctet(eClassUniversal, tag), tag) << "primitive " << tag;
    for (std::uint32_t tag : {8u, 11u, 13u, 16u, 17u, 23u, 25u, 30u})
        EXPECT_EQ(IdentifierOctet(eClassUniversal, tag), tag | kConstructedBit) << "constructed " << tag;
    EXPECT_EQ(IdentifierOctet(eClassApplication, 1), 0x41); // the one primitive application tag
    CDiagnosticCapture capture;
    const std::uint8_t octet = IdentifierOctet(eClassApplication, 31);
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_EQ(capture.Lines()[0].rfind("Assert:(eType <= eTypeMAX_VALUE) in ", 0), 0u);
    EXPECT_EQ(octet & 0xE0, 0x60); // still one octet of the requested class

    const std::pair<std::uint64_t, Bytes> lengths[] = {
        {0, {0x00}}, {127, {0x7F}}, {128, {0x81, 0x80}}, {255, {0x81, 0xFF}}, {256, {0x82, 0x01, 0x00}},
        {0x10000, {0x83, 0x01, 0x00, 0x00}}, {0x12345678, {0x84, 0x12, 0x34, 0x56, 0x78}},
        {~0ULL, {0x88, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
    };
    for (const auto& [length, octets] : lengths)
        EXPECT_EQ(LengthOctets(length), octets) << length;
}
