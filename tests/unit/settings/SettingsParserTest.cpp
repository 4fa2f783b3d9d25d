#include "ExactBuffer.h"
#include "Settings/SettingsParser.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace
{

std::string DumpOf(const CSettingsObjectPtr& value_I)
{
    if (!value_I)
        return "<empty>";
    std::string text;
    value_I->Dump(text);
    return text;
}

std::string DumpDocument(const std::string& text_I)
{
    return DumpOf(ParseExact(text_I));
}

// The single element of a one-element array document, e.g. Element("-12") parses "[-12]".
std::string Element(const std::string& text_I)
{
    const auto array = AsArray(ParseExact("[" + text_I + "]"));
    if (!array)
        return "<empty>";
    if (array->Count() != 1)
        return "<count " + std::to_string(array->Count()) + ">";
    return DumpOf(array->Elements()[0]);
}

std::vector<std::string> AssertLines(const CDiagnosticCapture& capture_I)
{
    std::vector<std::string> out;
    for (const auto& line : capture_I.Lines())
        out.push_back(line.substr(0, line.find(" in ")));
    return out;
}

} // namespace

// ---- documents --------------------------------------------------------------------------

TEST(SettingsParser, EmptyOrNonContainerDocumentsGiveEmpty)
{
    CDiagnosticCapture capture;
    EXPECT_EQ(ParseExact(""), nullptr);
    EXPECT_EQ(ParseExact(" \t\r\n// only a comment\n  // and another"), nullptr);
    EXPECT_TRUE(capture.Lines().empty());

    EXPECT_EQ(ParseExact("12"), nullptr);
    // each stray byte is reported once
    EXPECT_EQ(AssertLines(capture), (std::vector<std::string> {"Assert:(isspace(buffer_I[pos]))",
                                                               "Assert:(isspace(buffer_I[pos]))"}));
    capture.Clear();
    EXPECT_EQ(ParseExact("\"string\""), nullptr);
    EXPECT_EQ(capture.Lines().size(), 8u);
}

TEST(SettingsParser, StrayBytesBeforeTheDocumentAreSkipped)
{
    CDiagnosticCapture capture;
    EXPECT_EQ(DumpDocument("x [1]"), "array[0:integer[1]]");
    EXPECT_EQ(capture.Lines().size(), 1u);
}

TEST(SettingsParser, OnlyTheFirstDocumentCounts)
{
    EXPECT_EQ(DumpDocument("[1] {\"a\":2} garbage ]]]"), "array[0:integer[1]]");
}

TEST(SettingsParser, EmptyContainers)
{
    EXPECT_EQ(DumpDocument("{}"), "map[]");
    EXPECT_EQ(DumpDocument("[]"), "array[]");
    EXPECT_EQ(DumpDocument("[ \n\t ]"), "array[]");
    EXPECT_EQ(DumpDocument("[[],{}]"), "array[0:array[], 1:map[]]");
}

TEST(SettingsParser, CommentsAnywhereBlanksAre)
{
    EXPECT_EQ(DumpDocument("// head\n[ // first\n 1, // second\n 2 // last\n]"), "array[0:integer[1], 1:integer[2]]");
    EXPECT_EQ(DumpDocument("{ // c\n\"a\" // c\n : // c\n 1 // c\n}"), "map[a:integer[1]]");
    // a comment running to the end consumes the closing bracket with it
    EXPECT_EQ(ParseExact("[1 // ]"), nullptr);
    EXPECT_EQ(DumpDocument("[1] //"), "array[0:integer[1]]");
    // a single slash is not a comment
    EXPECT_EQ(ParseExact("{/}"), nullptr);
    // "//" inside a string is text
    EXPECT_EQ(DumpDocument("[\"a//b\"]"), "array[0:string[a//b]]");
}

// ---- maps -------------------------------------------------------------------------------

