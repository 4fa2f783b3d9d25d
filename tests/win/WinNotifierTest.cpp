// The Windows log file as it lands on disk: every line ends in CR LF, including the lines inside
// one message (a device description, a line ending in a line feed), and none in CR CR LF.

#include "CWinUpdateNotifier.h"
#include "StringUtils.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::wstring WidePath(const std::string& utf8_I)
{
    const std::u16string path = Utf8ToUtf16(utf8_I);
    return std::wstring(path.begin(), path.end());
}

// The file's bytes from offset_I on; the whole file when offset_I is 0.
std::string ReadFrom(const std::string& path_I, long offset_I)
{
    std::string bytes;
    if (FILE* file = ::_wfopen(WidePath(path_I).c_str(), L"rb")) {
        std::fseek(file, offset_I, SEEK_SET);
        char buffer[4096];
        std::size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
            bytes.append(buffer, got);
        std::fclose(file);
    }
    return bytes;
}

} // namespace

TEST(WinNotifier, EveryLineOfTheLogFileEndsInCarriageReturnLineFeed)
{
    CWinUpdateNotifier notifier;
    const std::string path = notifier.GetLogPath();
    ASSERT_FALSE(path.empty()) << "no log file in the temporary folder";
    // A run in the same second appends to the same file: look only at what this one writes.
    const long start = static_cast<long>(ReadFrom(path, 0).size());

    notifier.Log("Device: Vellum Sim Tablet\n  pen: hid#1 (1.05)\n  touch: hid#2 (1.05)");
    notifier.Log("pen: old checksum: 0x00000001; new checksum: 0x0000abcd\n");
    notifier.Log("written with its own CR LF\r\nsecond");
    notifier.ReportError(8, "first\nsecond");
    notifier.ReportState(3);
    notifier.Log("");

    const std::string written = ReadFrom(path, start);
    EXPECT_EQ(written, "Device: Vellum Sim Tablet\r\n"
                       "  pen: hid#1 (1.05)\r\n"
                       "  touch: hid#2 (1.05)\r\n"
                       "pen: old checksum: 0x00000001; new checksum: 0x0000abcd\r\n"
                       "\r\n"
                       "written with its own CR LF\r\n"
                       "second\r\n"
                       "[ERROR] first\r\n"
                       "second (8)\r\n"
                       "[STATE] 3\r\n"
                       "\r\n");
    // And the file as a whole, with whatever earlier runs of this second wrote before.
    const std::string whole = ReadFrom(path, 0);
    for (std::size_t i = 0; i < whole.size(); ++i) {
        if (whole[i] != '\n')
            continue;
        ASSERT_TRUE(i >= 1 && whole[i - 1] == '\r') << "bare line feed at byte " << i;
        ASSERT_FALSE(i >= 2 && whole[i - 2] == '\r') << "CR CR LF at byte " << i;
    }
}
