// The S-record reader: records into blocks, what makes a load fail, and the merger against a
// plain model of its rule.

#include "FWUpdater/CSRec.h"
#include "FWUpdater/SRecMerger.h"
#include "ImageTestUtil.h"
#include "SRecReference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

// Parses text held in a buffer of exactly its size, so AddressSanitizer sees any read past it.
// The blocks start non-empty: a failed load must leave none.
bool Parse(const std::string& text_I, std::vector<SRecBlock>& blocks_O, FirmwareLoadError* error_O = nullptr)
{
    std::vector<char> exact(text_I.begin(), text_I.end());
    blocks_O = {SRecBlock{1, {1}}};
    return CSRec::ParseSRecText(exact.data(), exact.size(), blocks_O, error_O);
}

std::string Lines(const std::vector<std::string>& lines_I)
{
    return JoinLines(lines_I, "\n");
}

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
    const struct
    {
        const char* name;
        std::string text;
        std::vector<SRecBlock> blocks;
    } cases[] = {
        {"ascending", Lines({a, b, c}), {{0x1000, Bytes(48)}}},
        {"descending", Lines({c, b, a}), {{0x1000, Bytes(48)}}},
        {"apart: sorted by address", Lines({SRecLine('1', 0x2000, Bytes(16, 0x80)), a}),
         {{0x1000, Bytes(16)}, {0x2000, Bytes(16, 0x80)}}},
        {"starting inside gathered data: dropped even reaching past",
         Lines({a, SRecLine('1', 0x1008, Bytes(16, 0xA0))}), {{0x1000, Bytes(16)}}},
        {"touching two blocks: joins the first only",
         Lines({SRecLine('1', 0x10, Bytes(16, 0x10)), SRecLine('1', 0x30, Bytes(16, 0x30)),
                SRecLine('1', 0x20, Bytes(16, 0x20))}),
         {{0x10, Bytes(32, 0x10)}, {0x30, Bytes(16, 0x30)}}},
        {"S2 big-endian address", SRecLine('2', 0x012345, Bytes(4)), {{0x012345, Bytes(4)}}},
        {"S3 big-endian address", SRecLine('3', 0x12345678, Bytes(4)), {{0x12345678, Bytes(4)}}},
        {"lower-case digits", lower, {{0xABCD, {0xDE, 0xAD, 0xBE, 0xEF}}}},
        // Count 0x10 with 3 data bytes; the checksum uses 0x10: 0x10+0x12+0x34+1+2+3 = 0x5C -> 0xA3.
        {"count field not matching the data", "S1101234010203A3", {{0x1234, {1, 2, 3}}}},
        {"CR LF, header, end record, end mark", JoinLines(withHeader, "\r\n") + "\x1A" + "never read",
         {{0x100, Bytes(40)}}},
        {"blank lines, lone CR, no final line end", "\n\r\n" + data4.substr(0, data4.size() - 1),
         {{0x100, Bytes(4)}}},
        {"S0, S5, S7, S8, S9 unchecked", "S0 anything at all\nS5xxxxxxxxxx\nS7zzzzzzzzzz\nS8..........\n"
                                          "S9!!!!!!!!!!\n" + data4, {{0x100, Bytes(4)}}},
        {"ten characters without 'S': skipped", "# a comment line\n" + data4, {{0x100, Bytes(4)}}},
        {"S3 just long enough: no data bytes", SRecLine('3', 0x100, {}), {{0x100, {}}}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        std::vector<SRecBlock> blocks;
        EXPECT_TRUE(Parse(row.text, blocks)) << row.text;
        EXPECT_EQ(BlocksText(blocks), BlocksText(row.blocks));
    }
}

