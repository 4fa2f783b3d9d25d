// The firmware readers (S-record, Intel HEX, Airoha binary), the data source that chooses among
// them and the summary front ends print. Texts are built here from the record formats and read
// from buffers of exactly their size, so AddressSanitizer sees any read past the end.

#include "FWUpdater/CSRec.h"
#include "FWUpdater/FirmwareSummary.h"
#include "FWUpdater/SRecMerger.h"
#include "SRecReference.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <sstream>

namespace {

using ByteVector = std::vector<std::uint8_t>;

// n bytes counting up from first_I.
ByteVector Bytes(std::size_t n_I, std::uint8_t first_I = 0)
{
    ByteVector v(n_I);
    for (std::size_t i = 0; i < n_I; ++i) {
        v[i] = static_cast<std::uint8_t>(first_I + i);
    }
    return v;
}

std::string HexPairs(const ByteVector& bytes_I)
{
    std::string text;
    for (const std::uint8_t b : bytes_I) {
        text += "0123456789ABCDEF"[b >> 4];
        text += "0123456789ABCDEF"[b & 0xF];
    }
    return text;
}

// head_I, then the bytes and their checksum (S-records: one's complement of the sum; Intel HEX:
// two's complement) as hex pairs.
std::string Record(const std::string& head_I, ByteVector bytes_I, bool onesComplement_I)
{
    unsigned sum = 0;
    for (const std::uint8_t b : bytes_I) {
        sum += b;
    }
    bytes_I.push_back(static_cast<std::uint8_t>(onesComplement_I ? ~sum : 0x100 - (sum & 0xFF)));
    return head_I + HexPairs(bytes_I);
}

// One S-record line (no line end) of type '1', '2' or '3'.
std::string SRecLine(char type_I, std::uint32_t address_I, const ByteVector& data_I)
{
    const int addressBytes = type_I - '0' + 1;
    ByteVector bytes{static_cast<std::uint8_t>(addressBytes + data_I.size() + 1)};
    for (int k = addressBytes - 1; k >= 0; --k) {
        bytes.push_back(static_cast<std::uint8_t>(address_I >> (8 * k)));
    }
    bytes.insert(bytes.end(), data_I.begin(), data_I.end());
    return Record(std::string("S") + type_I, bytes, true);
}

// One Intel HEX record ":LLAAAATT...CC" (no line end).
std::string HexRecord(std::uint8_t type_I, std::uint16_t address_I, ByteVector data_I)
{
    const auto count = static_cast<std::uint8_t>(data_I.size());
    data_I.insert(data_I.begin(), {count, static_cast<std::uint8_t>(address_I >> 8), static_cast<std::uint8_t>(address_I), type_I});
    return Record(":", data_I, false);
}

std::string Join(const std::vector<std::string>& lines_I, const std::string& end_I = "\n")
{
    std::string text;
    for (const std::string& l : lines_I) {
        text += l + end_I;
    }
    return text;
}

// Blocks as "address:size:bytes" lines, so a mismatch shows where.
std::string BlocksText(const std::vector<SRecBlock>& blocks_I)
{
    std::string text;
    for (const SRecBlock& b : blocks_I) {
        text += std::to_string(b.address) + ":" + std::to_string(b.data.size()) + ":" + HexPairs(b.data) + "\n";
    }
    return text;
}

// The blocks start non-empty: a failed load must leave none.
bool ParseSRec(const std::string& text_I, std::vector<SRecBlock>& blocks_O, FirmwareLoadError* error_O = nullptr)
{
    const std::vector<char> exact(text_I.begin(), text_I.end());
    blocks_O = {SRecBlock{1, {1}}};
    return CSRec::ParseSRecText(exact.data(), exact.size(), blocks_O, error_O);
}

bool LoadHex(CIntelHex& hex_IO, const std::string& text_I)
{
    const std::vector<char> exact(text_I.begin(), text_I.end());
    return hex_IO.LoadFromText(exact.data(), exact.size());
}

// 16 records of 16 bytes from 0x8000 to 0x80FF (byte i holds i), then the end record.
std::vector<std::string> Hex256()
{
    std::vector<std::string> r;
    for (std::uint8_t first = 0; r.size() < 16; first += 16) {
        r.push_back(HexRecord(0, static_cast<std::uint16_t>(0x8000 + first), Bytes(16, first)));
    }
    r.push_back(HexRecord(1, 0, {}));
    return r;
}

std::string Image(const CBinaryAiroFlash& airo_I)
{
    return airo_I.GetBuffer() ? std::string(reinterpret_cast<const char*>(airo_I.GetBuffer()), airo_I.GetSize()) : "";
}

// A stream whose size (found by seeking) is larger than what it delivers: a file that shrank
// between the size query and the read.
class CShrinkingBuf : public std::stringbuf
{
public:
    CShrinkingBuf(const std::string& bytes_I, std::streamoff claimed_I) : std::stringbuf(bytes_I), mClaimed(claimed_I) {}

protected:
    pos_type seekoff(off_type off_I, std::ios_base::seekdir dir_I, std::ios_base::openmode which_I) override
    {
        if ((dir_I == std::ios_base::end || (dir_I == std::ios_base::cur && mAtEnd)) && off_I == 0) {
            mAtEnd = true;
            return pos_type(mClaimed);
        }
        mAtEnd = false;
        return std::stringbuf::seekoff(off_I, dir_I, which_I);
    }

private:
    std::streamoff mClaimed;
    bool mAtEnd = false;
};

class ImageFiles : public ::testing::Test
{
protected:
    std::string File(const std::string& name_I, const std::string& bytes_I)
    {
        WriteFile(mDir.File(name_I), bytes_I);
        return mDir.File(name_I);
    }
    // Two blocks: 16 bytes at 0x1000, 8 at 0x2000.
    std::string SRecFile(const std::string& name_I)
    {
        return File(name_I, Join({SRecLine('1', 0x1000, Bytes(16)), SRecLine('1', 0x2000, Bytes(8, 0x40))}));
    }

