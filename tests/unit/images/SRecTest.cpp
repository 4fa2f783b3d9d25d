// The S-record reader: record decoding, merging into blocks, and what makes a load fail.

#include "FWUpdater/CSRec.h"
#include "FWUpdater/SRecMerger.h"
#include "ImageTestUtil.h"
#include "SRecReference.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

// Parses text placed in a buffer of exactly its size, so AddressSanitizer sees any read past it.
bool Parse(const std::string& text_I, std::vector<SRecBlock>& blocks_O)
{
    std::vector<char> exact(text_I.begin(), text_I.end());
    return CSRec::ParseSRecText(exact.data(), exact.size(), blocks_O);
}

std::vector<SRecBlock> ParseOk(const std::string& text_I)
{
    std::vector<SRecBlock> blocks;
    EXPECT_TRUE(Parse(text_I, blocks)) << text_I;
    return blocks;
}

bool Fails(const std::string& text_I)
{
    std::vector<SRecBlock> blocks{SRecBlock{1, {1}}};
    const bool ok = Parse(text_I, blocks);
    EXPECT_TRUE(blocks.empty()) << "a failed load must leave no blocks";
    return !ok;
}

std::string Lines(const std::vector<std::string>& lines_I)
{
    return JoinLines(lines_I, "\n");
}

} // namespace

TEST(SRecRecords, ConsecutiveRecordsInEitherOrderFormOneBlock)
{
    const auto a = Bytes(16, 0x00), b = Bytes(16, 0x10), c = Bytes(16, 0x20);
    const auto up = ParseOk(Lines({SRecLine('1', 0x1000, a), SRecLine('1', 0x1010, b), SRecLine('1', 0x1020, c)}));
    const auto down = ParseOk(Lines({SRecLine('1', 0x1020, c), SRecLine('1', 0x1010, b), SRecLine('1', 0x1000, a)}));
    ASSERT_EQ(up.size(), 1u);
    EXPECT_EQ(up[0].address, 0x1000u);
    EXPECT_EQ(up[0].data, Bytes(48));
    ASSERT_EQ(down.size(), 1u);
    EXPECT_EQ(down[0].address, 0x1000u);
    EXPECT_EQ(down[0].data, Bytes(48));
}

TEST(SRecRecords, SeparateRegionsAreSortedByAddress)
{
    const auto blocks = ParseOk(Lines({SRecLine('1', 0x2000, Bytes(16, 0x80)), SRecLine('1', 0x1000, Bytes(16))}));
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].address, 0x1000u);
    EXPECT_EQ(blocks[0].data, Bytes(16));
    EXPECT_EQ(blocks[1].address, 0x2000u);
    EXPECT_EQ(blocks[1].data, Bytes(16, 0x80));
}

TEST(SRecRecords, RecordStartingInsideGatheredDataIsDroppedEvenWhenItReachesPast)
{
    const auto blocks = ParseOk(Lines({SRecLine('1', 0x1000, Bytes(16)), SRecLine('1', 0x1008, Bytes(16, 0xA0))}));
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].data, Bytes(16));
}

TEST(SRecRecords, RecordOverlappingABlockFromBelowFailsTheLoad)
{
    EXPECT_TRUE(Fails(Lines({SRecLine('1', 0x1000, Bytes(16)), SRecLine('1', 0x0FF8, Bytes(16))})));
}

TEST(SRecRecords, RecordBridgingTwoBlocksJoinsOnlyTheFirstAndTheyStaySeparate)
{
    // Blocks [0x10,0x20) and [0x30,0x40); the record [0x20,0x30) touches both.
    const auto blocks = ParseOk(Lines({SRecLine('1', 0x10, Bytes(16, 1)), SRecLine('1', 0x30, Bytes(16, 3)),
                                       SRecLine('1', 0x20, Bytes(16, 2))}));
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].address, 0x10u);
    EXPECT_EQ(blocks[0].data.size(), 32u);
    EXPECT_EQ(blocks[1].address, 0x30u);
}

TEST(SRecRecords, AddressWidthsAreBigEndian)
{
    auto blocks = ParseOk(SRecLine('2', 0x012345, Bytes(4)) + "\n");
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].address, 0x012345u);
    blocks = ParseOk(SRecLine('3', 0x12345678, Bytes(4)) + "\n");
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].address, 0x12345678u);
}

