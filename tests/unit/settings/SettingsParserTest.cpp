// The settings reader: lenient where stray bytes are reported and skipped, strict elsewhere,
// bounded by the buffer and by the nesting limit whatever the input.

#include "ExactBuffer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace
{

const char* const E = "<empty>";

std::vector<std::string> AssertTexts(const CDiagnosticCapture& capture_I)
{
    std::vector<std::string> out;
    for (const auto& line : capture_I.Lines())
        out.push_back(line.substr(0, line.find(" in ")));
    return out;
}

// n - 1 maps nested by key "k", then inner_I, then the n - 1 closing braces.
std::string NestedMaps(std::uint32_t n_I, const std::string& inner_I)
{
    std::string text;
    for (std::uint32_t i = 0; i + 1 < n_I; ++i)
        text += "{\"k\":";
    return text + inner_I + std::string(n_I - 1, '}');
}

} // namespace

TEST(SettingsParser, Documents)
{
    const std::string stray = "Assert:(isspace(buffer_I[pos]))", strayInValue = "Assert:(isspace(buffer_I[pos_IO]))";
    const struct
    {
        std::string text;
        std::string dump;
        std::vector<std::string> asserts;
    } cases[] = {
        {"", E, {}},
        {" \t\r\n// only a comment\n  // and another", E, {}},
        {"12", E, {stray, stray}}, // each stray byte is reported once
        {"x [1]", "array[0:integer[1]]", {stray}},
        {"[ @# 1 ]", "array[0:integer[1]]", {strayInValue, strayInValue}},
        {"[1] {\"a\":2} garbage ]]]", "array[0:integer[1]]", {}}, // only the first document counts
        {"{}", "map[]", {}},
        {"[ \n\t ]", "array[]", {}},
        {"[[],{}]", "array[0:array[], 1:map[]]", {}},
        {"// head\n[ // first\n 1, // second\n 2 // last\n]", "array[0:integer[1], 1:integer[2]]", {}},
        {"{ // c\n\"a\" // c\n : // c\n 1 // c\n}", "map[a:integer[1]]", {}},
        {"[1] //", "array[0:integer[1]]", {}},
        {"[\"a//b\"]", "array[0:string[a//b]]", {}},
        {"{\"a\"}", "map[]", {}}, // an unfinished member is dropped
        {"{\"a\":}", "map[]", {}},
        {"{\"a\":1,}", "map[a:integer[1]]", {}},
        {"{\"a\":1,\"a\":2}", "map[a:integer[2]]", {}}, // the later value wins
        {"[1,]", "array[0:integer[1]]", {}},
        {"[true,false,null]", "array[0:bool[true], 1:bool[false], 2:null[]]", {}},
        {"{\"a\\\"b\":1}", "map[a\"b:integer[1]]", {}}, // keys follow the string rules
        {"{\"\\u0041\":1}", "map[A:integer[1]]", {}},
        {"{\"SbyteS\":\"/w\"}", "map[SbyteS:bytes[/w]]", {}}, // a document is never unwrapped to bytes
        // Malformed, and reported by nothing but the empty result.
        {"{\"a\":1 \"b\":2}", E, {}},
        {"{\"\":1}", E, {}}, // empty key
        {"{a:1}", E, {}},
        {"{\"a\" 1}", E, {}},
        {"{\"a\":1:2}", E, {}},
        {"{\"a\":1,", E, {}},
        {"[1,,2]", E, {}},
        {"[1 2]", E, {}},
        {"[1,", E, {}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.text);
        CDiagnosticCapture capture;
        EXPECT_EQ(DumpOf(ParseExact(row.text)), row.dump);
        EXPECT_EQ(AssertTexts(capture), row.asserts);
    }
    CDiagnosticCapture capture;
    for (const char* text : {"\"string\"", "[1 // ]", "{/}", "{,}", "{\"a\",}", "{\"a\":,}", "{\"a\":1", "{", "[,1]",
                             "[1", "[", "[truex]", "[x]", "[True]", "[1+2]", "[{\"ok\":1},{\"deep\":[1,,2]}]",
                             "{\"a\":{\"b\":{\"c\":\"unterminated}}}", "{\"\\q\":1}", "[\"\\u12\"]", "{\"k\\u00",
                             // keywords cut by the end of the buffer
                             "[t", "[tr", "[tru", "[f", "[fal", "[fals", "[n", "[nu", "[nul", "{\"a\":tru",
                             "{\"a\":fals", "{\"a\":nul"})
        EXPECT_EQ(ParseExact(text), nullptr) << text;
}

