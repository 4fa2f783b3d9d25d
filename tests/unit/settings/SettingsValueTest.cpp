#include "Settings/CSettingsObject.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace
{

std::string DumpOf(const CSettingsObjectPtr& value_I)
{
    std::string text;
    value_I->Dump(text);
    return text;
}

} // namespace

TEST(SettingsValues, TypeNamesAndDisplayText)
{
    EXPECT_EQ(CSettingsBool::Create(true)->GetTypeName(), "bool");
    EXPECT_EQ(CSettingsInteger::Create(1)->GetTypeName(), "integer");
    EXPECT_EQ(CSettingsDouble::Create(1)->GetTypeName(), "double");
    EXPECT_EQ(CSettingsString::Create("")->GetTypeName(), "string");
    EXPECT_EQ(CSettingsBytes::Create({})->GetTypeName(), "bytes");
    EXPECT_EQ(CSettingsNULL::Create()->GetTypeName(), "null");
    EXPECT_EQ(CSettingsArray::Create()->GetTypeName(), "array");
    EXPECT_EQ(CSettingsMap::Create()->GetTypeName(), "map");

    EXPECT_EQ(CSettingsBool::Create(false)->ToString(), "false");
    EXPECT_EQ(CSettingsInteger::Create(-3)->ToString(), "-3");
    EXPECT_EQ(CSettingsInteger::Create(std::numeric_limits<std::int64_t>::min())->ToString(), "-9223372036854775808");
    EXPECT_EQ(CSettingsInteger::Create(std::numeric_limits<std::int64_t>::max())->ToString(), "9223372036854775807");
    EXPECT_EQ(CSettingsDouble::Create(0.1)->ToString(), "0.100000");
    EXPECT_EQ(CSettingsDouble::Create(1.5)->ToString(), "1.500000");
    EXPECT_EQ(CSettingsDouble::Create(-2.0000004)->ToString(), "-2.000000");
    EXPECT_EQ(CSettingsDouble::Create(1e20)->ToString(), "100000000000000000000.000000");
    EXPECT_EQ(CSettingsString::Create("a \"b\"\\")->ToString(), "a \"b\"\\"); // unquoted, unescaped
    EXPECT_EQ(CSettingsNULL::Create()->ToString(), "");
    EXPECT_EQ(CSettingsArray::Create()->ToString(), "");
    EXPECT_EQ(CSettingsMap::Create()->ToString(), "");
}

TEST(SettingsValues, BytesDisplayAsUnpaddedBase64)
{
    EXPECT_EQ(CSettingsBytes::Create({0x00, 0x01, 0x02})->ToString(), "AAEC");
    EXPECT_EQ(CSettingsBytes::Create({0xFF})->ToString(), "/w");
    EXPECT_EQ(CSettingsBytes::Create({0xFF, 0xFE})->ToString(), "//4");
    EXPECT_EQ(CSettingsBytes::Create({0xFB, 0xEF, 0xBE})->ToString(), "++++");
    EXPECT_EQ(CSettingsBytes::Create({})->ToString(), "");
}

TEST(SettingsValues, DumpForms)
{
    EXPECT_EQ(DumpOf(CSettingsBool::Create(true)), "bool[true]");
    EXPECT_EQ(DumpOf(CSettingsInteger::Create(-3)), "integer[-3]");
    EXPECT_EQ(DumpOf(CSettingsString::Create("abc")), "string[abc]");
    EXPECT_EQ(DumpOf(CSettingsBytes::Create({0, 1, 2})), "bytes[AAEC]");
    EXPECT_EQ(DumpOf(CSettingsDouble::Create(2.5)), "double[2.500000]");
    EXPECT_EQ(DumpOf(CSettingsNULL::Create()), "null[]");

    auto array = CSettingsArray::Create();
    EXPECT_EQ(DumpOf(array), "array[]");
    array->Append(CSettingsInteger::Create(5));
    array->Append(CSettingsInteger::Create(6));
    EXPECT_EQ(DumpOf(array), "array[0:integer[5], 1:integer[6]]");

    auto map = CSettingsMap::Create();
    EXPECT_EQ(DumpOf(map), "map[]");
    map->Set("b", CSettingsNULL::Create());
    map->Set("a", array);
    EXPECT_EQ(DumpOf(map), "map[a:array[0:integer[5], 1:integer[6]], b:null[]]");

    // Dump appends; it does not replace.
    std::string text = "x=";
    CSettingsBool::Create(false)->Dump(text);
    EXPECT_EQ(text, "x=bool[false]");
}

