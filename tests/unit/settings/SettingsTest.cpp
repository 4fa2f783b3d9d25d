// The settings values, reader and writer. Texts are parsed from heap blocks of exactly their size,
// with no terminator behind, so AddressSanitizer catches a read one byte past the end.

#include "Settings/SettingsParser.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace
{

using Bytes = std::vector<std::uint8_t>;
const std::int64_t kMin = INT64_MIN;
const std::int64_t kMax = INT64_MAX;
const char* const E = "<empty>";

CSettingsObjectPtr ParseExact(const std::string& text_I, std::size_t* valueEnd_O = nullptr)
{
    const auto copy = std::make_unique<char[]>(std::max<std::size_t>(text_I.size(), 1)); // exactly its size
    std::copy(text_I.begin(), text_I.end(), copy.get());
    const std::string_view exact(copy.get(), text_I.size());
    if (!valueEnd_O)
        return ParseSettings(exact);
    *valueEnd_O = 0;
    return ParseValue(exact, *valueEnd_O); // a single value, not a document
}

std::string DumpOf(const CSettingsObjectPtr& value_I)
{
    std::string text;
    return value_I ? (value_I->Dump(text), text) : E;
}

Bytes EncodingOf(const CSettingsObjectPtr& value_I, Bytes bytes_I = {})
{
    value_I->Encode(bytes_I);
    return bytes_I;
}

// Trees rich in quotes, backslashes, control and high bytes; without what the text cannot carry:
// doubles six decimals cannot hold, empty keys, a map whose only key is "SbyteS", top-level scalars.
class CTreeGenerator
{
public:
    explicit CTreeGenerator(std::uint32_t seed_I) : mRandom(seed_I) {}
    CSettingsObjectPtr Document() { return Pick(2) == 0 ? Array(0) : Map(0); }

private:
    template <typename T>
    T Draw(T low_I, T high_I) { return std::uniform_int_distribution<T>(low_I, high_I)(mRandom); }
    std::uint32_t Pick(std::uint32_t count_I) { return Draw<std::uint32_t>(0, count_I - 1); }

    std::string Text(bool forKey_I)
    {
        static const char kInteresting[] = "\"\\/bfnrtu0{}[],: SbyteS";
        std::string text(forKey_I ? 1 + Pick(8) : Pick(24), ' ');
        for (char& c : text) {
            const std::uint32_t kind = Pick(4);
            c = static_cast<char>(kind == 0   ? kInteresting[Pick(sizeof(kInteresting) - 1)]
                                  : kind == 1 ? Pick(0x20) // control bytes, NUL included
                                  : kind == 2 ? 0x20 + Pick(0x60)
                                              : Pick(256));
        }
        return text;
    }

    CSettingsObjectPtr Scalar()
    {
        static const std::int64_t kEdges[] = {kMin, kMax, 0, -1, 1};
        switch (Pick(7)) {
        case 0: return CSettingsBool::Create(Pick(2) == 1);
        case 1:
            return CSettingsInteger::Create(Pick(3) == 0 ? kEdges[Pick(5)] : Draw<std::int64_t>(kMin, kMax));
        case 2: return CSettingsDouble::Create(double(Draw<std::int64_t>(-(1LL << 40), 1LL << 40)) / 64);
        case 3: return CSettingsString::Create(Text(false));
        case 4: {
            Bytes bytes(Pick(20));
            for (auto& b : bytes)
                b = static_cast<std::uint8_t>(Pick(256));
            return CSettingsBytes::Create(std::move(bytes));
        }
        case 5: return CSettingsNULL::Create();
        default: return CSettingsString::Create("");
        }
    }

    CSettingsObjectPtr Value(int depth_I)
    {
        const std::uint32_t kind = depth_I < 5 ? Pick(6) : 6;
        return kind == 0 ? Array(depth_I + 1) : kind == 1 ? Map(depth_I + 1) : Scalar();
    }
    CSettingsObjectPtr Array(int depth_I)
    {
        auto array = CSettingsArray::Create();
        for (std::uint32_t i = Pick(6); i > 0; --i)
            array->Append(Value(depth_I));
        return array;
    }

    CSettingsObjectPtr Map(int depth_I)
    {
        auto map = CSettingsMap::Create();
        for (std::uint32_t i = Pick(6); i > 0; --i)
            map->Set(Pick(8) == 0 ? std::string("SbyteS") : Text(true), Value(depth_I));
        if (map->Count() == 1 && map->Entries().begin()->first == "SbyteS")
            map->Set(Text(true) + "#", Value(depth_I)); // "#" keeps the new key distinct
        return map;
    }

    std::mt19937 mRandom;
};

} // namespace

