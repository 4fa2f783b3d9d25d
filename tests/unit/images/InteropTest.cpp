// Files written by tools nobody here wrote: srec_cat (srecord) and objcopy (binutils), generated
// from random binary data at test time; a missing tool skips the test.

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

} // namespace

TEST(InteropSRec, SrecCatAndObjcopyRecordsOfEveryAddressWidthLengthAndLineEnd)
{
    if (Missing("srec_cat") || Missing("objcopy")) {
        GTEST_SKIP() << "srec_cat or objcopy is not installed (scripts/setup-debian.sh installs them)";
    }
    CTempDir dir;
    const std::string data = RandomFile(dir, "data.bin", 5003, 1), bin = dir.File("data.bin");
    // command (%O: the output), the record type it must write, the blocks as "address:bytes|".
    std::vector<std::tuple<std::string, std::string, std::string>> cases;
    // Every width with every record length; the line end alternates so that each meets both.
    for (const int width : {2, 3, 4}) {
        for (const int perRecord : {1, 7, 16, 32, 100, 250}) {
            cases.emplace_back("srec_cat " + bin + " -binary -offset 0x1200 -o %O -motorola -address-length="
                                   + std::to_string(width) + " -obs=" + std::to_string(perRecord)
                                   + ((width + perRecord) % 2 ? "" : " -crlf"),
                               "\nS" + std::to_string(width - 1), "4608:" + data + "|");
        }
    }
    for (const auto& [length, type] : {std::pair{1, "1"}, {16, "3"}, {33, "1"}, {64, "3"}}) {
        cases.emplace_back("objcopy -I binary -O srec --change-addresses 0x8000 --srec-len=" + std::to_string(length)
                               + (type[0] == '3' ? " --srec-forceS3 " : " ") + bin + " %O",
                           std::string("\nS") + type, "32768:" + data + "|");
    }
    const std::string a = RandomFile(dir, "a.bin", 300, 2), b = RandomFile(dir, "b.bin", 4096, 3),
                      c = RandomFile(dir, "c.bin", 17, 4);
    cases.emplace_back("srec_cat " + dir.File("b.bin") + " -binary -offset 0x20000 " + dir.File("a.bin")
                           + " -binary -offset 0x100 " + dir.File("c.bin") + " -binary -offset 0x00FFFFF0 -o %O -motorola"
                           + " -address-length=3",
                       "\nS2", "256:" + a + "|131072:" + b + "|16777200:" + c + "|");
    for (auto [command, type, blocks] : cases) {
        const std::string out = dir.File("out.pen");
        command.replace(command.find("%O"), 2, out);
        ASSERT_EQ(std::system((command + " 2>&1").c_str()), 0) << command;
        const std::string text = ReadFile(out);
        if (command.rfind("srec_cat", 0) == 0) { // objcopy always ends lines in CR LF
            ASSERT_EQ(text.find("\r\n") != std::string::npos, command.find("-crlf") != std::string::npos) << command;
        }
        ASSERT_NE(text.find(type), std::string::npos) << command;
        CSRec source;
        EXPECT_TRUE(source.Load(out)) << command << ": " << source.GetLoadError().Text();
        std::string loaded;
        for (const SRecBlock& block : source.GetBlocks()) {
            loaded += std::to_string(block.address) + ":" + std::string(block.data.begin(), block.data.end()) + "|";
        }
        EXPECT_TRUE(loaded == blocks) << command;
    }
}

TEST(InteropIntelHex, SrecCatAndObjcopyFilesAt0x8000LoadButLineFeedAloneIsRefused)
{
    if (Missing("srec_cat") || Missing("objcopy")) {
        GTEST_SKIP() << "srec_cat or objcopy is not installed (scripts/setup-debian.sh installs them)";
    }
    CTempDir dir;
    const std::string bin = dir.File("touch.bin");
    const std::string data = RandomFile(dir, "touch.bin", 100000, 6); // past 0x10000: extended addresses
    const std::pair<std::string, const char*> cases[] = { // command, the extended address record it must write
        {"srec_cat " + bin + " -binary -offset 0x8000 -o %O -intel -crlf", ":020000040001F9"},
        {"srec_cat " + bin + " -binary -offset 0x8000 -o %O -intel --address-length=3 -crlf", ":020000021000EC"},
        {"objcopy -I binary -O ihex --change-addresses 0x8000 " + bin + " %O", ":020000021000EC"},
        {"srec_cat " + bin + " -binary -offset 0x8000 -o %O -intel", nullptr}, // line feed alone: refused
    };
    for (auto [command, record] : cases) {
        const std::string out = dir.File("out.hex");
        command.replace(command.find("%O"), 2, out);
        ASSERT_EQ(std::system((command + " 2>&1").c_str()), 0) << command;
        CIntelHex hex;
        ASSERT_EQ(hex.Load(out), record != nullptr) << command << ": " << hex.GetLoadError().Text();
        if (record == nullptr) {
            continue;
        }
        ASSERT_NE(ReadFile(out).find(record), std::string::npos) << command;
        EXPECT_EQ(hex.GetStartAddress(), 0x8000);
        EXPECT_EQ(hex.GetDataLength(), (data.size() + 511) / 512 * 512);
        EXPECT_EQ(std::memcmp(hex.GetImage(), data.data(), data.size()), 0) << command;
        for (std::uint32_t i = static_cast<std::uint32_t>(data.size()); i < hex.GetDataLength(); ++i) {
            ASSERT_EQ(hex.GetImage()[i], 0xFF) << i;
        }
    }
}
