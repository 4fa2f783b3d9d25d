// The Intel HEX reader: placement at 0x8000, rounding, strict line ends, record types.

#include "FWUpdater/CIntelHex.h"
#include "ImageTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

std::string Crlf(const std::vector<std::string>& records_I)
{
    return JoinLines(records_I, "\r\n");
}

// 16 records of 16 bytes from 0x8000 to 0x80FF, then end of file.
std::vector<std::string> Base256()
{
    std::vector<std::string> r;
    for (int i = 0; i < 16; ++i) {
        r.push_back(HexRecord(0, static_cast<std::uint16_t>(0x8000 + 16 * i), Bytes(16, static_cast<std::uint8_t>(16 * i))));
    }
    r.push_back(HexRecord(1, 0, {}));
    return r;
}

bool Load(CIntelHex& hex_IO, const std::string& text_I)
{
    std::vector<char> exact(text_I.begin(), text_I.end());
    return hex_IO.LoadFromText(exact.data(), exact.size());
}

} // namespace

TEST(IntelHex, DataAt0x8000IsRoundedUpTo512AndTheRestReadsErased)
{
    CIntelHex hex;
    EXPECT_EQ(hex.GetStartAddress(), -1);
    ASSERT_TRUE(Load(hex, Crlf(Base256())));
    EXPECT_EQ(hex.GetStartAddress(), 0x8000);
    EXPECT_EQ(hex.GetDataLength(), 512u);
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(hex.GetImage()[i], i) << i;
    }
    for (int i = 256; i < 512; ++i) {
        ASSERT_EQ(hex.GetImage()[i], 0xFF) << i;
    }
}

TEST(IntelHex, OneByteBeyondTheFirst512ExtendsToTheNextMultiple)
{
    auto records = Base256();
    records.insert(records.end() - 1, HexRecord(0, 0x8200, {0x5A}));
    CIntelHex hex;
    ASSERT_TRUE(Load(hex, Crlf(records)));
    EXPECT_EQ(hex.GetDataLength(), 1024u);
    EXPECT_EQ(hex.GetImage()[0x100], 0xFF);
    EXPECT_EQ(hex.GetImage()[0x1FF], 0xFF);
    EXPECT_EQ(hex.GetImage()[0x200], 0x5A);
}

TEST(IntelHex, ExtendedLinearAndSegmentAddressesMoveTheBase)
{
    CIntelHex hex;
    EXPECT_TRUE(Load(hex, Crlf({HexRecord(4, 0, {0x00, 0x00}), HexRecord(0, 0x8000, Bytes(4)), HexRecord(1, 0, {})})));
    EXPECT_FALSE(Load(hex, Crlf({HexRecord(4, 0, {0x00, 0x01}), HexRecord(0, 0x8000, Bytes(4)), HexRecord(1, 0, {})})));
    CIntelHex seg;
    ASSERT_TRUE(Load(seg, Crlf({HexRecord(2, 0, {0x08, 0x00}), HexRecord(0, 0x0000, Bytes(4, 9)), HexRecord(1, 0, {})})));
    EXPECT_EQ(seg.GetImage()[0], 9);
}

TEST(IntelHex, FirstDataRecordMustBeAt0x8000)
{
    CIntelHex hex;
    EXPECT_FALSE(Load(hex, Crlf({HexRecord(0, 0x8010, Bytes(4)), HexRecord(1, 0, {})})));
    EXPECT_FALSE(Load(hex, Crlf({HexRecord(1, 0, {})})));
    // A later record below the first one fails too.
    EXPECT_FALSE(Load(hex, Crlf({HexRecord(0, 0x8000, Bytes(4)), HexRecord(0, 0x7FF0, Bytes(4)), HexRecord(1, 0, {})})));
    EXPECT_EQ(hex.GetStartAddress(), -1);
}

TEST(IntelHex, DataMayReachUpTo0x33FFFButNotBeyond)
{
    std::vector<std::string> upTo{HexRecord(0, 0x8000, {1}), HexRecord(4, 0, {0x00, 0x03}), HexRecord(0, 0x3FFF, {2}),
                                  HexRecord(1, 0, {})};
    CIntelHex hex;
    ASSERT_TRUE(Load(hex, Crlf(upTo)));
    EXPECT_EQ(hex.GetDataLength(), 0x2C000u);
    EXPECT_EQ(hex.GetImage()[0x2BFFF], 2);
    upTo[2] = HexRecord(0, 0x4000, {2});
    CIntelHex beyond;
    EXPECT_FALSE(Load(beyond, Crlf(upTo)));
    // Beyond the 0x30000-byte work area as well.
    upTo[2] = HexRecord(0, 0x8000, {2});
    EXPECT_FALSE(Load(beyond, Crlf(upTo)));
}