TEST(SRecLines, MalformedFilesFailWithTheReasonAndTheLine)
{
    const std::string data = SRecLine('1', 0x100, Bytes(4));
    std::string badSum = data;
    badSum.back() = badSum.back() == '0' ? '1' : '0';
    const struct
    {
        std::string text;
        std::size_t line;
        const char* reason;
    } cases[] = {
        {"", 0, "the file is empty"},
        {"S00600004844521B\nS9030000FC\n", 0, "no data record"},
        {badSum, 1, "checksum mismatch"},
        // Count 02 is below 3 even with a matching checksum: 0x02+0x01+0x00+0xAA -> 0x52.
        {"S1020100AA52", 1, "byte count is below 3"},
        {data + "\n" + SRecLine('3', 0x100, Bytes(4)).replace(1, 1, "4"), 2, "not an S-record type"},
        {data + "\n" + SRecLine('3', 0x100, Bytes(4)).replace(1, 1, "6"), 2, "not an S-record type"},
        {data + "\nSX0000000000000", 2, "not an S-record type"},
        {data + "\nS1030000", 2, "too short"},
        {"abc\n" + data, 1, "too short"},
        {Lines({SRecLine('1', 0x1000, Bytes(16)), SRecLine('1', 0x0FF8, Bytes(16))}), 2, "overlap"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.text);
        std::vector<SRecBlock> blocks;
        FirmwareLoadError error;
        EXPECT_FALSE(Parse(row.text, blocks, &error));
        EXPECT_TRUE(blocks.empty());
        EXPECT_EQ(error.line, row.line);
        EXPECT_NE(error.reason.find(row.reason), std::string::npos) << error.reason;
    }
}

TEST(SRecLines, ShortS1S2S3LinesFailWithoutReadingPastTheLine)
{
    // Ten characters or more, but no room for address and checksum; alone, each is the last text
    // of an exactly sized buffer.
    const std::string data = SRecLine('1', 0x100, Bytes(4));
    for (const std::string line : {"S203000000", "S2030000000", "S303000000", "S3030000000", "S303000000\r",
                                   "S2030000000\r", "S1030000F\r"}) {
        const std::pair<std::string, std::size_t> placements[] = {
            {line, 1}, {data + "\n" + line, 2}, {line + "\n" + data + "\n", 1}};
        for (const auto& [text, lineNumber] : placements) {
            std::vector<SRecBlock> blocks;
            FirmwareLoadError error;
            EXPECT_FALSE(Parse(text, blocks, &error)) << text;
            EXPECT_TRUE(blocks.empty()) << text;
            EXPECT_EQ(error.line, lineNumber) << text;
        }
    }
}

// The merger against the plain model, on random record sequences: most chaotic sequences
// overlap and fail, most partition ones succeed; both outcomes must agree.
class SRecMergeDifferential : public ::testing::Test
{
protected:
    std::mt19937 mRng{1234};
    int mSuccesses = 0;

    void Check(const std::vector<ReferenceRecord>& records_I)
    {
        std::vector<SRecBlock> expected;
        const bool expectedOk = ReferenceMerge(records_I, expected);
        CSRecMerger merger;
        bool ok = true;
        for (const ReferenceRecord& r : records_I) {
            if (!merger.AddRecord(r.address, r.data.data(), r.data.size())) {
                ok = false;
                break;
            }
        }
        std::vector<SRecBlock> actual;
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
};

TEST_F(SRecMergeDifferential, ChaoticRecordsNearZeroAndNearTheTopOfTheAddressSpace)
{
    for (int round = 0; round < 40000 && !HasFailure(); ++round) {
        const std::uint32_t base = (round % 2) ? 0xFFFFFFE0u : 0u;
        std::vector<ReferenceRecord> records(1 + mRng() % 10);
        for (auto& r : records) {
            r = Record(base + mRng() % 32, mRng() % 7);
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
        const int regions = 1 + static_cast<int>(mRng() % 4);
        for (int g = 0; g < regions; ++g) {
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
        ASSERT_EQ(Parse(text, actual), expectedOk) << text;
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
    ASSERT_TRUE(up.Finish(a));
    ASSERT_TRUE(down.Finish(b));
    ASSERT_EQ(a.size(), 1u);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(b[0].address, 0x100000u);
    EXPECT_TRUE(a[0].data == b[0].data);
}
