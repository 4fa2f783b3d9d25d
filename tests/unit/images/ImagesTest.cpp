// The firmware readers, the data source choosing among them, and the summary. Texts are built from
// the record formats and read from buffers of exactly their size: ASan sees any read past the end.

#include "FWUpdater/CSRec.h"
#include "FWUpdater/FirmwareSummary.h"
#include "FWUpdater/SRecMerger.h"
#include "RecordText.h"
#include "SRecReference.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <sstream>

namespace {

using ByteVector = std::vector<std::uint8_t>;

ByteVector Bytes(std::size_t n_I, std::uint8_t first_I = 0)
{
    ByteVector v(n_I);
    for (std::size_t i = 0; i < n_I; ++i)
        v[i] = static_cast<std::uint8_t>(first_I + i);
    return v;
}

std::string Join(const std::vector<std::string>& lines_I, const std::string& end_I = "\n")
{
    std::string text;
    for (const std::string& l : lines_I)
        text += l + end_I;
    return text;
}

std::string Crlf(const std::vector<std::string>& lines_I)
{
    return Join(lines_I, "\r\n");
}

// Blocks as "address:size:bytes" lines, so a mismatch shows where.
std::string BlocksText(const std::vector<SRecBlock>& blocks_I)
{
    std::string text;
    for (const SRecBlock& b : blocks_I)
        text += std::to_string(b.address) + ":" + std::to_string(b.data.size()) + ":" + HexPairs(b.data) + "\n";
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
    return hex_IO.LoadFromText(std::vector<char>(text_I.begin(), text_I.end()).data(), text_I.size());
}

// 16 records of 16 bytes from 0x8000 to 0x80FF (byte i holds i), then the end record.
std::vector<std::string> Hex256()
{
    std::vector<std::string> r;
    for (std::uint8_t first = 0; r.size() < 16; first += 16)
        r.push_back(HexRecord(0, static_cast<std::uint16_t>(0x8000 + first), Bytes(16, first)));
    r.push_back(HexRecord(1, 0, {}));
    return r;
}

// A stream whose size (found by seeking) is larger than what it delivers: a file that shrank
// between the size query and the read.
struct CShrinkingBuf : std::stringbuf
{
    CShrinkingBuf(const std::string& bytes_I, std::streamoff size_I) : std::stringbuf(bytes_I), mSize(size_I) {}
    pos_type seekoff(off_type off_I, std::ios_base::seekdir dir_I, std::ios_base::openmode which_I) override
    {
        mAtEnd = (dir_I == std::ios_base::end || (dir_I == std::ios_base::cur && mAtEnd)) && off_I == 0;
        return mAtEnd ? pos_type(mSize) : std::stringbuf::seekoff(off_I, dir_I, which_I);
    }
    std::streamoff mSize;
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

    CTempDir mDir;
};

} // namespace

