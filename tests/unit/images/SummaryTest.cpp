// The summary of a loaded file that front ends print.

#include "FWUpdater/CSRec.h"
#include "FWUpdater/FirmwareSummary.h"
#include "ImageTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

// The path as a JSON string's contents (Windows paths carry backslashes).
std::string JsonEscaped(const std::string& text_I)
{
    std::string escaped;
    for (char c : text_I) {
        if (c == '\\' || c == '"')
            escaped.push_back('\\');
        escaped.push_back(c);
    }
    return escaped;
}

} // namespace

TEST(FirmwareSummary, SRecordBlocksWithAddressSizeAndByteSum)
{
    CTempDir dir;
    const std::string path = dir.File("fw.pen");
    // Block 0x1000: bytes 0..19 (sum 190); block 0x2000: 0xFF x 3 (sum 765).
    WriteFile(path, SRecLine('1', 0x2000, {0xFF, 0xFF, 0xFF}) + "\n" + SRecLine('3', 0x1000, Bytes(20)) + "\n");
    CSRec source;
    ASSERT_TRUE(source.Load(path));
    const FirmwareSummary s = SummarizeFirmware(source);
    EXPECT_EQ(s.format, eFormatPen);
    EXPECT_EQ(s.formatName, "pen");
    EXPECT_TRUE(s.hasData);
    ASSERT_EQ(s.blocks.size(), 2u);
    EXPECT_EQ(s.blocks[0].address, 0x1000u);
    EXPECT_EQ(s.blocks[0].size, 20u);
    EXPECT_EQ(s.blocks[0].byteSum, 190u);
    EXPECT_EQ(s.blocks[1].byteSum, 765u);
    EXPECT_EQ(FirmwareSummaryText(s), "File: " + path + "\nFormat: pen (0)\nBlocks: 2\n"
                                      "  0x00001000  size 20  byte sum 190\n  0x00002000  size 3  byte sum 765\n");
    EXPECT_EQ(FirmwareSummaryJson(s), "{\"file\":\"" + JsonEscaped(path) + "\",\"format\":\"pen\",\"formatId\":0,\"hasData\":true,"
                                      "\"blocks\":[{\"address\":4096,\"size\":20,\"byteSum\":190},"
                                      "{\"address\":8192,\"size\":3,\"byteSum\":765}]}");
}

TEST(FirmwareSummary, IntelHexSumCoversTheWholeDataLengthIncludingErasedBytes)
{
    CTempDir dir;
    const std::string path = dir.File("fw.hex");
    WriteFile(path, JoinLines({HexRecord(0, 0x8000, {1, 2, 3}), HexRecord(1, 0, {})}, "\r\n"));
    CSRec source;
    ASSERT_TRUE(source.Load(path));
    const FirmwareSummary s = SummarizeFirmware(source);
    EXPECT_EQ(s.formatName, "hex");
    EXPECT_EQ(s.startAddress, 0x8000);
    EXPECT_EQ(s.dataLength, 512u);
    EXPECT_EQ(s.dataByteSum, 6u + 509u * 255u);
    EXPECT_EQ(FirmwareSummaryJson(s), "{\"file\":\"" + JsonEscaped(path) + "\",\"format\":\"hex\",\"formatId\":3,\"hasData\":true,"
                                      "\"startAddress\":32768,\"dataLength\":512,\"byteSum\":"
                                      + std::to_string(6u + 509u * 255u) + "}");
}

TEST(FirmwareSummary, AirohaSizeAndSumAndEscapedFileName)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows file names cannot contain a quotation mark";
#endif
    CTempDir dir;
    const std::string path = dir.File("q\"uote.airoflash");
    WriteFile(path, std::string("\x10\x20\xF0", 3));
    CSRec source;
    ASSERT_TRUE(source.Load(path));
    const FirmwareSummary s = SummarizeFirmware(source);
    EXPECT_EQ(s.size, 3u);
    EXPECT_EQ(s.byteSum, 0x10u + 0x20u + 0xF0u);
    EXPECT_NE(FirmwareSummaryJson(s).find("q\\\"uote.airoflash\",\"format\":\"airoflash\",\"formatId\":4,\"hasData\":true,"
                                          "\"size\":3,\"byteSum\":288}"),
              std::string::npos)
        << FirmwareSummaryJson(s);
    EXPECT_NE(FirmwareSummaryText(s).find("Format: airoflash (4)\nSize: 3\nByte sum: 288\n"), std::string::npos);
}

TEST(FirmwareSummary, FailedOrUnknownLoadSaysNoData)
{
    CDiagnosticCapture capture;
    CSRec source;
    source.Load("nothing.bin");
    const FirmwareSummary s = SummarizeFirmware(source);
    EXPECT_EQ(s.formatName, "unknown");
    EXPECT_FALSE(s.hasData);
    EXPECT_EQ(FirmwareSummaryText(s), "File: nothing.bin\nFormat: unknown (99)\nData: none\n");
    EXPECT_EQ(FirmwareSummaryJson(s), "{\"file\":\"nothing.bin\",\"format\":\"unknown\",\"formatId\":99,\"hasData\":false}");
}
