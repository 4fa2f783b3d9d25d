// The Intel HEX reader: placement at 0x8000, rounding to 512, strict line ends and digits.

#include "FWUpdater/CIntelHex.h"
#include "ImageTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

std::string Crlf(const std::vector<std::string>& records_I)
{
    return JoinLines(records_I, "\r\n");
}

// 16 records of 16 bytes from 0x8000 to 0x80FF (byte i holds i), then the end record.
std::vector<std::string> Base256()
{
    std::vector<std::string> r;
    for (int i = 0; i < 16; ++i) {
        const auto first = static_cast<std::uint8_t>(16 * i);
        r.push_back(HexRecord(0, static_cast<std::uint16_t>(0x8000 + first), Bytes(16, first)));
    }
    r.push_back(HexRecord(1, 0, {}));
    return r;
}

// Loads from a buffer of exactly the text's size, so AddressSanitizer sees any read past it.
bool Load(CIntelHex& hex_IO, const std::string& text_I)
{
    std::vector<char> exact(text_I.begin(), text_I.end());
    return hex_IO.LoadFromText(exact.data(), exact.size());
}

} // namespace

TEST(IntelHex, GoodFilesGiveTheImageRoundedUpTo512WithTheRestErased)
{
    const std::string end = HexRecord(1, 0, {});
    auto with = [](std::vector<std::string> records, const std::string& record) {
        records.insert(records.end() - 1, record);
        return records;
    };
    const struct
    {
        const char* name;
        std::vector<std::string> records;
        std::uint32_t length;
        std::vector<std::pair<std::uint32_t, int>> bytes;
    } cases[] = {
        {"256 bytes", Base256(), 512, {{0, 0}, {0x7F, 0x7F}, {0xFF, 0xFF}, {0x100, 0xFF}, {0x1FF, 0xFF}}},
        {"one byte beyond 512", with(Base256(), HexRecord(0, 0x8200, {0x5A})), 1024,
         {{0x1FF, 0xFF}, {0x200, 0x5A}, {0x201, 0xFF}}},
        {"extended linear address 0", {HexRecord(4, 0, {0, 0}), HexRecord(0, 0x8000, Bytes(4, 9)), end}, 512, {{0, 9}}},
        {"extended segment address 0x0800", {HexRecord(2, 0, {0x08, 0}), HexRecord(0, 0, Bytes(4, 9)), end}, 512,
         {{0, 9}, {3, 12}}},
        {"up to 0x33FFF", {HexRecord(0, 0x8000, {1}), HexRecord(4, 0, {0, 3}), HexRecord(0, 0x3FFF, {2}), end},
         0x2C000, {{0, 1}, {0x2BFFF, 2}}},
        {"start records checked and ignored",
         {HexRecord(3, 0, {0, 0, 0x80, 0}), HexRecord(5, 0, {0, 0, 0x80, 0}), HexRecord(0, 0x8000, Bytes(4)), end},
         512, {{3, 3}, {4, 0xFF}}},
        {"records after the end record count", {HexRecord(0, 0x8000, Bytes(4)), end, HexRecord(0, 0x8300, {0x77})},
         1024, {{0x300, 0x77}}},
        // 0x81F8..0x8207 starts inside the data seen (up to 0x81FF) and reaches past it.
        {"out of order record reaching past the highest byte",
         {HexRecord(0, 0x8000, Bytes(16)), HexRecord(0, 0x81F0, Bytes(16)), HexRecord(0, 0x81F8, Bytes(16, 0xC0)), end},
         1024, {{0x1F7, 0x07}, {0x1F8, 0xC0}, {0x207, 0xCF}}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        CIntelHex hex;
        EXPECT_EQ(hex.GetStartAddress(), -1);
        ASSERT_TRUE(Load(hex, Crlf(row.records))) << hex.GetLoadError().Text();
        EXPECT_EQ(hex.GetStartAddress(), 0x8000);
        EXPECT_EQ(hex.GetDataLength(), row.length);
        for (const auto& [offset, value] : row.bytes) {
            EXPECT_EQ(hex.GetImage()[offset], value) << offset;
        }
        for (std::uint32_t i = hex.GetDataLength(); i < CIntelHex::kImageSize; ++i) {
            ASSERT_EQ(hex.GetImage()[i], 0xFF) << i;
        }
    }
    CIntelHex hex;
    EXPECT_TRUE(Load(hex, "junk before the colon " + Crlf(Base256())));
}

TEST(IntelHex, MalformedFilesFailWithTheLine)
{
    const std::string end = HexRecord(1, 0, {}), data = HexRecord(0, 0x8000, Bytes(4));
    const std::string text = Crlf(Base256()); // 17 lines
    std::string blank = text, badExt = HexRecord(4, 0, {0, 0}), plus = data;
    blank.insert(Base256()[0].size(), " ");
    badExt.back() = badExt.back() == '0' ? '1' : '0';
    plus.replace(9, 2, "+0"); // data byte 00 as "+0": the same value to a lenient number reader
    const struct
    {
        const char* name;
        std::string text;
        std::size_t line;
    } cases[] = {
        {"line feed alone", JoinLines(Base256(), "\n"), 1},
        {"last line without end", text.substr(0, text.size() - 2), 17},
        {"blank before the CR LF", blank, 1},
        {"NUL", text + std::string("\0\r\n", 3), 18},
        {"end mark", text + "\x1A\r\n", 18},
        {"empty", "", 1},
        {"extended address checksum", Crlf({badExt, data, end}), 1},
        {"type 6", Crlf({data, HexRecord(6, 0, {})}), 2},
        {"truncated record", Crlf({data, ":1080"}), 2},
        {"not a hex digit", Crlf({data, ":04801000G0010203E5"}), 2},
        {"sign in a data byte", Crlf({plus, end}), 1},
        {"first data not at 0x8000", Crlf({HexRecord(0, 0x8010, Bytes(4)), end}), 0},
        {"no data", Crlf({end}), 0},
        {"extended linear address 1", Crlf({HexRecord(4, 0, {0, 1}), data, end}), 0},
        {"later record below the first", Crlf({data, HexRecord(0, 0x7FF0, Bytes(4)), end}), 2},
        {"data at 0x34000", Crlf({data, HexRecord(4, 0, {0, 3}), HexRecord(0, 0x4000, {2}), end}), 0},
        {"data beyond the work area", Crlf({data, HexRecord(4, 0, {0, 3}), HexRecord(0, 0x8000, {2}), end}), 3},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        CIntelHex hex;
        EXPECT_FALSE(Load(hex, row.text));
        EXPECT_EQ(hex.GetStartAddress(), -1);
        EXPECT_FALSE(hex.GetLoadError().reason.empty());
        EXPECT_EQ(hex.GetLoadError().line, row.line) << hex.GetLoadError().reason;
    }
}

TEST(IntelHex, FailedLoadKeepsTheEarlierImageAndANewOneReplacesIt)
{
    CTempDir dir;
    const std::string good = dir.File("good.hex"), bad = dir.File("bad.hex"), other = dir.File("other.hex");
    WriteFile(good, Crlf(Base256()));
    WriteFile(bad, JoinLines(Base256(), "\n"));
    WriteFile(other, Crlf({HexRecord(0, 0x8000, {0xAB}), HexRecord(1, 0, {})}));
    WriteFile(dir.File("empty.hex"), "");
    CIntelHex hex;
    ASSERT_TRUE(hex.Load(good));
    for (const std::string& failing : {bad, dir.File("empty.hex"), dir.File("missing.hex")}) {
        EXPECT_FALSE(hex.Load(failing));
        EXPECT_EQ(hex.GetStartAddress(), 0x8000);
        EXPECT_EQ(hex.GetDataLength(), 512u);
        EXPECT_EQ(hex.GetImage()[17], 17);
    }
    EXPECT_EQ(hex.GetFileName(), dir.File("empty.hex")) << "the last file that could be opened";
    ASSERT_TRUE(hex.Load(other));
    EXPECT_EQ(hex.GetImage()[0], 0xAB);
    EXPECT_EQ(hex.GetImage()[17], 0xFF) << "a new load replaces the image, it does not merge";
}