TEST(SRecRecords, DecodedAndMergedIntoSortedBlocksOrFailingWithReasonAndLine)
{
    // How records merge into blocks: the differential test below, against the plain model.
    const std::string d = SRecLine('1', 0x100, Bytes(4)), a = SRecLine('1', 0x1000, Bytes(16));
    std::string lower = SRecLine('1', 0xABCD, {0xDE, 0xAD, 0xBE, 0xEF}), badSum = d;
    for (std::size_t i = 2; i < lower.size(); ++i)
        lower[i] = static_cast<char>(std::tolower(lower[i]));
    badSum.back() = badSum.back() == '0' ? '1' : '0';
    const std::vector<SRecBlock> just4{{0x100, Bytes(4)}};
    // Text, the blocks it gives, or the line and reason it fails with.
    std::vector<std::tuple<std::string, std::vector<SRecBlock>, std::size_t, const char*>> cases{
        {Join({SRecLine('2', 0x012345, Bytes(4)), SRecLine('3', 0x12345678, Bytes(4))}),
         {{0x012345, Bytes(4)}, {0x12345678, Bytes(4)}}, 0, nullptr},
        {lower, {{0xABCD, {0xDE, 0xAD, 0xBE, 0xEF}}}, 0, nullptr},
        // Count 0x10 with 3 data bytes; the checksum uses 0x10: 0x10+0x12+0x34+1+2+3 = 0x5C -> 0xA3.
        {"S1101234010203A3", {{0x1234, {1, 2, 3}}}, 0, nullptr},
        {Crlf({"S00600004844521B", SRecLine('1', 0x100, Bytes(32)), SRecLine('1', 0x120, Bytes(8, 32)),
               "S9030000FC"}) + "\x1A" + "never read",
         {{0x100, Bytes(40)}}, 0, nullptr},
        // Blank lines, a lone CR, records of other types, ten characters without 'S', no final line end.
        {"\n\r\nS0 anything\nS5xxxxxxxxxx\nS7zzzzzzzzzz\nS8..........\nS9!!!!!!!!!!\n# a comment\n" + d, just4, 0,
         nullptr},
        {SRecLine('3', 0x100, {}), {{0x100, {}}}, 0, nullptr}, // just long enough: no data
        {"", {}, 0, "the file is empty"},
        {"S00600004844521B\nS9030000FC\n", {}, 0, "no data record"},
        {badSum, {}, 1, "checksum mismatch"},
        {"S1020100AA52", {}, 1, "byte count is below 3"}, // checksum matches: 0x02+0x01+0x00+0xAA -> 0x52
        {d + "\n" + SRecLine('3', 0x100, Bytes(4)).replace(1, 1, "4"), {}, 2, "not an S-record type"},
        {d + "\n" + SRecLine('3', 0x100, Bytes(4)).replace(1, 1, "6"), {}, 2, "not an S-record type"},
        {d + "\nSX0000000000000", {}, 2, "not an S-record type"},
        {d + "\nS1030000", {}, 2, "too short"},
        {"abc\n" + d, {}, 1, "too short"},
        {Join({a, SRecLine('1', 0x0FF8, Bytes(16))}), {}, 2, "overlap"},
    };
    // Ten characters or more but no room for address and checksum; alone, the end of the buffer.
    for (const std::string s : {"S203000000", "S2030000000", "S303000000", "S3030000000", "S303000000\r",
                                "S2030000000\r", "S1030000F\r"}) {
        cases.insert(cases.end(), {{s, {}, 1, "needs at least"}, {d + "\n" + s, {}, 2, "needs at least"},
                                   {s + "\n" + d, {}, 1, "needs at least"}});
    }
    for (const auto& [text, expected, line, reason] : cases) {
        std::vector<SRecBlock> blocks;
        FirmwareLoadError error;
        EXPECT_EQ(ParseSRec(text, blocks, &error), reason == nullptr) << text;
        EXPECT_EQ(BlocksText(blocks), BlocksText(expected)) << text;
        const bool because = error.reason.find(reason ? reason : "") != std::string::npos;
        EXPECT_TRUE(error.line == line && because) << text << ": " << error.Text();
    }
}

