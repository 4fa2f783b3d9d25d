// Files written by tools nobody here wrote: srec_cat (srecord) and objcopy (binutils).
// They are generated from random binary data at test time; a missing tool skips the test.

#include "FWUpdater/CIntelHex.h"
#include "FWUpdater/CSRec.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>

namespace {

bool HaveTool(const char* name_I)
{
    const std::string probe = std::string("command -v ") + name_I + " >/dev/null 2>&1";
    return std::system(probe.c_str()) == 0;
}

#define REQUIRE_TOOL(name)                                                           \
    do {                                                                             \
        if (!HaveTool(name)) {                                                       \
            GTEST_SKIP() << name << " is not installed (scripts/setup-debian.sh installs it)"; \
        }                                                                            \
    } while (0)

std::string RandomBytes(std::size_t n_I, unsigned seed_I)
{
    std::mt19937 rng(seed_I);
    std::string s(n_I, '\0');
    for (char& c : s) {
        c = static_cast<char>(rng());
    }
    return s;
}

void RunTool(const std::string& command_I)
{
    const int rc = std::system((command_I + " 2>&1").c_str());
    ASSERT_EQ(rc, 0) << command_I;
}

std::string AsString(const std::vector<std::uint8_t>& bytes_I)
{
    return std::string(bytes_I.begin(), bytes_I.end());
}

std::string Hex(std::uint32_t value_I)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value_I);
    return text;
}

} // namespace

TEST(InteropSRec, SrecCatRecordsOfEveryAddressWidthLengthAndLineEnd)
{
    REQUIRE_TOOL("srec_cat");
    CTempDir dir;
    const std::string bin = dir.File("data.bin");
    const std::string data = RandomBytes(5003, 1);
    WriteFile(bin, data);
    int files = 0;
    for (const int width : {2, 3, 4}) {
        for (const int perRecord : {1, 7, 16, 32, 100, 250}) {
            for (const bool crlf : {false, true}) {
                const std::string out = dir.File("w" + std::to_string(width) + "_" + std::to_string(perRecord) + (crlf ? "_crlf" : "") + ".pen");
                RunTool("srec_cat " + bin + " -binary -offset 0x1200 -o " + out + " -motorola -address-length=" + std::to_string(width)
                    + " -obs=" + std::to_string(perRecord) + (crlf ? " -crlf" : ""));
                if (HasFatalFailure()) {
                    return;
                }
                const std::string text = ReadFile(out);
                ASSERT_EQ(text.find("\r\n") != std::string::npos, crlf) << out;
                ASSERT_NE(text.find(std::string("\nS") + static_cast<char>('0' + width - 1)), std::string::npos) << out;
                CSRec source;
                ASSERT_TRUE(source.Load(out)) << out;
                const auto blocks = source.GetBlocks();
                ASSERT_EQ(blocks.size(), 1u) << out;
                EXPECT_EQ(blocks[0].address, 0x1200u) << out;
                EXPECT_TRUE(AsString(blocks[0].data) == data) << out;
                ++files;
            }
        }
    }
    EXPECT_EQ(files, 36);
}

TEST(InteropSRec, SrecCatSeveralRegionsGiveSortedBlocks)
{
    REQUIRE_TOOL("srec_cat");
    CTempDir dir;
    const std::string a = RandomBytes(300, 2), b = RandomBytes(4096, 3), c = RandomBytes(17, 4);
    WriteFile(dir.File("a.bin"), a);
    WriteFile(dir.File("b.bin"), b);
    WriteFile(dir.File("c.bin"), c);
    const std::string out = dir.File("regions.touch");
    RunTool("srec_cat " + dir.File("b.bin") + " -binary -offset 0x20000 " + dir.File("a.bin") + " -binary -offset 0x100 "
        + dir.File("c.bin") + " -binary -offset 0x00FFFFF0 -o " + out + " -motorola -address-length=3");
    ASSERT_FALSE(HasFatalFailure());
    CSRec source;
    ASSERT_TRUE(source.Load(out));
    const auto blocks = source.GetBlocks();
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[0].address, 0x100u);
    EXPECT_TRUE(AsString(blocks[0].data) == a);
    EXPECT_EQ(blocks[1].address, 0x20000u);
    EXPECT_TRUE(AsString(blocks[1].data) == b);
    EXPECT_EQ(blocks[2].address, 0x00FFFFF0u);
    EXPECT_TRUE(AsString(blocks[2].data) == c);
}