TEST(SettingsParser, SingleElements)
{
    const std::pair<const char*, const char*> cases[] = {
        {"true", "bool[true]"}, {"false", "bool[false]"}, {"null", "null[]"},
        {"0", "integer[0]"}, {"-12", "integer[-12]"}, {"007", "integer[7]"},
        {"9223372036854775807", "integer[9223372036854775807]"},
        {"-9223372036854775808", "integer[-9223372036854775808]"},
        {"9223372036854775808", "integer[0]"}, // out of range
        {"-9223372036854775809", "integer[0]"}, {"99999999999999999999999", "integer[0]"},
        {"12-3", "integer[12]"}, // the conversion stops at the "-"
        {"-", "integer[0]"}, {"--4", "integer[0]"},
        {"1.5e3", "double[1500.000000]"}, {"1e", "double[1.000000]"}, {"-.", "double[0.000000]"},
        {"-.5", "double[-0.500000]"}, {"2.", "double[2.000000]"}, {"1E-2", "double[0.010000]"},
        {"1e+2", "double[100.000000]"}, {"1.2.3", "double[1.200000]"},
        {"1e999", "double[0.000000]"}, {"-1e999", "double[0.000000]"}, // out of range
        {R"("\"\\\/\b\f\n\r\t")", "string[\"\\/\b\f\n\r\t]"},
        // A byte string is converted at "}" only while the map is still empty.
        {"{\"SbyteS\":\"AAEC\"}", "bytes[AAEC]"},
        {"{\"SbyteS\":\"AAEC\",\"x\":1}", "map[SbyteS:string[AAEC], x:integer[1]]"},
        {"{\"x\":1,\"SbyteS\":\"AAEC\"}", "map[SbyteS:string[AAEC], x:integer[1]]"},
        {"{\"SbyteS\":\"AA==\"}", "bytes[]"}, // padding or any foreign character: no bytes at all
        {"{\"SbyteS\":\"\"}", "bytes[]"},
        {"{\"SbyteS\":true}", "bytes[true]"}, // decoded from the display text: four valid characters
        {"{\"SbyteS\":1}", "bytes[]"},
    };
    for (const auto& [text, dump] : cases) {
        const auto array = AsArray(ParseExact("[" + std::string(text) + "]"));
        ASSERT_NE(array, nullptr) << text;
        ASSERT_EQ(array->Count(), 1u) << text;
        EXPECT_EQ(DumpOf(array->Elements()[0]), dump) << text;
    }
}

TEST(SettingsParser, ValuesReadDirectlyStopWithinTheBuffer)
{
    const struct
    {
        std::string text;
        std::string dump;
        std::size_t end;
    } cases[] = {
        {"{\"SbyteS\":\"AAEC\"}", "bytes[AAEC]", 17}, {"tru", E, 3}, {"true", "bool[true]", 4},
        {"false", "bool[false]", 5}, {"null", "null[]", 4}, {"\"a\\u00e9b\"", "string[a\xC3\xA9" "b]", 10},
        {std::string("\"a\nb\tc\x01\0d\"", 10), "string[" + std::string("a\nb\tc\x01\0d", 8) + "]", 10},
    };
    for (const auto& row : cases) {
        std::size_t end = 0;
        EXPECT_EQ(DumpOf(ParseValueExact(row.text, &end)), row.dump) << row.text;
        EXPECT_EQ(end, row.end) << row.text;
    }
    // Strings cut by the end of the buffer, cut escapes and unknown escapes.
    for (const char* text : {"\"", "\"abc", "\"\\", "\"\\u", "\"\\u1", "\"\\u12", "\"\\u123", "\"\\u1234", "\"ab\\\"",
                             "\"\\\\", "\"\\u123\"", "\"\\u12G4\"", "\"\\u+123\"", "\"\\u 123\"", R"("\x")", R"("\U0041")"})
        EXPECT_EQ(ParseValueExact(text), nullptr) << text;

    const std::pair<const char*, std::string> unicode[] = {
        {"0000", std::string(1, '\0')}, {"007F", "\x7F"}, {"0080", "\xC2\x80"}, {"07FF", "\xDF\xBF"},
        {"0800", "\xE0\xA0\x80"}, {"FFFF", "\xEF\xBF\xBF"}, {"20aC", "\xE2\x82\xAC"},
        {"D800", "\xED\xA0\x80"}, // a lone surrogate is encoded as it is
    };
    for (const auto& [digits, utf8] : unicode) {
        const auto s = std::dynamic_pointer_cast<CSettingsString>(ParseValueExact("\"\\u" + std::string(digits) + "\""));
        ASSERT_NE(s, nullptr) << digits;
        EXPECT_EQ(s->GetValue(), utf8) << digits;
    }
}