// Against the plain model: chaotic records near both ends of the address space (most overlap and
// fail), and shuffled partitions with repeats and empty records (most succeed).
TEST(SRecMergeDifferential, MergerAndLoaderAgreeWithThePlainModelAndStayFast)
{
    std::mt19937 rng(1234);
    auto record = [&rng](std::uint32_t address, std::size_t size) {
        ReferenceRecord r{address, ByteVector(size)};
        for (auto& b : r.data)
            b = static_cast<std::uint8_t>(rng());
        return r;
    };
    int successes = 0;
    for (int round = 0; round < 60000 && !::testing::Test::HasFailure(); ++round) {
        std::vector<ReferenceRecord> records;
        if (round % 3 != 2) {
            for (std::uint32_t n = 1 + rng() % 10; n > 0; --n)
                records.push_back(record(((round % 3) ? 0xFFFFFFE0u : 0u) + rng() % 32, rng() % 7));
        } else {
            std::uint32_t at = rng() % 8;
            for (int regions = 1 + static_cast<int>(rng() % 4); regions > 0; --regions) {
                for (const std::uint32_t regionEnd = at + 1 + rng() % 40; at < regionEnd;) {
                    const std::uint32_t size = std::min<std::uint32_t>(1 + rng() % 8, regionEnd - at);
                    records.push_back(record(at, size));
                    if (rng() % 8 == 0) { // a repeat of a part of it: dropped or conflicting
                        records.push_back(record(at + rng() % size, rng() % 6));
                    }
                    if (rng() % 10 == 0)
                        records.push_back(record(at + rng() % (size + 1), 0));
                    at += size;
                }
                at += rng() % 5; // sometimes touching, sometimes apart
            }
            const unsigned order = rng() % 3;
            if (order == 0)
                std::shuffle(records.begin(), records.end(), rng);
            else if (order == 1)
                std::reverse(records.begin(), records.end());
        }
        std::vector<SRecBlock> expected, actual;
        const bool expectedOk = ReferenceMerge(records, expected);
        const bool ok = ProductMerge(records, actual);
        EXPECT_EQ(ok, expectedOk) << "round " << round;
        EXPECT_EQ(BlocksText(actual), BlocksText(expected)) << "round " << round;
        successes += ok ? 1 : 0;
    }
    EXPECT_GT(successes, 10000);

    for (int round = 0; round < 500; ++round) { // the loader, on files of such records
        std::vector<ReferenceRecord> records(1 + rng() % 12);
        std::string text;
        for (auto& r : records) {
            r = record(0x4000 + rng() % 64, 1 + rng() % 12);
            text += SRecLine("123"[rng() % 3], r.address, r.data) + ((rng() % 2) ? "\r\n" : "\n");
        }
        std::vector<SRecBlock> expected, actual;
        const bool expectedOk = ReferenceMerge(records, expected);
        ASSERT_EQ(ParseSRec(text, actual), expectedOk) << text;
        ASSERT_EQ(BlocksText(actual), BlocksText(expected)) << text;
    }

    // 200,000 records in one descending run: quadratic prepending would move about 4e11 bytes here.
    CSRecMerger merger;
    for (std::uint32_t i = 200000; i-- > 0;) {
        const ByteVector rec = Bytes(16, static_cast<std::uint8_t>(i * 7));
        ASSERT_TRUE(merger.AddRecord(0x100000 + i * 16, rec.data(), rec.size()));
    }
    std::vector<SRecBlock> blocks;
    ASSERT_TRUE(merger.Finish(blocks) && blocks.size() == 1 && blocks[0].address == 0x100000);
    for (std::size_t j = 0; j < blocks[0].data.size(); ++j)
        ASSERT_EQ(blocks[0].data[j], static_cast<std::uint8_t>(j / 16 * 7 + j % 16)) << j;
}

TEST(IntelHex, GoodFilesGiveTheImageRoundedUpTo512WithTheRestErased)
{
    const std::string end = HexRecord(1, 0, {});
    std::vector<std::string> beyond512 = Hex256();
    beyond512.insert(beyond512.end() - 1, HexRecord(0, 0x8200, {0x5A}));
    using Samples = std::vector<std::pair<std::uint32_t, int>>;
    const std::tuple<std::vector<std::string>, std::uint32_t, Samples> cases[] = {
        {Hex256(), 512, {{0, 0}, {0x7F, 0x7F}, {0xFF, 0xFF}}},
        {{"junk before the colon " + HexRecord(0, 0x8000, {3}), end}, 512, {{0, 3}}},
        {beyond512, 1024, {{0x1FF, 0xFF}, {0x200, 0x5A}}},
        {{HexRecord(2, 0, {0x08, 0}), HexRecord(0, 0, Bytes(4, 9)), end}, 512, {{0, 9}, {3, 12}}},
        {{HexRecord(0, 0x8000, {1}), HexRecord(4, 0, {0, 3}), HexRecord(0, 0x3FFF, {2}), end}, 0x2C000,
         {{0, 1}, {0x2BFFF, 2}}},
        // Start records are checked and ignored; records after the end record count.
        {{HexRecord(3, 0, {0, 0, 0x80, 0}), HexRecord(5, 0, {0, 0, 0x80, 0}), HexRecord(0, 0x8000, {7}), end}, 512,
         {{0, 7}}},
        {{HexRecord(0, 0x8000, Bytes(4)), end, HexRecord(0, 0x8300, {0x77})}, 1024, {{0x300, 0x77}}},
        // 0x81F8..0x8207 starts inside the data seen (up to 0x81FF) and reaches past it.
        {{HexRecord(0, 0x8000, {1}), HexRecord(0, 0x81F0, Bytes(16)), HexRecord(0, 0x81F8, Bytes(16, 0xC0)), end},
         1024, {{0x1F7, 0x07}, {0x1F8, 0xC0}, {0x207, 0xCF}}},
    };
    for (const auto& [records, length, bytes] : cases) {
        CIntelHex hex;
        ASSERT_TRUE(hex.GetStartAddress() == -1 && LoadHex(hex, Crlf(records))) << hex.GetLoadError().Text();
        EXPECT_TRUE(hex.GetStartAddress() == 0x8000 && hex.GetDataLength() == length) << records[0];
        for (const auto& [offset, value] : bytes)
            EXPECT_EQ(hex.GetImage()[offset], value) << offset;
        for (std::uint32_t i = hex.GetDataLength(); i < CIntelHex::kImageSize; ++i)
            ASSERT_EQ(hex.GetImage()[i], 0xFF) << i;
    }
}