    CTempDir mDir;
};

} // namespace

TEST(SRecRecords, DecodedAndMergedIntoSortedBlocks)
{
    const std::string data4 = SRecLine('1', 0x100, Bytes(4)) + "\n";
    std::string lower = SRecLine('1', 0xABCD, {0xDE, 0xAD, 0xBE, 0xEF});
    std::transform(lower.begin() + 2, lower.end(), lower.begin() + 2, [](char c) { return char(std::tolower(c)); });
    const std::string a = SRecLine('1', 0x1000, Bytes(16)), b = SRecLine('1', 0x1010, Bytes(16, 16)),
                      c = SRecLine('1', 0x1020, Bytes(16, 32));
    const std::vector<std::string> withHeader{"S00600004844521B", SRecLine('1', 0x100, Bytes(32)),
                                              SRecLine('1', 0x120, Bytes(8, 32)), "S9030000FC"};
    const std::tuple<const char*, std::string, std::vector<SRecBlock>> cases[] = {
        {"ascending", Join({a, b, c}), {{0x1000, Bytes(48)}}},
        {"descending", Join({c, b, a}), {{0x1000, Bytes(48)}}},
        {"apart", Join({SRecLine('1', 0x2000, Bytes(16, 0x80)), a}), {{0x1000, Bytes(16)}, {0x2000, Bytes(16, 0x80)}}},
        {"starting inside gathered data: dropped, even reaching past", Join({a, SRecLine('1', 0x1008, Bytes(16, 0xA0))}),
         {{0x1000, Bytes(16)}}},
        {"touching two blocks: joins the first only",
         Join({SRecLine('1', 0x10, Bytes(16, 0x10)), SRecLine('1', 0x30, Bytes(16, 0x30)), SRecLine('1', 0x20, Bytes(16, 0x20))}),
         {{0x10, Bytes(32, 0x10)}, {0x30, Bytes(16, 0x30)}}},
        {"S2 address", SRecLine('2', 0x012345, Bytes(4)), {{0x012345, Bytes(4)}}},
        {"S3 address", SRecLine('3', 0x12345678, Bytes(4)), {{0x12345678, Bytes(4)}}},
        {"lower-case digits", lower, {{0xABCD, {0xDE, 0xAD, 0xBE, 0xEF}}}},
        // Count 0x10 with 3 data bytes; the checksum uses 0x10: 0x10+0x12+0x34+1+2+3 = 0x5C -> 0xA3.
        {"count field not matching the data", "S1101234010203A3", {{0x1234, {1, 2, 3}}}},
        {"CR LF, header, end record, end mark", Join(withHeader, "\r\n") + "\x1A" + "never read", {{0x100, Bytes(40)}}},
        {"blank lines, lone CR, no final line end", "\n\r\n" + SRecLine('1', 0x100, Bytes(4)), {{0x100, Bytes(4)}}},
        {"S0, S5, S7, S8, S9 unchecked", "S0 anything\nS5xxxxxxxxxx\nS7zzzzzzzzzz\nS8..........\nS9!!!!!!!!!!\n" + data4,
         {{0x100, Bytes(4)}}},
        {"ten characters without 'S'", "# a comment line\n" + data4, {{0x100, Bytes(4)}}},
        {"S3 just long enough: no data", SRecLine('3', 0x100, {}), {{0x100, {}}}},
    };
    for (const auto& [name, text, expected] : cases) {
        std::vector<SRecBlock> blocks;
        EXPECT_TRUE(ParseSRec(text, blocks)) << name;
        EXPECT_EQ(BlocksText(blocks), BlocksText(expected)) << name;
    }
}