TEST(SRecRecords, LowerCaseDigitsAndMismatchedCountFieldStillLoad)
{
    std::string line = SRecLine('1', 0xABCD, {0xDE, 0xAD, 0xBE, 0xEF});
    std::transform(line.begin() + 2, line.end(), line.begin() + 2, [](char c) { return static_cast<char>(std::tolower(c)); });
    auto blocks = ParseOk(line + "\n");
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].address, 0xABCDu);
    EXPECT_EQ(blocks[0].data, (std::vector<std::uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}));

    // Count field 0x10 although 3 data bytes follow; the checksum is computed with 0x10.
    // 0x10 + 0x12 + 0x34 + 1 + 2 + 3 = 0x5C -> check 0xA3.
    blocks = ParseOk("S1101234010203A3\n");
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].data, (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST(SRecLines, CrLfLineEndsAndEndMarkLoadLikePlainLines)
{
    const std::vector<std::string> lines{"S00600004844521B", SRecLine('1', 0x100, Bytes(32)), SRecLine('1', 0x120, Bytes(8, 32)),
                                         "S9030000FC"};
    const auto plain = ParseOk(Lines(lines));
    const auto crlf = ParseOk(JoinLines(lines, "\r\n") + "\x1A" + "garbage that is never read");
    ASSERT_EQ(plain.size(), 1u);
    ASSERT_EQ(crlf.size(), 1u);
    EXPECT_EQ(plain[0].data, crlf[0].data);
    EXPECT_EQ(crlf[0].data, Bytes(40));
    // A last line without line end is still read; blank lines and lone CRs are skipped.
    EXPECT_EQ(ParseOk("\n\r\n" + SRecLine('1', 0x100, Bytes(4))).size(), 1u);
}

TEST(SRecLines, HeaderCountAndStartRecordsAreIgnoredButTypesFourAndSixFail)
{
    const std::string data = SRecLine('1', 0x100, Bytes(4)) + "\n";
    for (const char* ignored : {"S0 anything at all", "S5xxxxxxxxxx", "S7zzzzzzzzzz", "S8..........", "S9!!!!!!!!!!"}) {
        EXPECT_EQ(ParseOk(std::string(ignored) + "\n" + data).size(), 1u) << ignored;
    }
    EXPECT_TRUE(Fails(data + SRecLine('3', 0x100, Bytes(4)).replace(1, 1, "4") + "\n"));
    EXPECT_TRUE(Fails(data + SRecLine('3', 0x100, Bytes(4)).replace(1, 1, "6") + "\n"));
    EXPECT_TRUE(Fails(data + "SX0000000000000\n"));
}

TEST(SRecLines, ShortLinesFailButLongCommentsAreSkipped)
{
    const std::string data = SRecLine('1', 0x100, Bytes(4)) + "\n";
    EXPECT_TRUE(Fails(data + "S1030000\n"));                       // 8 characters
    EXPECT_TRUE(Fails("abc\n" + data));                            // short, whatever it holds
    EXPECT_EQ(ParseOk("# a comment line\n" + data).size(), 1u);    // 10+ characters, no 'S'
}

TEST(SRecLines, ChecksumAndCountAreChecked)
{
    std::string bad = SRecLine('1', 0x100, Bytes(4));
    bad[bad.size() - 1] = bad[bad.size() - 1] == '0' ? '1' : '0';
    EXPECT_TRUE(Fails(bad + "\n"));
    // Count 02: below 3 fails even with a matching checksum (0x02 + 0x01 + 0x00 + 0xAA -> 0x52).
    EXPECT_TRUE(Fails("S1020100AA52\n"));
    // A file with header and end records only holds no data.
    EXPECT_TRUE(Fails("S00600004844521B\nS9030000FC\n"));
    EXPECT_TRUE(Fails(""));
}

TEST(SRecLines, TooShortS2AndS3LinesFailWithoutReadingPastTheLine)
{
    // Ten or more characters, but no room for address and checksum. Each is the last text of
    // an exactly sized buffer, so a read past it is caught by AddressSanitizer.
    for (const std::string line : {"S203000000", "S2030000000", "S303000000", "S3030000000",
                                   "S303000000\r", "S2030000000\r", "S1030000F\r"}) {
        EXPECT_TRUE(Fails(line)) << line;
        EXPECT_TRUE(Fails(SRecLine('1', 0x100, Bytes(4)) + "\n" + line)) << line;
        EXPECT_TRUE(Fails(line + "\n" + SRecLine('1', 0x100, Bytes(4)) + "\n")) << line;
    }
    // Just long enough: a record with no data bytes makes an empty block.
    const auto blocks = ParseOk(SRecLine('3', 0x100, {}));
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].address, 0x100u);
    EXPECT_TRUE(blocks[0].data.empty());
}

// The merger against the plain model of the rule, on random record sequences. Most chaotic
// sequences overlap and fail; the partition ones mostly succeed; both outcomes must agree.
class SRecMergeDifferential : public ::testing::Test
{
protected:
    static void Check(const std::vector<ReferenceRecord>& records_I, int& successes_IO)
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
        ASSERT_EQ(ok, expectedOk) << Describe(records_I);
        ASSERT_EQ(actual.size(), expected.size()) << Describe(records_I);
        for (std::size_t i = 0; i < actual.size(); ++i) {
            ASSERT_EQ(actual[i].address, expected[i].address) << Describe(records_I);
            ASSERT_EQ(actual[i].data, expected[i].data) << Describe(records_I);
        }
        successes_IO += ok ? 1 : 0;
    }

    static std::string Describe(const std::vector<ReferenceRecord>& records_I)
    {
        std::string s;
        for (const ReferenceRecord& r : records_I) {
            s += "(" + std::to_string(r.address) + "," + std::to_string(r.data.size()) + ") ";
        }
        return s;
    }

    static ReferenceRecord Record(std::mt19937& rng_I, std::uint32_t address_I, std::size_t size_I)
    {
        ReferenceRecord r{address_I, std::vector<std::uint8_t>(size_I)};
        for (auto& b : r.data) {
            b = static_cast<std::uint8_t>(rng_I());
        }
        return r;
    }
};