TEST(SettingsParser, MapLeniencyAndStrictness)
{
    CDiagnosticCapture capture;
    EXPECT_EQ(DumpDocument("{\"a\"}"), "map[]");              // unfinished member dropped
    EXPECT_EQ(DumpDocument("{\"a\":}"), "map[]");             // likewise
    EXPECT_EQ(ParseExact("{\"a\":1 \"b\":2}"), nullptr);      // two members without a comma
    EXPECT_EQ(DumpDocument("{\"a\":1,}"), "map[a:integer[1]]");
    EXPECT_EQ(ParseExact("{\"\":1}"), nullptr);               // empty key
    EXPECT_EQ(ParseExact("{,}"), nullptr);
    EXPECT_EQ(ParseExact("{\"a\",}"), nullptr);
    EXPECT_EQ(ParseExact("{\"a\":,}"), nullptr);
    EXPECT_EQ(ParseExact("{a:1}"), nullptr);                  // keys must be quoted
    EXPECT_EQ(ParseExact("{\"a\" 1}"), nullptr);              // colon missing
    EXPECT_EQ(ParseExact("{\"a\":1:2}"), nullptr);
    EXPECT_EQ(ParseExact("{\"a\":1"), nullptr);               // end before "}"
    EXPECT_EQ(ParseExact("{\"a\":1,"), nullptr);
    EXPECT_EQ(ParseExact("{"), nullptr);
    EXPECT_EQ(DumpDocument("{\"a\":1,\"a\":2}"), "map[a:integer[2]]"); // the later value wins
    EXPECT_TRUE(capture.Lines().empty());
}

TEST(SettingsParser, OneMalformedMemberEmptiesTheDocument)
{
    EXPECT_EQ(ParseExact("[{\"ok\":1},{\"deep\":[1,,2]}]"), nullptr);
    EXPECT_EQ(ParseExact("{\"a\":{\"b\":{\"c\":\"unterminated}}}"), nullptr);
}

TEST(SettingsParser, ByteStrings)
{
    std::size_t pos = 0;
    EXPECT_EQ(DumpOf(ParseValueExact("{\"SbyteS\":\"AAEC\"}", &pos)), "bytes[AAEC]");
    EXPECT_EQ(pos, 17u);
    EXPECT_EQ(Element("{\"SbyteS\":\"AAEC\"}"), "bytes[AAEC]");
    const auto bytes = std::dynamic_pointer_cast<CSettingsBytes>(ParseValueExact("{\"SbyteS\":\"AAEC\"}"));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(bytes->GetValue(), (std::vector<std::uint8_t> {0, 1, 2}));

    // the conversion happens only at "}" while the map is still empty
    EXPECT_EQ(DumpOf(ParseValueExact("{\"SbyteS\":\"AAEC\",\"x\":1}")), "map[SbyteS:string[AAEC], x:integer[1]]");
    EXPECT_EQ(DumpOf(ParseValueExact("{\"x\":1,\"SbyteS\":\"AAEC\"}")), "map[SbyteS:string[AAEC], x:integer[1]]");
    // padding or any other foreign character decodes to no bytes at all
    EXPECT_EQ(DumpOf(ParseValueExact("{\"SbyteS\":\"AA==\"}")), "bytes[]");
    EXPECT_EQ(DumpOf(ParseValueExact("{\"SbyteS\":\"\"}")), "bytes[]");
    // a top-level document is never unwrapped: only a map or an array can be one
    EXPECT_EQ(DumpDocument("{\"SbyteS\":\"/w\"}"), "map[SbyteS:bytes[/w]]");
    // a non-string value is decoded from its display text
    EXPECT_EQ(DumpOf(ParseValueExact("{\"SbyteS\":true}")), "bytes[true]"); // four valid characters
    EXPECT_EQ(DumpOf(ParseValueExact("{\"SbyteS\":1}")), "bytes[]");    // a lone char gives nothing
}

// ---- arrays -----------------------------------------------------------------------------

TEST(SettingsParser, ArrayLeniencyAndStrictness)
{
    EXPECT_EQ(DumpDocument("[1,]"), "array[0:integer[1]]");
    EXPECT_EQ(ParseExact("[,1]"), nullptr);
    EXPECT_EQ(ParseExact("[1,,2]"), nullptr);
    EXPECT_EQ(ParseExact("[1 2]"), nullptr);
    EXPECT_EQ(ParseExact("[1"), nullptr);
    EXPECT_EQ(ParseExact("[1,"), nullptr);
    EXPECT_EQ(ParseExact("["), nullptr);
    EXPECT_EQ(ParseExact("[truex]"), nullptr); // the bool is read, then "x" finds it pending
}