TEST(SRecLines, MalformedFilesFailWithTheReasonAndTheLine)
{
    const std::string data = SRecLine('1', 0x100, Bytes(4));
    std::string badSum = data;
    badSum.back() = badSum.back() == '0' ? '1' : '0';
    const std::tuple<std::string, std::size_t, const char*> cases[] = {
        {"", 0, "the file is empty"},
        {"S00600004844521B\nS9030000FC\n", 0, "no data record"},
        {badSum, 1, "checksum mismatch"},
        {"S1020100AA52", 1, "byte count is below 3"}, // even with a matching checksum: 0x02+0x01+0x00+0xAA -> 0x52
        {data + "\n" + SRecLine('3', 0x100, Bytes(4)).replace(1, 1, "4"), 2, "not an S-record type"},
        {data + "\n" + SRecLine('3', 0x100, Bytes(4)).replace(1, 1, "6"), 2, "not an S-record type"},
        {data + "\nSX0000000000000", 2, "not an S-record type"},
        {data + "\nS1030000", 2, "too short"},
        {"abc\n" + data, 1, "too short"},
        {Join({SRecLine('1', 0x1000, Bytes(16)), SRecLine('1', 0x0FF8, Bytes(16))}), 2, "overlap"},
    };
    for (const auto& [text, line, reason] : cases) {
        std::vector<SRecBlock> blocks;
        FirmwareLoadError error;
        EXPECT_FALSE(ParseSRec(text, blocks, &error)) << text;
        EXPECT_TRUE(blocks.empty()) << text;
        EXPECT_EQ(error.line, line) << text;
        EXPECT_NE(error.reason.find(reason), std::string::npos) << error.reason;
    }
    // Ten characters or more, but no room for address and checksum; alone, each is the last text
    // of an exactly sized buffer.
    for (const std::string shortLine : {"S203000000", "S2030000000", "S303000000", "S3030000000", "S303000000\r",
                                        "S2030000000\r", "S1030000F\r"}) {
        for (const auto& [text, line] : {std::pair{shortLine, 1u}, {data + "\n" + shortLine, 2u}, {shortLine + "\n" + data, 1u}}) {
            std::vector<SRecBlock> blocks;
            FirmwareLoadError error;
            EXPECT_FALSE(ParseSRec(text, blocks, &error)) << text;
            EXPECT_TRUE(blocks.empty()) << text;
            EXPECT_EQ(error.line, line) << text;
        }
    }
}