TEST(IntelHex, MalformedFilesFailWithTheLine)
{
    const std::string end = HexRecord(1, 0, {}), data = HexRecord(0, 0x8000, Bytes(4)), all = Crlf(Hex256());
    std::string blank = all, badExt = HexRecord(4, 0, {0, 0}), sign = data;
    blank.insert(Hex256()[0].size(), " ");
    badExt.back() = badExt.back() == '0' ? '1' : '0';
    sign.replace(9, 2, "+0"); // data byte 00 as "+0": the same value to a lenient number reader
    const std::tuple<const char*, std::string, std::size_t> cases[] = {
        {"LF alone", Join(Hex256()), 1}, {"last line without end", all.substr(0, all.size() - 2), 17},
        {"blank before the CR LF", blank, 1}, {"NUL", all + std::string("\0\r\n", 3), 18},
        {"end mark", all + "\x1A\r\n", 18}, {"empty", "", 1},
        {"extended address checksum", Crlf({badExt, data, end}), 1},
        {"type 6", Crlf({data, HexRecord(6, 0, {})}), 2},
        {"truncated", Crlf({data, ":1080"}), 2}, {"not a hex digit", Crlf({data, ":04801000G0010203E5"}), 2},
        {"sign in a data byte", Crlf({sign, end}), 1}, {"no data", Crlf({end}), 0},
        {"first data not at 0x8000", Crlf({HexRecord(0, 0x8010, Bytes(4)), end}), 0},
        {"extended linear address 1", Crlf({HexRecord(4, 0, {0, 1}), data, end}), 0},
        {"later record below the first", Crlf({data, HexRecord(0, 0x7FF0, Bytes(4)), end}), 2},
        {"data at 0x34000", Crlf({data, HexRecord(4, 0, {0, 3}), HexRecord(0, 0x4000, {2}), end}), 0},
        {"beyond the work area", Crlf({data, HexRecord(4, 0, {0, 3}), HexRecord(0, 0x8000, {2}), end}), 3},
    };
    for (const auto& [name, text, line] : cases) {
        CIntelHex hex;
        EXPECT_TRUE(!LoadHex(hex, text) && hex.GetStartAddress() < 0 && !hex.GetLoadError().reason.empty()) << name;
        EXPECT_EQ(hex.GetLoadError().line, line) << name << ": " << hex.GetLoadError().reason;
    }
}

TEST_F(ImageFiles, AirohaImageIsTheFileByteForByteAndAFailedLoadKeepsThePreviousOne)
{
    const std::string bytes = std::string(100000, '\x5A') + "\r\n\n\r\x1A" + std::string(700, '\0');
    CBinaryAiroFlash airo;
    ASSERT_TRUE(airo.GetStartAddress() == -1 && airo.Load(File("a.airoflash", std::string(200000, 'x'))));
    ASSERT_TRUE(airo.Load(File("b.airoflash", bytes))); // a smaller file replaces the first wholly
    auto image = [&airo] { return std::string(airo.GetBuffer(), airo.GetBuffer() + airo.GetSize()); };
    EXPECT_TRUE(airo.GetStartAddress() == 0 && image() == bytes);
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
        CBinaryAiroFlash fresh; // a partly read image must not count as loaded, nor a size without its bytes
        EXPECT_TRUE(!load(fresh) && fresh.GetStartAddress() == -1 && fresh.GetSize() == 0) << name;
        EXPECT_FALSE(fresh.GetLoadError().reason.empty()) << name;
        EXPECT_TRUE(!load(airo) && airo.GetStartAddress() == 0 && image() == bytes) << name;
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
    for (const auto& [name, format] : cases) {
        CSRec source; // none of them exists
        EXPECT_TRUE(!source.Load(name) && source.GetFileType() == format && source.GetFileName() == name) << name;
    }
}