TEST(SettingsParser, StrayBytesInsideAValueAreReportedAndSkipped)
{
    CDiagnosticCapture capture;
    EXPECT_EQ(DumpDocument("[ @# 1 ]"), "array[0:integer[1]]");
    EXPECT_EQ(AssertLines(capture), (std::vector<std::string> {"Assert:(isspace(buffer_I[pos_IO]))",
                                                               "Assert:(isspace(buffer_I[pos_IO]))"}));
    // a stray byte where a value should start swallows a following closing bracket as well
    EXPECT_EQ(ParseExact("[x]"), nullptr);
}

// ---- keywords ---------------------------------------------------------------------------

TEST(SettingsParser, Keywords)
{
    EXPECT_EQ(Element("true"), "bool[true]");
    EXPECT_EQ(Element("false"), "bool[false]");
    EXPECT_EQ(Element("null"), "null[]");
    EXPECT_EQ(DumpDocument("[true,false,null]"), "array[0:bool[true], 1:bool[false], 2:null[]]");
    CDiagnosticCapture capture;
    EXPECT_EQ(ParseExact("[True]"), nullptr); // case-sensitive: "T" is a stray byte
    EXPECT_FALSE(capture.Lines().empty());
}

TEST(SettingsParser, KeywordsCutByTheEndOfTheBufferAreNotRead)
{
    // Held in exact-size heap blocks: a comparison past the end would be caught by ASan.
    CDiagnosticCapture capture;
    for (const char* text : {"[t", "[tr", "[tru", "[f", "[fal", "[fals", "[n", "[nu", "[nul", "{\"a\":tru",
                             "{\"a\":fals", "{\"a\":nul"}) {
        EXPECT_EQ(ParseExact(text), nullptr) << text;
    }
    std::size_t pos = 0;
    EXPECT_EQ(ParseValueExact("tru", &pos), nullptr);
    EXPECT_EQ(pos, 3u);
    EXPECT_EQ(DumpOf(ParseValueExact("true", &pos)), "bool[true]");
    EXPECT_EQ(pos, 4u);
    EXPECT_EQ(DumpOf(ParseValueExact("false", &pos)), "bool[false]");
    EXPECT_EQ(pos, 5u);
    EXPECT_EQ(DumpOf(ParseValueExact("null", &pos)), "null[]");
    EXPECT_EQ(pos, 4u);
}

TEST(SettingsParser, ValueAtOrPastTheEndIsEmpty)
{
    const std::string text = "[1]";
    std::size_t pos = text.size();
    EXPECT_EQ(ParseValue(text, pos), nullptr);
    pos = text.size() + 5;
    EXPECT_EQ(ParseValue(text, pos), nullptr);
    EXPECT_EQ(ParseMap(text, pos), nullptr);
    EXPECT_EQ(ParseArray(text, pos), nullptr);
    EXPECT_EQ(ParseString(text, pos), nullptr);
    EXPECT_EQ(ParseInteger(text, pos), nullptr);
    EXPECT_EQ(ParseDouble(text, pos), nullptr);
}

// ---- numbers ----------------------------------------------------------------------------

TEST(SettingsParser, Integers)
{
    EXPECT_EQ(Element("0"), "integer[0]");
    EXPECT_EQ(Element("-12"), "integer[-12]");
    EXPECT_EQ(Element("007"), "integer[7]");
    EXPECT_EQ(Element("9223372036854775807"), "integer[9223372036854775807]");
    EXPECT_EQ(Element("-9223372036854775808"), "integer[-9223372036854775808]");
    EXPECT_EQ(Element("9223372036854775808"), "integer[0]");  // out of range
    EXPECT_EQ(Element("-9223372036854775809"), "integer[0]");
    EXPECT_EQ(Element("99999999999999999999999"), "integer[0]");
    EXPECT_EQ(Element("12-3"), "integer[12]");                // conversion stops at the "-"
    EXPECT_EQ(Element("-"), "integer[0]");
    EXPECT_EQ(Element("--4"), "integer[0]");
    EXPECT_EQ(ParseExact("[1+2]"), nullptr);                  // the integer scan meets "+"
}

TEST(SettingsParser, IntegerScanStopsBeforeAPlusAndRestoresThePosition)
{
    const std::string text = "12+3";
    std::size_t pos = 0;
    EXPECT_EQ(ParseInteger(text, pos), nullptr);
    EXPECT_EQ(pos, 0u);
    pos = 0;
    EXPECT_EQ(DumpOf(ParseDouble(text, pos)), "double[12.000000]"); // strtod reads 12, stops at '+'
    EXPECT_EQ(pos, 4u);                                              // the whole span is consumed
    pos = 0;
    EXPECT_EQ(ParseInteger("x", pos), nullptr);
}