// The merger against the plain model, on random record sequences: most chaotic sequences
// overlap and fail, most partition ones succeed; both outcomes must agree.
class SRecMergeDifferential : public ::testing::Test
{
protected:
    void Check(const std::vector<ReferenceRecord>& records_I)
    {
        std::vector<SRecBlock> expected, actual;
        const bool expectedOk = ReferenceMerge(records_I, expected);
        CSRecMerger merger;
        bool ok = true;
        for (std::size_t i = 0; i < records_I.size() && ok; ++i) {
            ok = merger.AddRecord(records_I[i].address, records_I[i].data.data(), records_I[i].data.size());
        }
        ok = merger.Finish(actual) && ok;
        std::string describe;
        for (const ReferenceRecord& r : records_I) {
            describe += "(" + std::to_string(r.address) + "," + std::to_string(r.data.size()) + ") ";
        }
        ASSERT_EQ(ok, expectedOk) << describe;
        ASSERT_EQ(BlocksText(actual), BlocksText(expected)) << describe;
        mSuccesses += ok ? 1 : 0;
    }

    ReferenceRecord Record(std::uint32_t address_I, std::size_t size_I)
    {
        ReferenceRecord r{address_I, ByteVector(size_I)};
        for (auto& b : r.data) {
            b = static_cast<std::uint8_t>(mRng());
        }
        return r;
    }

    std::mt19937 mRng{1234};
    int mSuccesses = 0;
};

TEST_F(SRecMergeDifferential, ChaoticRecordsNearZeroAndNearTheTopOfTheAddressSpace)
{
    for (int round = 0; round < 40000 && !HasFailure(); ++round) {
        std::vector<ReferenceRecord> records(1 + mRng() % 10);
        for (auto& r : records) {
            r = Record(((round % 2) ? 0xFFFFFFE0u : 0u) + mRng() % 32, mRng() % 7);
        }
        Check(records);
    }
    EXPECT_GT(mSuccesses, 4000);
}

TEST_F(SRecMergeDifferential, ShuffledPartitionsWithRepeatsAndEmptyRecords)
{
    mRng.seed(99);
    for (int round = 0; round < 20000 && !HasFailure(); ++round) {
        std::vector<ReferenceRecord> records;
        std::uint32_t at = mRng() % 8;
        for (int regions = 1 + static_cast<int>(mRng() % 4); regions > 0; --regions) {
            const std::uint32_t regionEnd = at + 1 + mRng() % 40;
            while (at < regionEnd) {
                const std::uint32_t size = std::min<std::uint32_t>(1 + mRng() % 8, regionEnd - at);
                records.push_back(Record(at, size));
                if (mRng() % 8 == 0) { // a repeat of a part of it: dropped or conflicting
                    records.push_back(Record(at + mRng() % size, mRng() % 6));
                }
                if (mRng() % 10 == 0) {
                    records.push_back(Record(at + mRng() % (size + 1), 0));
                }
                at += size;
            }
            at += mRng() % 5; // sometimes touching, sometimes apart
        }
        const unsigned order = mRng() % 3;
        if (order == 0) {
            std::shuffle(records.begin(), records.end(), mRng);
        } else if (order == 1) {
            std::reverse(records.begin(), records.end());
        }
        Check(records);
    }
    EXPECT_GT(mSuccesses, 6000);
}

TEST_F(SRecMergeDifferential, LoaderMatchesTheModelOnGeneratedFiles)
{
    mRng.seed(7);
    for (int round = 0; round < 500; ++round) {
        std::vector<ReferenceRecord> records(1 + mRng() % 12);
        std::string text;
        for (auto& r : records) {
            r = Record(0x4000 + mRng() % 64, 1 + mRng() % 12);
            text += SRecLine("123"[mRng() % 3], r.address, r.data) + ((mRng() % 2) ? "\r\n" : "\n");
        }
        std::vector<SRecBlock> expected, actual;
        const bool expectedOk = ReferenceMerge(records, expected);
        ASSERT_EQ(ParseSRec(text, actual), expectedOk) << text;
        ASSERT_EQ(BlocksText(actual), BlocksText(expected)) << text;
    }
}