TEST_F(SRecMergeDifferential, ChaoticRecordsNearZeroAndNearTheTopOfTheAddressSpace)
{
    std::mt19937 rng(1234);
    int successes = 0;
    for (int round = 0; round < 40000; ++round) {
        const std::uint32_t base = (round % 2) ? 0xFFFFFFE0u : 0u;
        std::vector<ReferenceRecord> records(1 + rng() % 10);
        for (auto& r : records) {
            r = Record(rng, base + rng() % 32, rng() % 7);
        }
        Check(records, successes);
        if (HasFailure()) {
            return;
        }
    }
    EXPECT_GT(successes, 4000);
}

TEST_F(SRecMergeDifferential, ShuffledPartitionsWithRepeatsAndEmptyRecords)
{
    std::mt19937 rng(99);
    int successes = 0;
    for (int round = 0; round < 20000; ++round) {
        std::vector<ReferenceRecord> records;
        std::uint32_t at = rng() % 8;
        const int regions = 1 + static_cast<int>(rng() % 4);
        for (int g = 0; g < regions; ++g) {
            const std::uint32_t regionEnd = at + 1 + rng() % 40;
            while (at < regionEnd) {
                const std::uint32_t size = std::min<std::uint32_t>(1 + rng() % 8, regionEnd - at);
                records.push_back(Record(rng, at, size));
                if (rng() % 8 == 0) { // a repeat of a part of it: dropped or conflicting
                    records.push_back(Record(rng, at + rng() % size, rng() % 6));
                }
                if (rng() % 10 == 0) {
                    records.push_back(Record(rng, at + rng() % (size + 1), 0));
                }
                at += size;
            }
            at += rng() % 5; // sometimes touching, sometimes apart
        }
        switch (rng() % 3) {
        case 0:
            std::shuffle(records.begin(), records.end(), rng);
            break;
        case 1:
            std::reverse(records.begin(), records.end());
            break;
        default:
            break;
        }
        Check(records, successes);
        if (HasFailure()) {
            return;
        }
    }
    EXPECT_GT(successes, 6000);
}

TEST_F(SRecMergeDifferential, LoaderMatchesModelOnGeneratedFiles)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 500; ++round) {
        std::vector<ReferenceRecord> records(1 + rng() % 12);
        std::string text;
        for (auto& r : records) {
            r = Record(rng, 0x4000 + rng() % 64, 1 + rng() % 12);
            text += SRecLine("123"[rng() % 3], r.address, r.data) + ((rng() % 2) ? "\r\n" : "\n");
        }
        std::vector<SRecBlock> expected, actual;
        const bool expectedOk = ReferenceMerge(records, expected);
        ASSERT_EQ(Parse(text, actual), expectedOk) << text;
        ASSERT_EQ(actual.size(), expected.size()) << text;
        for (std::size_t i = 0; i < actual.size(); ++i) {
            EXPECT_EQ(actual[i].address, expected[i].address);
            EXPECT_EQ(actual[i].data, expected[i].data);
        }
    }
}

TEST(SRecMerger, LongDescendingRunBuildsTheSameBlockAsAscending)
{
    // 200,000 records: quadratic prepending would move about 4e11 bytes here.
    constexpr std::uint32_t kRecords = 200000;
    CSRecMerger up, down;
    std::vector<std::uint8_t> rec(16);
    for (std::uint32_t i = 0; i < kRecords; ++i) {
        for (std::uint32_t k = 0; k < 16; ++k) {
            rec[k] = static_cast<std::uint8_t>(i * 7 + k);
        }
        ASSERT_TRUE(up.AddRecord(0x100000 + i * 16, rec.data(), rec.size()));
    }
    for (std::uint32_t i = kRecords; i-- > 0;) {
        for (std::uint32_t k = 0; k < 16; ++k) {
            rec[k] = static_cast<std::uint8_t>(i * 7 + k);
        }
        ASSERT_TRUE(down.AddRecord(0x100000 + i * 16, rec.data(), rec.size()));
    }
    std::vector<SRecBlock> a, b;
    ASSERT_TRUE(up.Finish(a));
    ASSERT_TRUE(down.Finish(b));
    ASSERT_EQ(a.size(), 1u);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(b[0].address, 0x100000u);
    EXPECT_EQ(a[0].data, b[0].data);
}
