// Files srec_cat (srecord) and objcopy (binutils) write from random data, loaded through the data
// source; a missing tool skips the test.

#include "FWUpdater/CSRec.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

namespace {

bool Missing(const char* tool_I)
{
    return std::system((std::string("command -v ") + tool_I + " >/dev/null 2>&1").c_str()) != 0;
}

std::string RandomFile(const CTempDir& dir_I, const std::string& name_I, std::size_t n_I, unsigned seed_I)
{
    std::mt19937 rng(seed_I);
    std::string s(n_I, '\0');
    for (char& c : s)
        c = static_cast<char>(rng());
    WriteFile(dir_I.File(name_I), s);
    return s;
}

// What a load gives, as "address:bytes|" per S-record block or for the Intel HEX image.
std::string Loaded(const std::string& path_I)
{
    CSRec source;
    if (!source.Load(path_I))
        return "refused: " + source.GetLoadError().Text();
    std::string text;
    for (const SRecBlock& block : source.GetBlocks())
        text += std::to_string(block.address) + ":" + std::string(block.data.begin(), block.data.end()) + "|";
    const auto hex = source.GetIntelHexData();
    if (hex->GetStartAddress() >= 0) {
        const auto* image = reinterpret_cast<const char*>(hex->GetImage());
        text += std::to_string(hex->GetStartAddress()) + ":" + std::string(image, hex->GetDataLength()) + "|";
    }
    return text;
}

} // namespace

TEST(Interop, SRecordAndIntelHexFilesOfSrecCatAndObjcopyLoad)
{
    if (Missing("srec_cat") || Missing("objcopy"))
        GTEST_SKIP() << "srec_cat or objcopy is not installed (scripts/setup-debian.sh installs them)";
    CTempDir dir;
    const std::string bin = dir.File("data.bin"), data = RandomFile(dir, "data.bin", 100003, 1);
    const std::string small = dir.File("small.bin"), smallData = RandomFile(dir, "small.bin", 9000, 5);
    const std::string a = RandomFile(dir, "a.bin", 300, 2), b = RandomFile(dir, "b.bin", 4096, 3),
                      c = RandomFile(dir, "c.bin", 17, 4);
    // At 0x8000 the data reach past 0x10000: extended address records; the image is rounded up to 512 bytes.
    const std::string image = "32768:" + data + std::string((512 - data.size() % 512) % 512, '\xFF') + "|";
    // Command (%O: the output file), a record it must have written, what the load must give.
    std::vector<std::tuple<std::string, std::string, std::string>> cases{
        {"srec_cat " + dir.File("b.bin") + " -binary -offset 0x20000 " + dir.File("a.bin")
             + " -binary -offset 0x100 " + dir.File("c.bin") + " -binary -offset 0x00FFFFF0 -o %O.touch -motorola"
             + " -address-length=3",
         "\nS2", "256:" + a + "|131072:" + b + "|16777200:" + c + "|"},
        {"srec_cat " + bin + " -binary -offset 0x8000 -o %O.hex -intel -crlf", ":020000040001F9", image},
        {"srec_cat " + bin + " -binary -offset 0x8000 -o %O.hex -intel --address-length=3 -crlf", ":020000021000EC",
         image},
        {"objcopy -I binary -O ihex --change-addresses 0x8000 " + bin + " %O.hex", ":020000021000EC", image},
        {"srec_cat " + bin + " -binary -offset 0x8000 -o %O.hex -intel", ":",
         "refused: line 1: the line ends in LF alone"},
    };
    // Every address width with every record length; the line end alternates so that each meets both.
    for (const int width : {2, 3, 4}) {
        for (const int perRecord : {1, 7, 16, 32, 100, 250}) {
            cases.emplace_back("srec_cat " + small + " -binary -offset 0x1200 -o %O.pen -motorola -address-length="
                                   + std::to_string(width) + " -obs=" + std::to_string(perRecord)
                                   + ((width + perRecord) % 2 ? "" : " -crlf"),
                               "S" + std::to_string(width - 1), "4608:" + smallData + "|");
        }
    }
    for (auto [command, record, loaded] : cases) {
        const std::size_t at = command.find("%O");
        const std::string out = dir.File("out") + command.substr(at + 2, command.find(' ', at) - at - 2);
        command.replace(at, 2, dir.File("out"));
        ASSERT_EQ(std::system((command + " 2>&1").c_str()), 0) << command;
        const std::string text = ReadFile(out);
        ASSERT_NE(text.find(record), std::string::npos) << command;
        const bool crlf = text.find("\r\n") != std::string::npos; // objcopy always ends lines so
        ASSERT_TRUE(command.find("objcopy") == 0 || crlf == (command.find(" -crlf") < command.size())) << command;
        const std::string actual = Loaded(out);
        EXPECT_TRUE(actual.rfind(loaded, 0) == 0 && actual.size() < loaded.size() + 40) << command << ": "
                                                                                          << actual.substr(0, 100);
    }
}