TEST(SRecMerger, LongDescendingRunBuildsTheSameBlockAsAscending)
{
    // 200,000 records: quadratic prepending would move about 4e11 bytes here.
    constexpr std::uint32_t kRecords = 200000;
    CSRecMerger up, down;
    for (std::uint32_t n = 0; n < 2 * kRecords; ++n) {
        const std::uint32_t i = n < kRecords ? n : 2 * kRecords - 1 - n;
        const ByteVector rec = Bytes(16, static_cast<std::uint8_t>(i * 7));
        ASSERT_TRUE((n < kRecords ? up : down).AddRecord(0x100000 + i * 16, rec.data(), rec.size()));
    }
    std::vector<SRecBlock> a, b;
    ASSERT_TRUE(up.Finish(a) && down.Finish(b));
    ASSERT_EQ(a.size() + b.size(), 2u);
    EXPECT_EQ(b[0].address, 0x100000u);
    EXPECT_TRUE(a[0].data == b[0].data);
}

TEST(IntelHex, GoodFilesGiveTheImageRoundedUpTo512WithTheRestErased)
{
    const std::string end = HexRecord(1, 0, {});
    std::vector<std::string> beyond512 = Hex256();
    beyond512.insert(beyond512.end() - 1, HexRecord(0, 0x8200, {0x5A}));
    const std::tuple<const char*, std::vector<std::string>, std::uint32_t, std::vector<std::pair<std::uint32_t, int>>> cases[] = {
        {"256 bytes", Hex256(), 512, {{0, 0}, {0x7F, 0x7F}, {0xFF, 0xFF}}},
        {"one byte beyond 512", beyond512, 1024, {{0x1FF, 0xFF}, {0x200, 0x5A}}},
        {"extended linear address 0", {HexRecord(4, 0, {0, 0}), HexRecord(0, 0x8000, Bytes(4, 9)), end}, 512, {{0, 9}}},
        {"segment 0x0800", {HexRecord(2, 0, {0x08, 0}), HexRecord(0, 0, Bytes(4, 9)), end}, 512, {{0, 9}, {3, 12}}},
        {"up to 0x33FFF", {HexRecord(0, 0x8000, {1}), HexRecord(4, 0, {0, 3}), HexRecord(0, 0x3FFF, {2}), end}, 0x2C000,
         {{0, 1}, {0x2BFFF, 2}}},
        {"start records checked and ignored",
         {HexRecord(3, 0, {0, 0, 0x80, 0}), HexRecord(5, 0, {0, 0, 0x80, 0}), HexRecord(0, 0x8000, Bytes(4)), end}, 512,
         {{3, 3}}},
        {"records after the end record", {HexRecord(0, 0x8000, Bytes(4)), end, HexRecord(0, 0x8300, {0x77})}, 1024,
         {{0x300, 0x77}}},
        // 0x81F8..0x8207 starts inside the data seen (up to 0x81FF) and reaches past it.
        {"out of order, reaching past the highest byte",
         {HexRecord(0, 0x8000, Bytes(16)), HexRecord(0, 0x81F0, Bytes(16)), HexRecord(0, 0x81F8, Bytes(16, 0xC0)), end},
         1024, {{0x1F7, 0x07}, {0x1F8, 0xC0}, {0x207, 0xCF}}},
    };
    for (const auto& [name, records, length, bytes] : cases) {
        SCOPED_TRACE(name);
        CIntelHex hex;
        EXPECT_EQ(hex.GetStartAddress(), -1);
        ASSERT_TRUE(LoadHex(hex, Join(records, "\r\n"))) << hex.GetLoadError().Text();
        EXPECT_EQ(hex.GetStartAddress(), 0x8000);
        EXPECT_EQ(hex.GetDataLength(), length);
        for (const auto& [offset, value] : bytes) {
            EXPECT_EQ(hex.GetImage()[offset], value) << offset;
        }
        for (std::uint32_t i = hex.GetDataLength(); i < CIntelHex::kImageSize; ++i) {
            ASSERT_EQ(hex.GetImage()[i], 0xFF) << i;
        }
    }
    CIntelHex hex;
    EXPECT_TRUE(LoadHex(hex, "junk before the colon " + Join(Hex256(), "\r\n")));
}

