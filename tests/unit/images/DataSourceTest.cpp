// The firmware data source: format by extension, dispatch, guards and what each load leaves.

#include "FWUpdater/CSRec.h"
#include "ImageTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

bool StartsWith(const std::string& text_I, const std::string& prefix_I)
{
    return text_I.rfind(prefix_I, 0) == 0;
}

const std::string kAssertSource = " in Common/FWUpdater/CSRec.cpp at ";

std::string SRecFile(const CTempDir& dir_I, const std::string& name_I)
{
    const std::string path = dir_I.File(name_I);
    WriteFile(path, SRecLine('1', 0x1000, Bytes(16)) + "\n" + SRecLine('1', 0x2000, Bytes(8, 0x40)) + "\n");
    return path;
}

std::string HexFile(const CTempDir& dir_I, const std::string& name_I)
{
    const std::string path = dir_I.File(name_I);
    WriteFile(path, JoinLines({HexRecord(0, 0x8000, Bytes(16)), HexRecord(1, 0, {})}, "\r\n"));
    return path;
}

} // namespace

TEST(DataSourceFormat, ExtensionAfterTheLastDotDecidesIgnoringCase)
{
    const std::pair<const char*, DataSourceFormat> cases[] = {
        {"C:\\fw\\Tablet.PEN", eFormatPen},   {"tablet.touch", eFormatTouch},  {"tablet.vel", eFormatVel},
        {"tablet.Hex", eFormatIntelHex},      {"a.AiroFlash", eFormatAiroFlash}, {"tablet.pen.bak", eFormatUnknown},
        {"firmware", eFormatUnknown},         {"C:\\fw1.2\\firmware", eFormatUnknown}, {"dir.pen/", eFormatUnknown},
        {".hex", eFormatIntelHex},            {"tablet.", eFormatUnknown},     {"tablet.hexx", eFormatUnknown},
    };
    CDiagnosticCapture capture;
    for (const auto& [name, format] : cases) {
        CSRec source;
        EXPECT_FALSE(source.Load(name)) << name; // none of them exists
        EXPECT_EQ(source.GetFileType(), format) << name;
        EXPECT_EQ(source.GetFileName(), name);
    }
}

TEST(DataSourceFormat, EmptyPathGivesTwoAssertionLinesInOrder)
{
    CDiagnosticCapture capture;
    CSRec source;
    EXPECT_FALSE(source.Load(""));
    EXPECT_EQ(source.GetFileType(), eFormatUnknown);
    const auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(StartsWith(lines[0], "Assert:(\"firmware file not specified\")" + kAssertSource)) << lines[0];
    EXPECT_TRUE(StartsWith(lines[1], "Assert:(\"unrecognized file format\")" + kAssertSource)) << lines[1];
}

TEST(DataSourceFormat, UnknownExtensionAssertsAndLoadsOrClearsNothing)
{
    CTempDir dir;
    CSRec source;
    ASSERT_TRUE(source.Load(SRecFile(dir, "good.pen")));
    const std::string other = dir.File("notes.txt");
    WriteFile(other, SRecLine('1', 0x10, Bytes(4)) + "\n");
    CDiagnosticCapture capture;
    EXPECT_FALSE(source.Load(other));
    EXPECT_EQ(source.GetFileType(), eFormatUnknown);
    EXPECT_EQ(source.GetFileName(), other);
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_TRUE(StartsWith(capture.Lines()[0], "Assert:(\"unrecognized file format\")")) << capture.Lines()[0];
    EXPECT_EQ(source.GetBlocks().size(), 2u);
}

TEST(DataSourceFormat, LoadersRefuseTheWrongFormat)
{
    CSRec source;
    CDiagnosticCapture capture;
    source.Load("x.hex");
    capture.Clear();
    EXPECT_FALSE(source.LoadSRec("x.pen"));
    EXPECT_FALSE(source.LoadAiroHa("x.airoflash"));
    const auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(StartsWith(lines[0], "Assert:(\"Trying to load a non-SREC file format!\")" + kAssertSource)) << lines[0];
    EXPECT_TRUE(StartsWith(lines[1], "Assert:(\"Trying to load a non-AiroHa file format!\")" + kAssertSource)) << lines[1];
}

TEST(DataSourceLoad, EachFormatGoesToItsReaderAndImagesAreNeverReplaced)
{
    CTempDir dir;
    CSRec source;
    EXPECT_FALSE(source.HasLoadedData());
    const auto hex = source.GetIntelHexData();
    const auto airo = source.GetAiroFlashData();
    ASSERT_TRUE(hex && airo);

    ASSERT_TRUE(source.Load(SRecFile(dir, "fw.vel")));
    EXPECT_EQ(source.GetFileType(), eFormatVel);
    EXPECT_TRUE(source.HasLoadedData());
    EXPECT_EQ(hex->GetStartAddress(), -1);

    ASSERT_TRUE(source.Load(HexFile(dir, "fw.HEX")));
    EXPECT_EQ(source.GetFileType(), eFormatIntelHex);
    EXPECT_EQ(source.GetIntelHexData(), hex);
    EXPECT_EQ(hex->GetStartAddress(), 0x8000);
    EXPECT_EQ(source.GetBlocks().size(), 2u) << "an Intel HEX load leaves the S-record blocks alone";

    const std::string bin = dir.File("bt.airoflash");
    WriteFile(bin, std::string("\x01\x02\x03", 3));
    ASSERT_TRUE(source.Load(bin));
    EXPECT_EQ(source.GetAiroFlashData(), airo);
    EXPECT_EQ(airo->GetSize(), 3u);
    EXPECT_EQ(hex->GetStartAddress(), 0x8000);
}

TEST(DataSourceLoad, FailedSRecLoadEmptiesBlocksButFailedHexLoadKeepsThem)
{
    CTempDir dir;
    CSRec source;
    ASSERT_TRUE(source.Load(SRecFile(dir, "a.pen")));
    const std::string broken = dir.File("broken.hex");
    WriteFile(broken, ":10800000\n");
    EXPECT_FALSE(source.Load(broken));
    EXPECT_EQ(source.GetBlocks().size(), 2u);
    EXPECT_TRUE(source.HasLoadedData());

    const std::string bad = dir.File("bad.touch");
    WriteFile(bad, SRecLine('1', 0x10, Bytes(4)) + "\nS4\n");
    EXPECT_FALSE(source.Load(bad));
    EXPECT_EQ(source.GetFileType(), eFormatTouch);
    EXPECT_TRUE(source.GetBlocks().empty());
    EXPECT_FALSE(source.HasLoadedData());

    ASSERT_TRUE(source.Load(SRecFile(dir, "again.pen")));
    EXPECT_FALSE(source.Load(dir.File("missing.pen")));
    EXPECT_TRUE(source.GetBlocks().empty());
}

TEST(DataSourceLoad, GetBlocksReturnsAnIndependentCopy)
{
    CTempDir dir;
    CSRec source;
    ASSERT_TRUE(source.Load(SRecFile(dir, "a.pen")));
    auto copy = source.GetBlocks();
    copy[0].data[0] = 0xEE;
    copy[0].address = 7;
    copy.pop_back();
    const auto again = source.GetBlocks();
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[0].address, 0x1000u);
    EXPECT_EQ(again[0].data[0], 0);
}