TEST(InteropSRec, ObjcopyS3AndDefaultRecordsOfSeveralLengths)
{
    REQUIRE_TOOL("objcopy");
    CTempDir dir;
    const std::string bin = dir.File("data.bin");
    const std::string data = RandomBytes(9000, 5);
    WriteFile(bin, data);
    for (const int len : {1, 16, 33, 64}) {
        for (const bool forceS3 : {false, true}) {
            const std::string out = dir.File("o" + std::to_string(len) + (forceS3 ? "s3" : "") + ".vel");
            RunTool("objcopy -I binary -O srec --change-addresses 0x8000 --srec-len=" + std::to_string(len)
                + (forceS3 ? " --srec-forceS3 " : " ") + bin + " " + out);
            ASSERT_FALSE(HasFatalFailure());
            CSRec source;
            ASSERT_TRUE(source.Load(out)) << out;
            const auto blocks = source.GetBlocks();
            ASSERT_EQ(blocks.size(), 1u) << out;
            EXPECT_EQ(blocks[0].address, 0x8000u) << out;
            EXPECT_TRUE(AsString(blocks[0].data) == data) << out;
        }
    }
}

TEST(InteropIntelHex, SrecCatExtendedLinearAndSegmentRecordsAt0x8000)
{
    REQUIRE_TOOL("srec_cat");
    CTempDir dir;
    const std::string bin = dir.File("touch.bin");
    const std::string data = RandomBytes(100000, 6); // reaches past 0x10000: needs extended addresses
    WriteFile(bin, data);
    const std::pair<const char*, const char*> variants[] = {{"linear", ""}, {"segment", " --address-length=3"}};
    for (const auto& [name, option] : variants) {
        const std::string out = dir.File(std::string(name) + ".hex");
        RunTool("srec_cat " + bin + " -binary -offset 0x8000 -o " + out + " -intel" + option + " -crlf");
        ASSERT_FALSE(HasFatalFailure());
        const std::string text = ReadFile(out);
        const bool linear = std::string(name) == "linear";
        ASSERT_EQ(text.find(":020000040001F9") != std::string::npos, linear) << name;
        ASSERT_EQ(text.find(":020000021000EC") != std::string::npos, !linear) << name;
        CIntelHex hex;
        ASSERT_TRUE(hex.Load(out)) << name;
        EXPECT_EQ(hex.GetStartAddress(), 0x8000);
        EXPECT_EQ(hex.GetDataLength(), (data.size() + 511) / 512 * 512);
        EXPECT_EQ(std::memcmp(hex.GetImage(), data.data(), data.size()), 0) << name;
        for (std::uint32_t i = static_cast<std::uint32_t>(data.size()); i < hex.GetDataLength(); ++i) {
            ASSERT_EQ(hex.GetImage()[i], 0xFF) << Hex(i);
        }
    }
}

TEST(InteropIntelHex, ObjcopyOutputLoadsAndLineFeedOnlyOutputIsRefused)
{
    REQUIRE_TOOL("objcopy");
    REQUIRE_TOOL("srec_cat");
    CTempDir dir;
    const std::string bin = dir.File("touch.bin");
    const std::string data = RandomBytes(70001, 7);
    WriteFile(bin, data);
    const std::string out = dir.File("objcopy.hex");
    RunTool("objcopy -I binary -O ihex --change-addresses 0x8000 " + bin + " " + out);
    ASSERT_FALSE(HasFatalFailure());
    CSRec source;
    ASSERT_TRUE(source.Load(out));
    const auto hex = source.GetIntelHexData();
    EXPECT_EQ(hex->GetStartAddress(), 0x8000);
    EXPECT_EQ(hex->GetDataLength(), (data.size() + 511) / 512 * 512);
    EXPECT_EQ(std::memcmp(hex->GetImage(), data.data(), data.size()), 0);

    const std::string lf = dir.File("lf.hex");
    RunTool("srec_cat " + bin + " -binary -offset 0x8000 -o " + lf + " -intel");
    ASSERT_FALSE(HasFatalFailure());
    CIntelHex strict;
    EXPECT_FALSE(strict.Load(lf)) << "line feed alone is not a valid line end for this reader";
}