TEST(SettingsProperty, RandomTreesReadBackEqualWriteTheSameTextAndCloneAlike)
{
    std::size_t bytesWritten = 0;
    for (std::uint32_t seed = 1; seed <= 3000; ++seed) {
        const CSettingsObjectPtr tree = CTreeGenerator(seed).Document();
        const std::string text = tree->ToText(0);
        bytesWritten += text.size();
        const CSettingsObjectPtr back = ParseExact(text);
        ASSERT_NE(back, nullptr) << "seed " << seed << "\n" << text;
        ASSERT_TRUE(tree->Equals(back) && back->Equals(tree)) << "seed " << seed << "\n" << text;
        ASSERT_EQ(back->ToText(0), text) << "seed " << seed;
        const CSettingsObjectPtr copy = tree->Clone();
        ASSERT_TRUE(copy->Equals(tree) && EncodingOf(copy) == EncodingOf(tree)) << seed;
        ASSERT_EQ(DumpOf(copy), DumpOf(tree)) << seed;
    }
    EXPECT_GT(bytesWritten, 100000u); // the trees are not trivially small
}

TEST(SettingsParser, Documents)
{
    struct DocumentCase
    {
        const char* text;
        const char* dump;
        std::size_t strays = 0; // each stray byte is reported once and skipped
    };
    const DocumentCase cases[] = {
        {"12", E, 2}, {"x [1]", "array[0:integer[1]]", 1}, {"[ @# 1 ]", "array[0:integer[1]]", 2},
        {"", E}, {" \t\r\n// only a comment\n  // and another", E}, {"{}", "map[]"}, {"[ \n\t ]", "array[]"},
        {"[[],{}]", "array[0:array[], 1:map[]]"},
        {"[1] {\"a\":2} garbage ]]]", "array[0:integer[1]]"}, // only the first document counts
        {"// head\n[ // first\n 1, // second\n 2 // last\n]", "array[0:integer[1], 1:integer[2]]"},
        {"{ // c\n\"a\" // c\n : // c\n 1 // c\n}", "map[a:integer[1]]"},
        {"[1] //", "array[0:integer[1]]"}, {"[\"a//b\"]", "array[0:string[a//b]]"},
        {"{\"a\"}", "map[]"}, {"{\"a\":}", "map[]"}, // an unfinished member is dropped
        {"{\"a\":1,}", "map[a:integer[1]]"}, {"[1,]", "array[0:integer[1]]"},
        {"{\"a\":1,\"a\":2}", "map[a:integer[2]]"}, // the later value wins
        {"[true,false,null]", "array[0:bool[true], 1:bool[false], 2:null[]]"},
        {"{\"a\\\"b\":1}", "map[a\"b:integer[1]]"}, {"{\"\\u0041\":1}", "map[A:integer[1]]"}, // string keys
        {"{\"SbyteS\":\"/w\"}", "map[SbyteS:bytes[/w]]"}, // a document is never unwrapped to bytes
        // Malformed, and reported by nothing but the empty result.
        {"{\"a\":1 \"b\":2}", E}, {"{\"\":1}", E}, {"{a:1}", E}, {"{\"a\" 1}", E}, {"{\"a\":1:2}", E},
        {"{\"a\":1,", E}, {"[1,,2]", E}, {"[1 2]", E}, {"[1,", E}, {"{,}", E}, {"{\"a\",}", E}, {"[,1]", E},
    };
    for (const auto& [text, dump, count] : cases) {
        CDiagnosticCapture capture;
        EXPECT_EQ(DumpOf(ParseExact(text)), dump) << text;
        EXPECT_EQ(capture.Lines().size(), count) << text;
    }
    for (const char* text : {"\"string\"", "[1 // ]", "{/}", "{\"a\":,}", "{\"a\":1", "{", "[1", "[", "[truex]",
                             "[x]", "[True]", "[1+2]", "[{\"ok\":1},{\"deep\":[1,,2]}]", "{\"\\q\":1}",
                             "[\"\\u12\"]", "{\"a\":{\"b\":{\"c\":\"unterminated}}}", "{\"k\\u00",
                             // keywords cut by the end of the buffer
                             "[t", "[tr", "[tru", "[f", "[fal", "[fals", "[n", "[nu", "[nul", "{\"a\":tru",
                             "{\"a\":fals", "{\"a\":nul"})
        EXPECT_EQ(ParseExact(text), nullptr) << text;
}

