// The firmware data source: format by extension, dispatch, guards, what each load leaves, and
// the summary of a loaded file that front ends print.

#include "FWUpdater/CSRec.h"
#include "FWUpdater/FirmwareSummary.h"
#include "ImageTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// Two blocks: 16 bytes at 0x1000, 8 at 0x2000.
std::string SRecFile(const CTempDir& dir_I, const std::string& name_I)
{
    const std::string path = dir_I.File(name_I);
    WriteFile(path, SRecLine('1', 0x1000, Bytes(16)) + "\n" + SRecLine('1', 0x2000, Bytes(8, 0x40)) + "\n");
    return path;
}

std::string JsonEscaped(const std::string& text_I)
{
    std::string escaped;
    for (const char c : text_I) {
        if (c == '\\' || c == '"') {
            escaped.push_back('\\');
        }
        escaped.push_back(c);
    }
    return escaped;
}

} // namespace

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

TEST(DataSourceFormat, GuardsAssertInOrderAndLoadOrClearNothing)
{
    CTempDir dir;
    WriteFile(dir.File("notes.txt"), SRecLine('1', 0x10, Bytes(4)) + "\n");
    const struct
    {
        const char* name;
        std::function<bool(CSRec&)> act;
        DataSourceFormat format;
        std::vector<std::string> asserts;
    } cases[] = {
        {"empty path", [](CSRec& s) { return s.Load(""); }, eFormatUnknown,
         {"firmware file not specified", "unrecognized file format"}},
        {"unknown extension", [&](CSRec& s) { return s.Load(dir.File("notes.txt")); }, eFormatUnknown,
         {"unrecognized file format"}},
        {"loaders of another format",
         [&](CSRec& s) { return s.Load(dir.File("x.hex")) || s.LoadSRec("x.pen") || s.LoadAiroHa("x.airoflash"); },
         eFormatIntelHex, {"Trying to load a non-SREC file format!", "Trying to load a non-AiroHa file format!"}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        CSRec source;
        ASSERT_TRUE(source.Load(SRecFile(dir, "good.pen")));
        CDiagnosticCapture capture;
        EXPECT_FALSE(row.act(source));
        EXPECT_EQ(source.GetFileType(), row.format);
        EXPECT_EQ(source.GetBlocks().size(), 2u);
        const auto lines = capture.Lines();
        ASSERT_EQ(lines.size(), row.asserts.size());
        for (std::size_t i = 0; i < lines.size(); ++i) {
            // The file's path prefix depends on how the build names sources.
            EXPECT_EQ(lines[i].rfind("Assert:(\"" + row.asserts[i] + "\") in ", 0), 0u) << lines[i];
            EXPECT_NE(lines[i].find("CSRec.cpp at "), std::string::npos) << lines[i];
        }
    }
}

TEST(DataSourceLoad, EachFormatGoesToItsReaderAndOnlyAFailedSRecLoadEmptiesTheBlocks)
{
    CTempDir dir;
    CSRec source;
    EXPECT_FALSE(source.HasLoadedData());
    const auto hex = source.GetIntelHexData();
    const auto airo = source.GetAiroFlashData();
    ASSERT_TRUE(source.Load(SRecFile(dir, "fw.vel")));
    EXPECT_EQ(source.GetFileType(), eFormatVel);
    EXPECT_TRUE(source.HasLoadedData());
    EXPECT_EQ(hex->GetStartAddress(), -1);

    WriteFile(dir.File("fw.HEX"), JoinLines({HexRecord(0, 0x8000, Bytes(16)), HexRecord(1, 0, {})}, "\r\n"));
    ASSERT_TRUE(source.Load(dir.File("fw.HEX")));
    EXPECT_EQ(source.GetIntelHexData(), hex) << "images are loaded in place, never replaced";
    EXPECT_EQ(hex->GetStartAddress(), 0x8000);
    EXPECT_EQ(source.GetBlocks().size(), 2u) << "an Intel HEX load leaves the S-record blocks alone";
    WriteFile(dir.File("bt.airoflash"), std::string("\x01\x02\x03", 3));
    ASSERT_TRUE(source.Load(dir.File("bt.airoflash")));
    EXPECT_EQ(source.GetAiroFlashData(), airo);
    EXPECT_EQ(airo->GetSize(), 3u);
    WriteFile(dir.File("broken.hex"), ":10800000\n");
    EXPECT_FALSE(source.Load(dir.File("broken.hex")));
    EXPECT_EQ(source.GetBlocks().size(), 2u);
    EXPECT_EQ(hex->GetStartAddress(), 0x8000);

    WriteFile(dir.File("bad.touch"), SRecLine('1', 0x10, Bytes(4)) + "\nS4\n");
    EXPECT_FALSE(source.Load(dir.File("bad.touch")));
    EXPECT_EQ(source.GetFileType(), eFormatTouch);
    EXPECT_TRUE(source.GetBlocks().empty());
    ASSERT_TRUE(source.Load(SRecFile(dir, "again.pen")));
    EXPECT_FALSE(source.Load(dir.File("missing.pen")));
    EXPECT_TRUE(source.GetBlocks().empty());
}

TEST(FirmwareSummary, TextAndJsonOfEachFormat)
{
    CTempDir dir;
#ifdef _WIN32
    const std::string airoName = "quote.airoflash"; // Windows names cannot hold a quotation mark
#else
    const std::string airoName = "q\"uote.airoflash";
#endif
    const struct
    {
        std::string name;
        std::string content;
        std::string text; // after "File: <path>\n"; empty: not checked
        std::string json; // after "{\"file\":\"<path>\","
    } cases[] = {
        // Block 0x1000: bytes 0..19 (sum 190); block 0x2000: 0xFF x 3 (sum 765).
        {"fw.pen", SRecLine('1', 0x2000, {0xFF, 0xFF, 0xFF}) + "\n" + SRecLine('3', 0x1000, Bytes(20)) + "\n",
         "Format: pen (0)\nBlocks: 2\n  0x00001000  size 20  byte sum 190\n  0x00002000  size 3  byte sum 765\n",
         "\"format\":\"pen\",\"formatId\":0,\"hasData\":true,\"blocks\":[{\"address\":4096,\"size\":20,\"byteSum\":190},"
         "{\"address\":8192,\"size\":3,\"byteSum\":765}]}"},
        // The sum covers the whole data length: 1 + 2 + 3 and 509 erased bytes.
        {"fw.hex", JoinLines({HexRecord(0, 0x8000, {1, 2, 3}), HexRecord(1, 0, {})}, "\r\n"), "",
         "\"format\":\"hex\",\"formatId\":3,\"hasData\":true,\"startAddress\":32768,\"dataLength\":512,\"byteSum\":"
             + std::to_string(6 + 509 * 255) + "}"},
        {airoName, std::string("\x10\x20\xF0", 3), "Format: airoflash (4)\nSize: 3\nByte sum: 288\n",
         "\"format\":\"airoflash\",\"formatId\":4,\"hasData\":true,\"size\":3,\"byteSum\":288}"},
        {"nothing.bin", "", "Format: unknown (99)\nData: none\n",
         "\"format\":\"unknown\",\"formatId\":99,\"hasData\":false}"},
    };
    CDiagnosticCapture capture;
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        const std::string path = dir.File(row.name);
        WriteFile(path, row.content);
        CSRec source;
        source.Load(path);
        const FirmwareSummary summary = SummarizeFirmware(source);
        if (!row.text.empty()) {
            EXPECT_EQ(FirmwareSummaryText(summary), "File: " + path + "\n" + row.text);
        }
        EXPECT_EQ(FirmwareSummaryJson(summary), "{\"file\":\"" + JsonEscaped(path) + "\"," + row.json);
    }
}
