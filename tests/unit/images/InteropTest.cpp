// Files written by tools nobody here wrote: srec_cat (srecord) and objcopy (binutils),
// generated from random binary data at test time; a missing tool skips the test.

#include "FWUpdater/CIntelHex.h"
#include "FWUpdater/CSRec.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>

namespace {

bool Missing(const char* tool_I)
{
    return std::system((std::string("command -v ") + tool_I + " >/dev/null 2>&1").c_str()) != 0;
}

const char* const kInstallHint = " is not installed (scripts/setup-debian.sh installs it)";

// Random bytes written to dir_I/name_I.
std::string RandomFile(const CTempDir& dir_I, const std::string& name_I, std::size_t n_I, unsigned seed_I)
{
    std::mt19937 rng(seed_I);
    std::string s(n_I, '\0');
    for (char& c : s) {
        c = static_cast<char>(rng());
    }
    WriteFile(dir_I.File(name_I), s);
    return s;
}

void RunTool(const std::string& command_I)
{
    ASSERT_EQ(std::system((command_I + " 2>&1").c_str()), 0) << command_I;
}

// The S-record blocks of a file as "address:bytes" pieces, for one comparison per file.
std::string BlocksOf(const std::string& path_I)
{
    CSRec source;
    EXPECT_TRUE(source.Load(path_I)) << path_I << ": " << source.GetLoadError().Text();
    std::string text;
    for (const SRecBlock& b : source.GetBlocks()) {
        text += std::to_string(b.address) + ":" + std::string(b.data.begin(), b.data.end()) + "|";
    }
    return text;
}

} // namespace

TEST(InteropSRec, SrecCatRecordsOfEveryAddressWidthLengthAndLineEnd)
{
    if (Missing("srec_cat")) {
        GTEST_SKIP() << "srec_cat" << kInstallHint;
    }
    CTempDir dir;
    const std::string data = RandomFile(dir, "data.bin", 5003, 1);
    // Every width with every record length; the line end alternates so that each width and
    // each length meets both.
    for (const int width : {2, 3, 4}) {
        for (const int perRecord : {1, 7, 16, 32, 100, 250}) {
            const bool crlf = (width + perRecord) % 2 == 0;
            const std::string out = dir.File("w" + std::to_string(width) + "_" + std::to_string(perRecord) + ".pen");
            RunTool("srec_cat " + dir.File("data.bin") + " -binary -offset 0x1200 -o " + out + " -motorola -address-length="
                    + std::to_string(width) + " -obs=" + std::to_string(perRecord) + (crlf ? " -crlf" : ""));
            ASSERT_FALSE(HasFatalFailure());
            const std::string text = ReadFile(out);
            ASSERT_EQ(text.find("\r\n") != std::string::npos, crlf) << out;
            ASSERT_NE(text.find(std::string("\nS") + static_cast<char>('0' + width - 1)), std::string::npos) << out;
            EXPECT_TRUE(BlocksOf(out) == "4608:" + data + "|") << out;
        }
    }
}

TEST(InteropSRec, SrecCatSeveralRegionsGiveSortedBlocks)
{
    if (Missing("srec_cat")) {
        GTEST_SKIP() << "srec_cat" << kInstallHint;
    }
    CTempDir dir;
    const std::string a = RandomFile(dir, "a.bin", 300, 2), b = RandomFile(dir, "b.bin", 4096, 3),
                      c = RandomFile(dir, "c.bin", 17, 4);
    const std::string out = dir.File("regions.touch");
    RunTool("srec_cat " + dir.File("b.bin") + " -binary -offset 0x20000 " + dir.File("a.bin") + " -binary -offset 0x100 "
            + dir.File("c.bin") + " -binary -offset 0x00FFFFF0 -o " + out + " -motorola -address-length=3");
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_TRUE(BlocksOf(out) == "256:" + a + "|131072:" + b + "|16777200:" + c + "|");
}

TEST(InteropSRec, ObjcopyS1AndS3RecordsOfSeveralLengths)
{
    if (Missing("objcopy")) {
        GTEST_SKIP() << "objcopy" << kInstallHint;
    }
    CTempDir dir;
    const std::string data = RandomFile(dir, "data.bin", 9000, 5);
    for (const auto& [length, forceS3] : {std::pair{1, false}, {16, true}, {33, false}, {64, true}}) {
        const std::string out = dir.File("o" + std::to_string(length) + ".vel");
        RunTool("objcopy -I binary -O srec --change-addresses 0x8000 --srec-len=" + std::to_string(length)
                + (forceS3 ? " --srec-forceS3 " : " ") + dir.File("data.bin") + " " + out);
        ASSERT_FALSE(HasFatalFailure());
        EXPECT_EQ(ReadFile(out).find("\nS3") != std::string::npos, forceS3) << out;
        EXPECT_TRUE(BlocksOf(out) == "32768:" + data + "|") << out;
    }
}

TEST(InteropIntelHex, SrecCatAndObjcopyFilesAt0x8000LoadButLineFeedAloneIsRefused)
{
    if (Missing("srec_cat") || Missing("objcopy")) {
        GTEST_SKIP() << "srec_cat or objcopy" << kInstallHint;
    }
    CTempDir dir;
    const std::string bin = dir.File("touch.bin");
    const std::string data = RandomFile(dir, "touch.bin", 100000, 6); // past 0x10000: extended addresses
    const struct
    {
        std::string command;
        const char* record; // the extended address record the tool must have written
    } cases[] = {
        {"srec_cat " + bin + " -binary -offset 0x8000 -o %OUT -intel -crlf", ":020000040001F9"},
        {"srec_cat " + bin + " -binary -offset 0x8000 -o %OUT -intel --address-length=3 -crlf", ":020000021000EC"},
        {"objcopy -I binary -O ihex --change-addresses 0x8000 " + bin + " %OUT", ":020000021000EC"},
    };
    for (const auto& row : cases) {
        const std::string out = dir.File("out.hex");
        std::string command = row.command;
        command.replace(command.find("%OUT"), 4, out);
        RunTool(command);
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_NE(ReadFile(out).find(row.record), std::string::npos) << command;
        CIntelHex hex;
        ASSERT_TRUE(hex.Load(out)) << command << ": " << hex.GetLoadError().Text();
        EXPECT_EQ(hex.GetStartAddress(), 0x8000);
        EXPECT_EQ(hex.GetDataLength(), (data.size() + 511) / 512 * 512);
        EXPECT_EQ(std::memcmp(hex.GetImage(), data.data(), data.size()), 0) << command;
        for (std::uint32_t i = static_cast<std::uint32_t>(data.size()); i < hex.GetDataLength(); ++i) {
            ASSERT_EQ(hex.GetImage()[i], 0xFF) << i;
        }
    }
    RunTool("srec_cat " + bin + " -binary -offset 0x8000 -o " + dir.File("lf.hex") + " -intel");
    CIntelHex strict;
    EXPECT_FALSE(strict.Load(dir.File("lf.hex"))) << "line feed alone is not a valid line end for this reader";
}