TEST(SettingsParser, SingleElements)
{
    const std::pair<const char*, const char*> cases[] = {
        {"true", "bool[true]"}, {"false", "bool[false]"}, {"null", "null[]"}, {"0", "integer[0]"},
        {"-12", "integer[-12]"}, {"007", "integer[7]"}, {"9223372036854775807", "integer[9223372036854775807]"},
        {"-9223372036854775808", "integer[-9223372036854775808]"},
        {"9223372036854775808", "integer[0]"}, {"-9223372036854775809", "integer[0]"}, // out of range
        {"99999999999999999999999", "integer[0]"}, {"-", "integer[0]"}, {"--4", "integer[0]"},
        {"12-3", "integer[12]"}, // the conversion stops at the "-"
        {"1.5e3", "double[1500.000000]"}, {"1e", "double[1.000000]"}, {"-.", "double[0.000000]"},
        {"-.5", "double[-0.500000]"}, {"2.", "double[2.000000]"}, {"1E-2", "double[0.010000]"},
        {"1e+2", "double[100.000000]"}, {"1.2.3", "double[1.200000]"}, {"1e999", "double[0.000000]"},
        {"-1e999", "double[0.000000]"}, {R"("\"\\\/\b\f\n\r\t")", "string[\"\\/\b\f\n\r\t]"},
        // A byte string is converted at "}" only while the map is still empty.
        {"{\"SbyteS\":\"AAEC\"}", "bytes[AAEC]"},
        {"{\"SbyteS\":\"AAEC\",\"x\":1}", "map[SbyteS:string[AAEC], x:integer[1]]"},
        {"{\"x\":1,\"SbyteS\":\"AAEC\"}", "map[SbyteS:string[AAEC], x:integer[1]]"},
        {"{\"SbyteS\":\"AA==\"}", "bytes[]"}, // padding or any foreign character: no bytes at all
        {"{\"SbyteS\":\"\"}", "bytes[]"}, {"{\"SbyteS\":1}", "bytes[]"},
        {"{\"SbyteS\":true}", "bytes[true]"}, // decoded from the display text: four valid characters
    };
    for (const auto& [text, dump] : cases) {
        const auto array = AsArray(ParseExact("[" + std::string(text) + "]"));
        ASSERT_EQ(array ? array->Count() : 0, 1u) << text;
        EXPECT_EQ(DumpOf(array->Elements()[0]), dump) << text;
    }
}

