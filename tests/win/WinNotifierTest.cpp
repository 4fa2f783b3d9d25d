// The Windows log file as it lands on disk: every line ends in CR LF, including the lines inside
// one message (a device description, a line ending in a line feed), and none in CR CR LF.

#include "CWinUpdateNotifier.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

TEST(WinNotifier, EveryLineOfTheLogFileEndsInCarriageReturnLineFeed)
{
    CWinUpdateNotifier notifier;
    const std::string path = notifier.GetLogPath();
    ASSERT_FALSE(path.empty()) << "no log file in the temporary folder";
    // A run in the same second appends to the same file: look only at what this one writes.
    const std::size_t start = ReadFile(path).size();
    notifier.Log("Device: Vellum Sim Tablet\n  pen: hid#1 (1.05)\n  touch: hid#2 (1.05)");
    notifier.Log("pen: old checksum: 0x00000001; new checksum: 0x0000abcd\n");
    notifier.Log("written with its own CR LF\r\nsecond");
    notifier.ReportError(8, "first\nsecond");
    notifier.ReportState(3);
    notifier.Log("");
    const std::string whole = ReadFile(path);
    EXPECT_EQ(whole.substr(start), "Device: Vellum Sim Tablet\r\n"
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
    for (std::size_t i = whole.find('\n'); i != std::string::npos; i = whole.find('\n', i + 1)) {
        ASSERT_TRUE(i >= 1 && whole[i - 1] == '\r') << "bare line feed at byte " << i;
        ASSERT_FALSE(i >= 2 && whole[i - 2] == '\r') << "CR CR LF at byte " << i;
    }
}

} // namespace