TEST(IntelHex, LineEndsMustBeCrLfDirectlyAfterEachRecord)
{
    const auto records = Base256();
    CIntelHex hex;
    EXPECT_FALSE(Load(hex, JoinLines(records, "\n")));
    std::string text = Crlf(records);
    EXPECT_FALSE(Load(hex, text.substr(0, text.size() - 2)));    // last line without end
    std::string blank = text;
    blank.insert(records[0].size(), " ");                        // blank before the CR LF
    EXPECT_FALSE(Load(hex, blank));
    EXPECT_FALSE(Load(hex, text + std::string("\0\r\n", 3)));   // NUL
    EXPECT_FALSE(Load(hex, text + "\x1A\r\n"));                 // end mark
    EXPECT_FALSE(Load(hex, ""));
    EXPECT_TRUE(Load(hex, "junk before the colon " + text));   // text before ':' is skipped
}

TEST(IntelHex, ChecksumsRecordTypesAndTruncatedRecordsAreChecked)
{
    CIntelHex hex;
    std::string badExt = HexRecord(4, 0, {0x00, 0x00});
    badExt[badExt.size() - 1] = badExt[badExt.size() - 1] == '0' ? '1' : '0';
    EXPECT_FALSE(Load(hex, Crlf({badExt, HexRecord(0, 0x8000, Bytes(4)), HexRecord(1, 0, {})})));
    EXPECT_FALSE(Load(hex, Crlf({HexRecord(0, 0x8000, Bytes(4)), HexRecord(6, 0, {})})));
    EXPECT_FALSE(Load(hex, Crlf({HexRecord(0, 0x8000, Bytes(4)), ":1080"})));
    EXPECT_FALSE(Load(hex, Crlf({HexRecord(0, 0x8000, Bytes(4)), ":04801000G0010203E5"})));
    // Start records are checked and otherwise ignored.
    EXPECT_TRUE(Load(hex, Crlf({HexRecord(3, 0, {0, 0, 0x80, 0}), HexRecord(5, 0, {0, 0, 0x80, 0}),
                                HexRecord(0, 0x8000, Bytes(4)), HexRecord(1, 0, {})})));
}

TEST(IntelHex, RecordsAfterTheEndRecordStillCount)
{
    CIntelHex hex;
    ASSERT_TRUE(Load(hex, Crlf({HexRecord(0, 0x8000, Bytes(4)), HexRecord(1, 0, {}), HexRecord(0, 0x8300, {0x77})})));
    EXPECT_EQ(hex.GetDataLength(), 1024u);
    EXPECT_EQ(hex.GetImage()[0x300], 0x77);
}

TEST(IntelHex, OutOfOrderRecordReachingPastTheHighestByteIsKeptWhole)
{
    // 0x8000..0x800F, 0x81F0..0x81FF, then 0x81F8..0x8207 (starts inside, reaches past 0x81FF).
    CIntelHex hex;
    ASSERT_TRUE(Load(hex, Crlf({HexRecord(0, 0x8000, Bytes(16)), HexRecord(0, 0x81F0, Bytes(16)),
                                HexRecord(0, 0x81F8, Bytes(16, 0xC0)), HexRecord(1, 0, {})})));
    EXPECT_EQ(hex.GetDataLength(), 1024u) << "byte 0x8207 must be part of the image";
    EXPECT_EQ(hex.GetImage()[0x207], 0xCF);
}

TEST(IntelHex, FailedLoadKeepsTheEarlierImage)
{
    CTempDir dir;
    const std::string good = dir.File("good.hex"), bad = dir.File("bad.hex"), other = dir.File("other.hex");
    WriteFile(good, Crlf(Base256()));
    WriteFile(bad, JoinLines(Base256(), "\n"));
    WriteFile(other, Crlf({HexRecord(0, 0x8000, {0xAB}), HexRecord(1, 0, {})}));
    CIntelHex hex;
    ASSERT_TRUE(hex.Load(good));
    EXPECT_FALSE(hex.Load(bad));
    EXPECT_FALSE(hex.Load(dir.File("missing.hex")));
    EXPECT_EQ(hex.GetFileName(), bad) << "the name of the last file that could be opened";
    EXPECT_EQ(hex.GetStartAddress(), 0x8000);
    EXPECT_EQ(hex.GetDataLength(), 512u);
    EXPECT_EQ(hex.GetImage()[17], 17);
    ASSERT_TRUE(hex.Load(other));
    EXPECT_EQ(hex.GetImage()[0], 0xAB);
    EXPECT_EQ(hex.GetImage()[17], 0xFF) << "a new load replaces the image, it does not merge";
    const std::string empty = dir.File("empty.hex");
    WriteFile(empty, "");
    EXPECT_FALSE(hex.Load(empty));
    EXPECT_EQ(hex.GetImage()[0], 0xAB);
}