TEST(SettingsParser, ValuesStopWithinTheBuffer)
{
    const std::tuple<std::string, std::string, std::size_t> cases[] = {
        {"{\"SbyteS\":\"AAEC\"}", "bytes[AAEC]", 17}, {"tru", E, 3}, {"true", "bool[true]", 4},
        {"false", "bool[false]", 5}, {"null", "null[]", 4}, {"\"a\\u00e9b\"", "string[a\xC3\xA9" "b]", 10},
        {std::string("\"a\nb\tc\x01\0d\"", 10), "string[" + std::string("a\nb\tc\x01\0d", 8) + "]", 10},
        {"\"\\u0000\"", "string[" + std::string(1, '\0') + "]", 8}, {"\"\\u007F\"", "string[\x7F]", 8},
        {"\"\\u0080\"", "string[\xC2\x80]", 8}, {"\"\\u07FF\"", "string[\xDF\xBF]", 8},
        {"\"\\u0800\"", "string[\xE0\xA0\x80]", 8}, {"\"\\uFFFF\"", "string[\xEF\xBF\xBF]", 8},
        {"\"\\u20aC\"", "string[\xE2\x82\xAC]", 8},
        {"\"\\uD800\"", "string[\xED\xA0\x80]", 8}, // a lone surrogate is encoded as it is
    };
    for (const auto& [text, dump, end] : cases) {
        std::size_t valueEnd = 0;
        EXPECT_EQ(DumpOf(ParseExact(text, &valueEnd)), dump) << text;
        EXPECT_EQ(valueEnd, end) << text;
    }
    // Strings cut by the end of the buffer, cut escapes and unknown escapes.
    for (const char* text : {"\"", "\"abc", "\"\\", "\"\\u", "\"\\u1", "\"\\u12", "\"\\u123", "\"\\u1234",
                             "\"ab\\\"", "\"\\\\", "\"\\u123\"", "\"\\u12G4\"", "\"\\u+123\"", "\"\\u 123\"",
                             R"("\x")", R"("\U0041")"}) {
        std::size_t valueEnd = 0;
        EXPECT_EQ(ParseExact(text, &valueEnd), nullptr) << text;
    }
    const std::string text = "[1]";
    for (std::size_t at : {text.size(), text.size() + 5}) {
        EXPECT_TRUE(!ParseValue(text, at) && !ParseMap(text, at) && !ParseArray(text, at) && !ParseString(text, at)
                    && !ParseInteger(text, at) && !ParseDouble(text, at)) << at;
    }
    std::size_t pos = 0;
    EXPECT_TRUE(!ParseInteger("12+3", pos) && pos == 0); // the integer scan meets "+" and gives back
    EXPECT_EQ(DumpOf(ParseDouble("12+3", pos)), "double[12.000000]"); // strtod stops at "+"
    EXPECT_EQ(pos, 4u);                                                // the whole span is consumed
}

TEST(SettingsParser, NestingIsBoundedAtTheLimitForArraysMapsAndByteStrings)
{
    const std::uint32_t n = kMaxSettingsDepth;
    auto maps = [](std::uint32_t count_I, const std::string& inner_I) { // count_I - 1 maps around inner_I
        std::string text;
        for (std::uint32_t i = 0; i + 1 < count_I; ++i)
            text += "{\"k\":";
        return text + inner_I + std::string(count_I - 1, '}');
    };
    // n arrays, each but the deepest holding one: "array[0:" n - 1 times, "array[]", then n - 1 "]".
    EXPECT_EQ(DumpOf(ParseExact(std::string(n, '[') + std::string(n, ']'))).size(), 9 * (n - 1) + 7);
    EXPECT_NE(ParseExact(maps(n, "1")), nullptr);
    EXPECT_NE(ParseExact(maps(n, "{\"SbyteS\":\"AA\"}")), nullptr); // a byte string is a map on the way in
    EXPECT_EQ(ParseExact(maps(n, "[{\"SbyteS\":\"AA\"}]")), nullptr);
    EXPECT_EQ(ParseExact(std::string(n + 1, '[') + std::string(n + 1, ']')), nullptr);
    EXPECT_EQ(ParseExact(maps(n + 1, "{}")), nullptr);
    // Half a million brackets neither exhaust the stack nor take long.
    const std::string brackets(500000, '[');
    EXPECT_EQ(ParseExact(brackets), nullptr);
    EXPECT_EQ(ParseExact(brackets + std::string(500000, ']')), nullptr);
    EXPECT_EQ(ParseExact(maps(200000, "")), nullptr);
    std::size_t pos = 0;
    EXPECT_EQ(ParseValue(brackets, pos), nullptr);
}

TEST(SettingsValues, ContainersListMembersInKeyByteOrderIndentedWithTabs)
{
    // Bytes above 0x7F sort after ASCII; at level 1 every line but the first is one tab further in.
    const auto map = ParseExact("{\"b\":null,\"a\":[true,{}],\"B\":3,\"\xC3\xA4\":\"s\"}");
    EXPECT_EQ(map->ToText(1), "{\n\t\t\"B\": 3,\n\t\t\"a\": [\n\t\t\ttrue,\n\t\t\t{\n\t\t\t}\n\t\t],\n"
                              "\t\t\"b\": null,\n\t\t\"\xC3\xA4\": \"s\"\n\t}");
}