TEST(SettingsParser, Doubles)
{
    EXPECT_EQ(Element("1.5e3"), "double[1500.000000]");
    EXPECT_EQ(Element("1e"), "double[1.000000]");
    EXPECT_EQ(Element("-."), "double[0.000000]");
    EXPECT_EQ(Element("-.5"), "double[-0.500000]");
    EXPECT_EQ(Element("2."), "double[2.000000]");
    EXPECT_EQ(Element("1E-2"), "double[0.010000]");
    EXPECT_EQ(Element("1e+2"), "double[100.000000]");
    EXPECT_EQ(Element("1.2.3"), "double[1.200000]");
    EXPECT_EQ(Element("1e999"), "double[0.000000]"); // out of range
    EXPECT_EQ(Element("-1e999"), "double[0.000000]");

    const auto d = std::dynamic_pointer_cast<CSettingsDouble>(AsArray(ParseExact("[0.1]"))->Elements()[0]);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->GetValue(), 0.1);
}

// ---- strings ----------------------------------------------------------------------------

TEST(SettingsParser, StringEscapes)
{
    std::size_t pos = 0;
    auto s = std::dynamic_pointer_cast<CSettingsString>(ParseValueExact("\"a\\u00e9b\"", &pos));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->GetValue(), "a\xC3\xA9" "b");
    EXPECT_EQ(pos, 10u);

    s = std::dynamic_pointer_cast<CSettingsString>(ParseValueExact(R"("\"\\\/\b\f\n\r\t")"));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->GetValue(), "\"\\/\b\f\n\r\t");

    auto unicode = [](const std::string& digits) {
        auto value = std::dynamic_pointer_cast<CSettingsString>(ParseValueExact("\"\\u" + digits + "\""));
        return value ? value->GetValue() : std::string("<empty>");
    };
    EXPECT_EQ(unicode("0000"), std::string(1, '\0'));
    EXPECT_EQ(unicode("007F"), "\x7F");
    EXPECT_EQ(unicode("0080"), "\xC2\x80");
    EXPECT_EQ(unicode("07FF"), "\xDF\xBF");
    EXPECT_EQ(unicode("0800"), "\xE0\xA0\x80");
    EXPECT_EQ(unicode("FFFF"), "\xEF\xBF\xBF");
    EXPECT_EQ(unicode("20aC"), "\xE2\x82\xAC");
    EXPECT_EQ(unicode("D800"), "\xED\xA0\x80"); // a lone surrogate is encoded as it is
    EXPECT_EQ(unicode("12G4"), "<empty>");      // not four hexadecimal digits
    EXPECT_EQ(unicode("+123"), "<empty>");
    EXPECT_EQ(unicode(" 123"), "<empty>");

    EXPECT_EQ(ParseValueExact(R"("\x")"), nullptr);  // unknown escape
    EXPECT_EQ(ParseValueExact(R"("\U0041")"), nullptr);
}

TEST(SettingsParser, RawControlBytesInsideQuotesAreKept)
{
    const auto s = std::dynamic_pointer_cast<CSettingsString>(ParseValueExact(std::string("\"a\nb\tc\x01\0d\"", 10)));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->GetValue(), std::string("a\nb\tc\x01\0d", 8));
}

TEST(SettingsParser, StringsCutByTheEndOfTheBufferGiveEmpty)
{
    // Exact-size buffers: no escape may look past the last byte.
    for (const char* text : {"\"", "\"abc", "\"\\", "\"\\u", "\"\\u1", "\"\\u12", "\"\\u123", "\"\\u1234",
                             "\"ab\\\"", "\"\\\\"}) {
        std::size_t pos = 0;
        EXPECT_EQ(ParseValueExact(text, &pos), nullptr) << text;
    }
    // four characters follow the u, but the closing quote is among them: still no string
    EXPECT_EQ(ParseValueExact("\"\\u123\""), nullptr);
    EXPECT_EQ(ParseExact("[\"\\u12\"]"), nullptr);
    EXPECT_EQ(ParseExact("{\"k\\u00"), nullptr);
}