TEST(SettingsValues, MapKeysIterateInByteOrder)
{
    auto map = CSettingsMap::Create();
    map->Set("b", CSettingsInteger::Create(1));
    map->Set("a", CSettingsInteger::Create(2));
    map->Set("B", CSettingsInteger::Create(3));
    map->Set("\xC3\xA4", CSettingsInteger::Create(4)); // bytes above 0x7F sort after ASCII
    std::vector<std::string> keys;
    for (const auto& entry : map->Entries())
        keys.push_back(entry.first);
    EXPECT_EQ(keys, (std::vector<std::string> {"B", "a", "b", "\xC3\xA4"}));
    EXPECT_EQ(DumpOf(map), "map[B:integer[3], a:integer[2], b:integer[1], \xC3\xA4:integer[4]]");
}

TEST(SettingsValues, StoredNullReadsAsAbsent)
{
    auto map = CSettingsMap::Create();
    map->Set("n", CSettingsNULL::Create());
    EXPECT_EQ(map->Get("n"), nullptr);
    EXPECT_EQ(map->Get("missing"), nullptr);
    EXPECT_EQ(map->GetString("n", "dflt"), "dflt");
    EXPECT_EQ(map->Count(), 1u); // still stored

    auto array = CSettingsArray::Create();
    array->Append(CSettingsNULL::Create());
    array->Append(CSettingsBool::Create(true));
    EXPECT_EQ(array->Count(), 2u);
    EXPECT_EQ(array->Get(0), nullptr);
    ASSERT_NE(array->Get(1), nullptr);
    EXPECT_EQ(array->Get(1)->ToString(), "true");
    EXPECT_EQ(array->Get(2), nullptr);
    EXPECT_EQ(array->Get(static_cast<std::size_t>(-1)), nullptr);
}

TEST(SettingsValues, TypedAccessorsNeverConvert)
{
    auto map = CSettingsMap::Create();
    map->Set("int", CSettingsInteger::Create(1));
    map->Set("dbl", CSettingsDouble::Create(2.0));
    map->Set("str", CSettingsString::Create("true"));
    map->Set("bool", CSettingsBool::Create(true));

    EXPECT_EQ(map->GetInteger("int", 7), 1);
    EXPECT_EQ(map->GetInteger("dbl", 7), 7);
    EXPECT_EQ(map->GetInteger("str", 7), 7);
    EXPECT_FALSE(map->GetBool("int", false));
    EXPECT_FALSE(map->GetBool("str", false));
    EXPECT_TRUE(map->GetBool("bool", false));
    EXPECT_EQ(map->GetString("int", "d"), "d");
    EXPECT_EQ(map->GetString("str", "d"), "true");
}

TEST(SettingsValues, SetReplacesTheEarlierValue)
{
    auto map = CSettingsMap::Create();
    map->Set("k", CSettingsInteger::Create(1));
    map->Set("k", CSettingsString::Create("two"));
    EXPECT_EQ(map->Count(), 1u);
    EXPECT_EQ(map->GetString("k", ""), "two");
}

TEST(SettingsValues, EqualsDecidesByClassAndPayload)
{
    EXPECT_FALSE(CSettingsInteger::Create(1)->Equals(CSettingsDouble::Create(1.0)));
    EXPECT_FALSE(CSettingsDouble::Create(1.0)->Equals(CSettingsInteger::Create(1)));
    EXPECT_FALSE(CSettingsBool::Create(true)->Equals(CSettingsInteger::Create(1)));
    EXPECT_FALSE(CSettingsString::Create("AAEC")->Equals(CSettingsBytes::Create({0, 1, 2})));
    EXPECT_FALSE(CSettingsInteger::Create(1)->Equals(nullptr));
    EXPECT_FALSE(CSettingsNULL::Create()->Equals(nullptr));
    EXPECT_TRUE(CSettingsNULL::Create()->Equals(CSettingsNULL::Create()));
    EXPECT_TRUE(CSettingsDouble::Create(0.0)->Equals(CSettingsDouble::Create(-0.0)));
    EXPECT_TRUE(CSettingsString::Create(std::string("a\0b", 3))->Equals(CSettingsString::Create(std::string("a\0b", 3))));
    EXPECT_FALSE(CSettingsString::Create(std::string("a\0b", 3))->Equals(CSettingsString::Create("a")));
    EXPECT_FALSE(CSettingsBytes::Create({1})->Equals(CSettingsBytes::Create({1, 0})));

    auto a = CSettingsArray::Create();
    auto b = CSettingsArray::Create();
    EXPECT_TRUE(a->Equals(b));
    EXPECT_FALSE(a->Equals(CSettingsMap::Create()));
    a->Append(CSettingsInteger::Create(1));
    EXPECT_FALSE(a->Equals(b));
    b->Append(CSettingsInteger::Create(2));
    EXPECT_FALSE(a->Equals(b));

    auto m1 = CSettingsMap::Create();
    auto m2 = CSettingsMap::Create();
    m1->Set("x", CSettingsInteger::Create(1));
    m2->Set("y", CSettingsInteger::Create(1));
    EXPECT_FALSE(m1->Equals(m2)); // same count, different keys
    m2 = CSettingsMap::Create();
    m2->Set("x", CSettingsInteger::Create(1));
    EXPECT_TRUE(m1->Equals(m2));
}