TEST(SettingsValues, EqualsComparesClassPayloadAndStoredMembersAndClonesAreDeep)
{
    // Members differing in class or payload only; containers holding null compare their stored members.
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"[1]", "[1.0]", false}, {"[true]", "[1]", false}, {"[\"AAEC\"]", "[{\"SbyteS\":\"AAEC\"}]", false},
        {"[null]", "[null]", true}, {"[0.0]", "[-0.0]", true}, {"[\"a\\u0000b\"]", "[\"a\\u0000b\"]", true},
        {"[\"a\\u0000b\"]", "[\"a\"]", false}, {"[{\"SbyteS\":\"AQ\"}]", "[{\"SbyteS\":\"AQA\"}]", false},
        {"[[]]", "[{}]", false}, {"[[null]]", "[[]]", false}, {"{\"x\":1}", "{\"y\":1}", false},
        {"{\"n\":null,\"a\":[null]}", "{\"n\":null,\"a\":[null]}", true}, {"{\"n\":null}", "{\"n\":0}", false},
        {"{\"n\":0}", "{\"n\":null}", false},
    };
    for (const auto& [a, b, equal] : cases)
        EXPECT_EQ(ParseExact(a)->Equals(ParseExact(b)), equal) << a << " vs " << b;
    EXPECT_FALSE(CSettingsNULL::Create()->Equals(nullptr));
    const auto original = ParseExact("{\"n\":null,\"a\":[null]}");
    const auto copy = original->Clone();
    EXPECT_TRUE(original->Equals(original) && copy->Equals(original));
    AsArray(AsMap(original)->Get("a"))->Append(CSettingsNULL::Create()); // the clone is a deep copy
    EXPECT_FALSE(copy->Equals(original));
    EXPECT_EQ(DumpOf(copy), "map[a:array[0:null[]], n:null[]]");
}

TEST(SettingsValues, EmptyMembersAreReportedAndSkipped)
{
    CDiagnosticCapture capture;
    auto array = CSettingsArray::Create();
    array->Append(nullptr);
    array->Append(CSettingsInteger::Create(1));
    auto map = CSettingsMap::Create();
    map->Set("e", nullptr);
    EXPECT_EQ(DumpOf(array) + DumpOf(map) + array->ToText(0) + map->ToText(0),
              "array[1:integer[1]]map[][\n\t1\n]{\n}");
    EXPECT_EQ(EncodingOf(map, EncodingOf(array)),
              (Bytes {0x62, 0x80, 0x02, 0x01, 0x01, 0x00, 0x00, 0x60, 0x80, 0x00, 0x00}));
    EXPECT_TRUE(array->Equals(array->Clone()) && map->Equals(map->Clone()));
    EXPECT_TRUE(!array->Get(0) && array->Get(1) && !array->Get(2) && !array->Get(~std::size_t(0)));
    EXPECT_FALSE(capture.Lines().empty());
}

TEST(SettingsWriter, QuotesBackslashesAndControlBytesAreEscapedInStringsAndKeys)
{
    const std::pair<std::string, std::string> cases[] = {
        {"say \"hi\"", R"("say \"hi\"")"}, {"C:\\dir\\", R"("C:\\dir\\")"}, {"\b\f\n\r\t", R"("\b\f\n\r\t")"},
        {std::string("\0\x01\x1F\x7F", 4), R"("\u0000\u0001\u001F\u007F")"}, {"/ {x} [y]", "\"/ {x} [y]\""},
        {"\x80\xFF\xC3\xA9", "\"\x80\xFF\xC3\xA9\""}, // bytes above 0x7F, valid UTF-8 or not, as they are
    };
    for (const auto& [text, quoted] : cases)
        EXPECT_EQ(QuoteSettingsString(text), quoted);
    EXPECT_EQ(ParseExact("{\"a\\\"\\\\\\n\":1}")->ToText(0), "{\n\t\"a\\\"\\\\\\n\": 1\n}"); // keys too
}