TEST(SettingsParser, KeysUseTheStringRules)
{
    EXPECT_EQ(DumpDocument("{\"a\\\"b\":1}"), "map[a\"b:integer[1]]");
    EXPECT_EQ(DumpDocument("{\"\\u0041\":1}"), "map[A:integer[1]]");
    EXPECT_EQ(ParseExact("{\"\\q\":1}"), nullptr);
}

// ---- nesting ----------------------------------------------------------------------------

TEST(SettingsParser, NestingUpToTheLimitIsRead)
{
    const std::string deepest = std::string(kMaxSettingsDepth, '[') + std::string(kMaxSettingsDepth, ']');
    CSettingsObjectPtr value = ParseExact(deepest);
    ASSERT_NE(value, nullptr);
    std::uint32_t depth = 0;
    while (const auto array = AsArray(value)) {
        ++depth;
        value = array->Count() ? array->Elements()[0] : nullptr;
    }
    EXPECT_EQ(depth, kMaxSettingsDepth);

    // maps count too, and a byte string is a map on the way in
    std::string maps;
    for (std::uint32_t i = 0; i + 1 < kMaxSettingsDepth; ++i)
        maps += "{\"k\":";
    EXPECT_NE(ParseExact(maps + "1" + std::string(kMaxSettingsDepth - 1, '}')), nullptr);
    EXPECT_NE(ParseExact(maps + "{\"SbyteS\":\"AA\"}" + std::string(kMaxSettingsDepth - 1, '}')), nullptr);
    EXPECT_EQ(ParseExact(maps + "[{\"SbyteS\":\"AA\"}]" + std::string(kMaxSettingsDepth - 1, '}')), nullptr);
}

TEST(SettingsParser, NestingBeyondTheLimitIsMalformed)
{
    const std::uint32_t n = kMaxSettingsDepth + 1;
    EXPECT_EQ(ParseExact(std::string(n, '[') + std::string(n, ']')), nullptr);
    std::string maps;
    for (std::uint32_t i = 0; i + 1 < n; ++i)
        maps += "{\"k\":";
    EXPECT_EQ(ParseExact(maps + "{}" + std::string(n - 1, '}')), nullptr);
}

TEST(SettingsParser, HalfAMillionBracketsDoNotExhaustTheStack)
{
    EXPECT_EQ(ParseExact(std::string(500000, '[')), nullptr);
    EXPECT_EQ(ParseExact(std::string(500000, '[') + std::string(500000, ']')), nullptr);
    std::string maps;
    for (int i = 0; i < 200000; ++i)
        maps += "{\"a\":";
    EXPECT_EQ(ParseExact(maps), nullptr);
    // the same depth in a value that a caller parses directly
    std::size_t pos = 0;
    const std::string brackets(500000, '[');
    EXPECT_EQ(ParseValue(brackets, pos), nullptr);
}

// ---- files ------------------------------------------------------------------------------

TEST(SettingsFiles, LoadsTheWholeFile)
{
    CTempDir dir;
    const std::string path = dir.File("settings.ini");
    WriteFile(path, "// models\r\n[\r\n\t{\"name\": \"A\"},\r\n\t{\"bytes\": {\"SbyteS\":\"AAEC\"}}\r\n]\r\n");
    EXPECT_EQ(DumpOf(LoadSettingsFile(path)), "array[0:map[name:string[A]], 1:map[bytes:bytes[AAEC]]]");
}

TEST(SettingsFiles, MissingOrUnreadableFileGivesEmpty)
{
    CTempDir dir;
    EXPECT_EQ(LoadSettingsFile(dir.File("missing.ini")), nullptr);
    EXPECT_EQ(LoadSettingsFile(dir.Path().string()), nullptr); // a directory
    EXPECT_EQ(LoadSettingsFile(""), nullptr);
    WriteFile(dir.File("empty.ini"), "");
    EXPECT_EQ(LoadSettingsFile(dir.File("empty.ini")), nullptr);
}

TEST(SettingsFiles, NonAsciiPathIsUtf8)
{
    CTempDir dir;
    const std::string path = dir.File("t\xC3\xA4st.ini");
    WriteFile(path, "[1]");
    EXPECT_EQ(DumpOf(LoadSettingsFile(path)), "array[0:integer[1]]");
}