TEST(SettingsValues, ContainersHoldingNullEqualTheirClones)
{
    auto map = CSettingsMap::Create();
    map->Set("n", CSettingsNULL::Create());
    auto array = CSettingsArray::Create();
    array->Append(CSettingsNULL::Create());
    map->Set("a", array);
    EXPECT_TRUE(map->Equals(map));
    EXPECT_TRUE(map->Equals(map->Clone()));

    // A null is not the same as another value under the same key.
    auto other = CSettingsMap::Create();
    other->Set("n", CSettingsInteger::Create(0));
    other->Set("a", array);
    EXPECT_FALSE(map->Equals(other));
    EXPECT_FALSE(other->Equals(map));
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
    EXPECT_NE(copy->Get("inner").get(), inner.get());
    EXPECT_NE(copy->Get("bytes").get(), map->Get("bytes").get());

    inner->Append(CSettingsBool::Create(true)); // changing the original leaves the clone alone
    EXPECT_FALSE(copy->Equals(map));
    EXPECT_EQ(AsArray(copy->Get("inner"))->Count(), 1u);
}

TEST(SettingsValues, TypedViews)
{
    const CSettingsObjectPtr array = CSettingsArray::Create();
    const CSettingsObjectPtr map = CSettingsMap::Create();
    EXPECT_EQ(AsArray(array).get(), array.get());
    EXPECT_EQ(AsMap(map).get(), map.get());
    EXPECT_EQ(AsArray(map), nullptr);
    EXPECT_EQ(AsMap(array), nullptr);
    EXPECT_EQ(AsMap(CSettingsString::Create("map")), nullptr);
    EXPECT_EQ(AsArray(nullptr), nullptr);
    EXPECT_EQ(AsMap(nullptr), nullptr);
}

TEST(SettingsValues, SharedFromThisHandsOutTheOwningPointer)
{
    const auto value = CSettingsInteger::Create(4);
    EXPECT_EQ(value->shared_from_this().get(), value.get());
    EXPECT_EQ(value.use_count(), 1);
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

    std::string dump;
    array->Dump(dump);
    map->Dump(dump);
    EXPECT_EQ(dump, "array[1:integer[1]]map[f:integer[2]]");
    std::vector<std::uint8_t> bytes;
    array->Encode(bytes);
    map->Encode(bytes);
    EXPECT_EQ(bytes, (std::vector<std::uint8_t> {0x62, 0x80, 0x02, 0x01, 0x01, 0x00, 0x00,
                                                 0x60, 0x80, 0x0C, 0x01, 'f', 0x02, 0x01, 0x02, 0x00, 0x00}));
    EXPECT_EQ(array->ToText(0), "[\n\t1\n]");
    EXPECT_EQ(map->ToText(0), "{\n\t\"f\": 2\n}");
    EXPECT_TRUE(array->Equals(array->Clone()));
    EXPECT_TRUE(map->Equals(map->Clone()));
    EXPECT_EQ(array->Get(0), nullptr);
    EXPECT_EQ(map->Get("e"), nullptr);

    const auto lines = capture.Lines();
    ASSERT_FALSE(lines.empty());
    auto has = [&](const std::string& text) {
        for (const auto& line : lines)
            if (line.rfind("Assert:(" + text + ") in ", 0) == 0)
                return true;
        return false;
    };
    EXPECT_TRUE(has("object"));
    EXPECT_TRUE(has("obj"));
    EXPECT_TRUE(has("obj.second"));
    EXPECT_TRUE(has("mObjectVector[i]"));
    EXPECT_TRUE(has("mine"));
}