TEST(IntelHex, MalformedFilesFailWithTheLine)
{
    const std::string end = HexRecord(1, 0, {}), data = HexRecord(0, 0x8000, Bytes(4));
    const std::string text = Join(Hex256(), "\r\n"); // 17 lines
    std::string blank = text, badExt = HexRecord(4, 0, {0, 0}), sign = data;
    blank.insert(Hex256()[0].size(), " ");
    badExt.back() = badExt.back() == '0' ? '1' : '0';
    sign.replace(9, 2, "+0"); // data byte 00 as "+0": the same value to a lenient number reader
    auto crlf = [](const std::vector<std::string>& records) { return Join(records, "\r\n"); };
    const std::tuple<const char*, std::string, std::size_t> cases[] = {
        {"line feed alone", Join(Hex256()), 1}, {"last line without end", text.substr(0, text.size() - 2), 17},
        {"blank before the CR LF", blank, 1}, {"NUL", text + std::string("\0\r\n", 3), 18},
        {"end mark", text + "\x1A\r\n", 18}, {"empty", "", 1},
        {"extended address checksum", crlf({badExt, data, end}), 1}, {"type 6", crlf({data, HexRecord(6, 0, {})}), 2},
        {"truncated record", crlf({data, ":1080"}), 2}, {"not a hex digit", crlf({data, ":04801000G0010203E5"}), 2},
        {"sign in a data byte", crlf({sign, end}), 1},
        {"first data not at 0x8000", crlf({HexRecord(0, 0x8010, Bytes(4)), end}), 0}, {"no data", crlf({end}), 0},
        {"extended linear address 1", crlf({HexRecord(4, 0, {0, 1}), data, end}), 0},
        {"later record below the first", crlf({data, HexRecord(0, 0x7FF0, Bytes(4)), end}), 2},
        {"data at 0x34000", crlf({data, HexRecord(4, 0, {0, 3}), HexRecord(0, 0x4000, {2}), end}), 0},
        {"beyond the work area", crlf({data, HexRecord(4, 0, {0, 3}), HexRecord(0, 0x8000, {2}), end}), 3},
    };
    for (const auto& [name, hexText, line] : cases) {
        CIntelHex hex;
        EXPECT_FALSE(LoadHex(hex, hexText)) << name;
        EXPECT_EQ(hex.GetStartAddress(), -1) << name;
        EXPECT_FALSE(hex.GetLoadError().reason.empty()) << name;
        EXPECT_EQ(hex.GetLoadError().line, line) << name << ": " << hex.GetLoadError().reason;
    }
}

TEST_F(ImageFiles, AirohaImageIsTheFileByteForByteAndAFailedLoadKeepsThePreviousOne)
{
    const std::string bytes = std::string(100000, '\x5A') + "\r\n\n\r\x1A" + std::string(700, '\0');
    CBinaryAiroFlash airo;
    EXPECT_EQ(airo.GetStartAddress(), -1);
    ASSERT_TRUE(airo.Load(File("a.airoflash", std::string(5000, 'x'))));
    ASSERT_TRUE(airo.Load(File("b.airoflash", bytes)));
    EXPECT_EQ(airo.GetStartAddress(), 0);
    EXPECT_TRUE(Image(airo) == bytes) << "a second, smaller file replaces the first wholly";
    const std::pair<const char*, std::function<bool(CBinaryAiroFlash&)>> failing[] = {
        {"missing", [&](CBinaryAiroFlash& a) { return a.Load(mDir.File("missing")); }},
        {"empty", [&](CBinaryAiroFlash& a) { return a.Load(File("empty", "")); }},
        {"read stops short of the size", [](CBinaryAiroFlash& a) {
             CShrinkingBuf shrunk(std::string(600, 'y'), 2048);
             std::istream in(&shrunk);
             return a.LoadFromStream(in);
         }},
    };
    for (const auto& [name, load] : failing) {
        SCOPED_TRACE(name);
        CBinaryAiroFlash fresh;
        EXPECT_FALSE(load(fresh));
        EXPECT_EQ(fresh.GetStartAddress(), -1) << "a partly read image must not count as loaded";
        EXPECT_EQ(fresh.GetSize(), 0u);
        EXPECT_FALSE(fresh.GetLoadError().reason.empty());
        EXPECT_FALSE(load(airo));
        EXPECT_EQ(airo.GetStartAddress(), 0);
        EXPECT_TRUE(Image(airo) == bytes) << "a size without the bytes to go with it would be programmed";
    }
}