TEST_F(ImageFiles, EachFormatGoesToItsReaderAndOnlyAFailedSRecLoadEmptiesTheBlocks)
{
    const std::string twoBlocks = Join({SRecLine('1', 0x1000, Bytes(16)), SRecLine('1', 0x2000, Bytes(8, 0x40))});
    CSRec source;
    const auto hex = source.GetIntelHexData();
    const auto airo = source.GetAiroFlashData();
    EXPECT_FALSE(source.HasLoadedData());
    ASSERT_TRUE(source.Load(File("fw.vel", twoBlocks)));
    EXPECT_TRUE(source.GetFileType() == eFormatVel && source.HasLoadedData() && hex->GetStartAddress() == -1);
    CDiagnosticCapture capture; // each guard asserts, and loads or clears nothing
    EXPECT_FALSE(source.Load("") || source.Load(File("notes.txt", SRecLine('1', 0x10, Bytes(4))))
                 || source.LoadSRec("x.pen") || source.LoadAiroHa("x.airoflash"));
    EXPECT_TRUE(source.GetFileType() == eFormatUnknown && source.GetBlocks().size() == 2);
    EXPECT_EQ(capture.Lines().size(), 5u);
    ASSERT_TRUE(source.Load(File("fw.HEX", Crlf(Hex256()))));
    EXPECT_EQ(source.GetIntelHexData(), hex) << "images are loaded in place, never replaced";
    ASSERT_TRUE(source.Load(File("bt.airoflash", std::string("\x01\x02\x03", 3))));
    EXPECT_TRUE(source.GetAiroFlashData() == airo && airo->GetSize() == 3);
    for (const std::string& failing : {File("lf.hex", Join(Hex256())), File("empty.hex", ""), mDir.File("no")})
        EXPECT_TRUE(!source.Load(failing) && hex->GetDataLength() == 512 && hex->GetImage()[17] == 17) << failing;
    EXPECT_EQ(hex->GetFileName(), mDir.File("empty.hex")) << "the last file that could be opened";
    ASSERT_TRUE(source.Load(File("other.hex", Crlf({HexRecord(0, 0x8000, {0xAB}), HexRecord(1, 0, {})}))));
    EXPECT_EQ(hex->GetImage()[17], 0xFF) << "a new load replaces the image, it does not merge";
    EXPECT_EQ(source.GetBlocks().size(), 2u) << "other formats leave the S-record blocks alone";

    EXPECT_FALSE(source.Load(File("bad.touch", SRecLine('1', 0x10, Bytes(4)) + "\nS4\n")));
    EXPECT_TRUE(source.GetFileType() == eFormatTouch && source.GetBlocks().empty());
    ASSERT_TRUE(source.Load(File("again.pen", twoBlocks)));
    EXPECT_TRUE(!source.Load(mDir.File("missing.pen")) && source.GetBlocks().empty());
}

TEST_F(ImageFiles, SummaryOfEachFormat)
{
    // File, contents, the text after "File: <path>\n".
    const std::tuple<std::string, std::string, std::string> cases[] = {
        // Block 0x1000: bytes 0..19 (sum 190); block 0x2000: 0xFF x 3 (sum 765).
        {"fw.pen", Join({SRecLine('1', 0x2000, {0xFF, 0xFF, 0xFF}), SRecLine('3', 0x1000, Bytes(20))}),
         "Format: pen (0)\nBlocks: 2\n  0x00001000  size 20  byte sum 190\n  0x00002000  size 3  byte sum 765\n"},
        {"bt.airoflash", std::string("\x10\x20\xF0", 3), "Format: airoflash (4)\nSize: 3\nByte sum: 288\n"},
        {"nothing.bin", "", "Format: unknown (99)\nData: none\n"},
    };
    for (const auto& [name, contents, text] : cases) {
        CSRec source;
        source.Load(File(name, contents));
        EXPECT_EQ(FirmwareSummaryText(SummarizeFirmware(source)), "File: " + mDir.File(name) + "\n" + text);
    }
    CSRec source;
    ASSERT_TRUE(source.Load(File("fw.hex", Crlf({HexRecord(0, 0x8000, {1, 2, 3}), HexRecord(1, 0, {})}))));
    const FirmwareSummary hex = SummarizeFirmware(source);
    // The sum covers the whole data length: 1 + 2 + 3 and 509 erased bytes.
    EXPECT_TRUE(hex.startAddress == 0x8000 && hex.dataLength == 512 && hex.dataByteSum == 6 + 509 * 255);
}