TEST(SettingsParser, PiecesAtOrPastTheEndAndTheIntegerScan)
{
    const std::string text = "[1]";
    for (const std::size_t start : {text.size(), text.size() + 5}) {
        std::size_t pos = start;
        EXPECT_EQ(ParseValue(text, pos), nullptr);
        EXPECT_EQ(ParseMap(text, pos), nullptr);
        EXPECT_EQ(ParseArray(text, pos), nullptr);
        EXPECT_EQ(ParseString(text, pos), nullptr);
        EXPECT_EQ(ParseInteger(text, pos), nullptr);
        EXPECT_EQ(ParseDouble(text, pos), nullptr);
    }
    std::size_t pos = 0;
    EXPECT_EQ(ParseInteger("12+3", pos), nullptr); // the integer scan meets "+" and gives back
    EXPECT_EQ(pos, 0u);
    EXPECT_EQ(DumpOf(ParseDouble("12+3", pos)), "double[12.000000]"); // strtod stops at "+"
    EXPECT_EQ(pos, 4u); // the whole span is consumed
}

TEST(SettingsParser, NestingIsBoundedAtTheLimitForArraysMapsAndByteStrings)
{
    const std::uint32_t n = kMaxSettingsDepth;
    CSettingsObjectPtr value = ParseExact(std::string(n, '[') + std::string(n, ']'));
    std::uint32_t depth = 0;
    for (; AsArray(value); ++depth)
        value = AsArray(value)->Count() ? AsArray(value)->Elements()[0] : nullptr;
    EXPECT_EQ(depth, n);
    EXPECT_NE(ParseExact(NestedMaps(n, "1")), nullptr);
    EXPECT_NE(ParseExact(NestedMaps(n, "{\"SbyteS\":\"AA\"}")), nullptr); // a byte string is a map on the way in
    EXPECT_EQ(ParseExact(NestedMaps(n, "[{\"SbyteS\":\"AA\"}]")), nullptr);
    EXPECT_EQ(ParseExact(std::string(n + 1, '[') + std::string(n + 1, ']')), nullptr);
    EXPECT_EQ(ParseExact(NestedMaps(n + 1, "{}")), nullptr);

    // Half a million brackets neither exhaust the stack nor take long.
    const std::string brackets(500000, '[');
    EXPECT_EQ(ParseExact(brackets), nullptr);
    EXPECT_EQ(ParseExact(brackets + std::string(500000, ']')), nullptr);
    EXPECT_EQ(ParseExact(NestedMaps(200000, "")), nullptr);
    std::size_t pos = 0;
    EXPECT_EQ(ParseValue(brackets, pos), nullptr);
}

TEST(SettingsFiles, WholeFileOrEmpty)
{
    CTempDir dir;
    const std::string path = dir.File("t\xC3\xA4st.ini"); // paths are UTF-8
    WriteFile(path, "// models\r\n[\r\n\t{\"name\": \"A\"},\r\n\t{\"bytes\": {\"SbyteS\":\"AAEC\"}}\r\n]\r\n");
    EXPECT_EQ(DumpOf(LoadSettingsFile(path)), "array[0:map[name:string[A]], 1:map[bytes:bytes[AAEC]]]");
    WriteFile(dir.File("empty.ini"), "");
    for (const std::string& bad : {dir.File("missing.ini"), dir.Path().string(), std::string(), dir.File("empty.ini")})
        EXPECT_EQ(LoadSettingsFile(bad), nullptr) << bad;
}