TEST(DataSourceFormat, ExtensionAfterTheLastDotDecidesIgnoringCase)
{
    const std::pair<const char*, DataSourceFormat> cases[] = {
        {"C:\\fw\\Tablet.PEN", eFormatPen}, {"tablet.touch", eFormatTouch}, {"tablet.vel", eFormatVel},
        {"tablet.Hex", eFormatIntelHex}, {"a.AiroFlash", eFormatAiroFlash}, {"tablet.pen.bak", eFormatUnknown},
        {"firmware", eFormatUnknown}, {"C:\\fw1.2\\firmware", eFormatUnknown}, {"dir.pen/", eFormatUnknown},
        {".hex", eFormatIntelHex}, {"tablet.", eFormatUnknown}, {"tablet.hexx", eFormatUnknown},
    };
    CDiagnosticCapture capture;
    for (const auto& [name, format] : cases) {
        CSRec source;
        EXPECT_FALSE(source.Load(name)) << name; // none of them exists
        EXPECT_EQ(source.GetFileType(), format) << name;
        EXPECT_EQ(source.GetFileName(), name);
    }
}

TEST_F(ImageFiles, GuardsAssertInOrderAndLoadOrClearNothing)
{
    const std::string notes = File("notes.txt", SRecLine('1', 0x10, Bytes(4)));
    const std::tuple<const char*, std::function<bool(CSRec&)>, DataSourceFormat, std::vector<std::string>> cases[] = {
        {"empty path", [](CSRec& s) { return s.Load(""); }, eFormatUnknown,
         {"firmware file not specified", "unrecognized file format"}},
        {"unknown extension", [&](CSRec& s) { return s.Load(notes); }, eFormatUnknown, {"unrecognized file format"}},
        {"loaders of another format",
         [&](CSRec& s) { return s.Load(mDir.File("x.hex")) || s.LoadSRec("x.pen") || s.LoadAiroHa("x.airoflash"); },
         eFormatIntelHex, {"Trying to load a non-SREC file format!", "Trying to load a non-AiroHa file format!"}},
    };
    for (const auto& [name, act, format, asserts] : cases) {
        SCOPED_TRACE(name);
        CSRec source;
        ASSERT_TRUE(source.Load(SRecFile("good.pen")));
        CDiagnosticCapture capture;
        EXPECT_FALSE(act(source));
        EXPECT_EQ(source.GetFileType(), format);
        EXPECT_EQ(source.GetBlocks().size(), 2u);
        const auto lines = capture.Lines();
        ASSERT_EQ(lines.size(), asserts.size());
        for (std::size_t i = 0; i < lines.size(); ++i) { // the path's prefix depends on how the build names sources
            EXPECT_EQ(lines[i].rfind("Assert:(\"" + asserts[i] + "\") in ", 0), 0u) << lines[i];
            EXPECT_NE(lines[i].find("CSRec.cpp at "), std::string::npos) << lines[i];
        }
    }
}

TEST_F(ImageFiles, EachFormatGoesToItsReaderAndOnlyAFailedSRecLoadEmptiesTheBlocks)
{
    CSRec source;
    EXPECT_FALSE(source.HasLoadedData());
    const auto hex = source.GetIntelHexData();
    const auto airo = source.GetAiroFlashData();
    ASSERT_TRUE(source.Load(SRecFile("fw.vel")));
    EXPECT_EQ(source.GetFileType(), eFormatVel);
    EXPECT_TRUE(source.HasLoadedData());
    EXPECT_EQ(hex->GetStartAddress(), -1);
    ASSERT_TRUE(source.Load(File("fw.HEX", Join(Hex256(), "\r\n"))));
    EXPECT_EQ(source.GetIntelHexData(), hex) << "images are loaded in place, never replaced";
    EXPECT_EQ(source.GetBlocks().size(), 2u) << "an Intel HEX load leaves the S-record blocks alone";
    ASSERT_TRUE(source.Load(File("bt.airoflash", std::string("\x01\x02\x03", 3))));
    EXPECT_EQ(source.GetAiroFlashData(), airo);
    EXPECT_EQ(airo->GetSize(), 3u);
    for (const std::string& failing : {File("lf.hex", Join(Hex256())), File("empty.hex", ""), mDir.File("missing.hex")}) {
        EXPECT_FALSE(source.Load(failing));
        EXPECT_EQ(hex->GetDataLength(), 512u);
        EXPECT_EQ(hex->GetImage()[17], 17);
    }
    EXPECT_EQ(hex->GetFileName(), mDir.File("empty.hex")) << "the last file that could be opened";
    ASSERT_TRUE(source.Load(File("other.hex", Join({HexRecord(0, 0x8000, {0xAB}), HexRecord(1, 0, {})}, "\r\n"))));
    EXPECT_EQ(hex->GetImage()[0], 0xAB);
    EXPECT_EQ(hex->GetImage()[17], 0xFF) << "a new load replaces the image, it does not merge";
    EXPECT_EQ(source.GetBlocks().size(), 2u);

    EXPECT_FALSE(source.Load(File("bad.touch", SRecLine('1', 0x10, Bytes(4)) + "\nS4\n")));
    EXPECT_EQ(source.GetFileType(), eFormatTouch);
    EXPECT_TRUE(source.GetBlocks().empty());
    ASSERT_TRUE(source.Load(SRecFile("again.pen")));
    EXPECT_FALSE(source.Load(mDir.File("missing.pen")));
    EXPECT_TRUE(source.GetBlocks().empty());
}

TEST_F(ImageFiles, SummaryTextAndJsonOfEachFormat)
{
#ifdef _WIN32
    const std::string airoName = "quote.airoflash"; // Windows names cannot hold a quotation mark
#else
    const std::string airoName = "q\"uote.airoflash";
#endif
    const std::tuple<std::string, std::string, std::string, std::string> cases[] = {
        // name, contents, text after "File: <path>\n" (empty: not checked), JSON after the file member.
        // Block 0x1000: bytes 0..19 (sum 190); block 0x2000: 0xFF x 3 (sum 765).
        {"fw.pen", Join({SRecLine('1', 0x2000, {0xFF, 0xFF, 0xFF}), SRecLine('3', 0x1000, Bytes(20))}),
         "Format: pen (0)\nBlocks: 2\n  0x00001000  size 20  byte sum 190\n  0x00002000  size 3  byte sum 765\n",
         "\"format\":\"pen\",\"formatId\":0,\"hasData\":true,\"blocks\":[{\"address\":4096,\"size\":20,\"byteSum\":190},"
         "{\"address\":8192,\"size\":3,\"byteSum\":765}]}"},
        // The sum covers the whole data length: 1 + 2 + 3 and 509 erased bytes.
        {"fw.hex", Join({HexRecord(0, 0x8000, {1, 2, 3}), HexRecord(1, 0, {})}, "\r\n"), "",
         "\"format\":\"hex\",\"formatId\":3,\"hasData\":true,\"startAddress\":32768,\"dataLength\":512,\"byteSum\":"
             + std::to_string(6 + 509 * 255) + "}"},
        {airoName, std::string("\x10\x20\xF0", 3), "Format: airoflash (4)\nSize: 3\nByte sum: 288\n",
         "\"format\":\"airoflash\",\"formatId\":4,\"hasData\":true,\"size\":3,\"byteSum\":288}"},
        {"nothing.bin", "", "Format: unknown (99)\nData: none\n", "\"format\":\"unknown\",\"formatId\":99,\"hasData\":false}"},
    };
    CDiagnosticCapture capture;
    for (const auto& [name, contents, text, json] : cases) {
        const std::string path = File(name, contents);
        std::string escaped;
        for (const char c : path) {
            escaped += (c == '\\' || c == '"') ? std::string("\\") + c : std::string(1, c);
        }
        CSRec source;
        source.Load(path);
        const FirmwareSummary summary = SummarizeFirmware(source);
        EXPECT_EQ(FirmwareSummaryText(summary), text.empty() ? FirmwareSummaryText(summary) : "File: " + path + "\n" + text);
        EXPECT_EQ(FirmwareSummaryJson(summary), "{\"file\":\"" + escaped + "\"," + json);
    }
}
