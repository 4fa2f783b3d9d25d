#include "LogUpdateNotifier.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

namespace {

struct Fixture
{
    std::shared_ptr<CMemoryLogFile::Contents> contents = std::make_shared<CMemoryLogFile::Contents>();
    std::unique_ptr<CLogUpdateNotifier> Make(const char* eol = "\r\n", ELogEncoding enc = ELogEncoding::eLatin1)
    {
        return std::make_unique<CLogUpdateNotifier>(std::make_unique<CMemoryLogFile>(contents), "log.txt", eol, enc);
    }
    std::string Text()
    {
        std::lock_guard<std::mutex> lock(contents->mMutex);
        return contents->mText;
    }
};

} // namespace

TEST(LogFileName, HourMinuteSecondRunTogetherUnpadded)
{
    LogTime t;
    t.mHour = 9;
    t.mMinute = 5;
    t.mSecond = 3;
    t.mMonth = 3;
    t.mDay = 7;
    t.mYear = 2026;
    EXPECT_EQ(MakeLogFileName(t), "VellumFWUpdater_953_3.7.2026.txt");
    LogTime a = t, b = t;
    a.mHour = 1, a.mMinute = 11, a.mSecond = 5;
    b.mHour = 11, b.mMinute = 1, b.mSecond = 5;
    EXPECT_EQ(MakeLogFileName(a), MakeLogFileName(b));
    EXPECT_EQ(MakeLogFileName(a), "VellumFWUpdater_1115_3.7.2026.txt");
}

TEST(LogNotifier, LineFormatsOfEachReport)
{
    Fixture f;
    auto n = f.Make();
    n->Log("Device Update complete!");
    n->ReportError(1, "Could not find selected device");
    n->ReportState(3);
    n->ReportProgress(42);
    n->Log("");
    EXPECT_EQ(f.Text(), "Device Update complete!\r\n"
                        "[ERROR] Could not find selected device (1)\r\n"
                        "[STATE] 3\r\n"
                        "\r\n");
    EXPECT_EQ(n->GetState(), 3);
    EXPECT_EQ(n->GetProgress(), 42);
    EXPECT_EQ(n->GetLastErrorCode(), 1);
    EXPECT_EQ(n->GetLastErrorMessage(), "Could not find selected device");
    EXPECT_EQ(n->GetLogPath(), "log.txt");
}

TEST(LogNotifier, ErrorLineIsExactlyOneLineAndProgressWritesNothing)
{
    Fixture f;
    auto n = f.Make("\n");
    n->ReportProgress(10);
    EXPECT_EQ(f.Text(), "");
    n->ReportError(6, "m");
    EXPECT_EQ(f.Text(), "[ERROR] m (6)\n");
    EXPECT_EQ(n->GetLastErrorCode(), 6);
    EXPECT_EQ(n->GetLastErrorMessage(), "m");
    n->ReportError(-1, "");
    EXPECT_EQ(f.Text(), "[ERROR] m (6)\n[ERROR]  (-1)\n");
}

TEST(LogNotifier, CharactersBeyondLatin1AreReplacedOrKeptByEncoding)
{
    Fixture latin;
    latin.Make("\n")->Log("caf\xC3\xA9 \xE2\x82\xAC"); // café €
    EXPECT_EQ(latin.Text(), "caf\xE9 ?\n");
    Fixture utf8;
    utf8.Make("\n", ELogEncoding::eUtf8)->Log("caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(utf8.Text(), "caf\xC3\xA9 \xE2\x82\xAC\n");
}

TEST(LogNotifier, WithoutFileEverythingButTheLogWorks)
{
    CLogUpdateNotifier n(nullptr, "ignored", "\n", ELogEncoding::eUtf8);
    n.Log("x");
    n.ReportState(5);
    n.ReportError(3, "");
    EXPECT_EQ(n.GetState(), 5);
    EXPECT_EQ(n.GetLastErrorCode(), 3);
    EXPECT_FALSE(n.IsLogOpen());
    EXPECT_EQ(n.GetLogPath(), "");
}

TEST(LogNotifier, AFailedWriteSkipsLaterWritesSilently)
{
    Fixture f;
    f.contents->mFailAfter = 1;
    auto n = f.Make("\n");
    n->Log("one");
    n->Log("two");
    n->ReportState(2);
    EXPECT_EQ(f.Text(), "one\n");
    EXPECT_FALSE(n->IsLogOpen());
    EXPECT_EQ(n->GetState(), 2);
}

// Run under ThreadSanitizer in CI: lines from two threads never interleave inside a line and
// the value fields are consistent.
TEST(LogNotifier, ConcurrentReportsKeepLinesWhole)
{
    Fixture f;
    auto n = f.Make("\n");
    constexpr int kLines = 400;
    std::thread worker([&] {
        for (int i = 0; i < kLines; ++i) {
            n->Log("worker line " + std::to_string(i) + " with some text to make it long enough");
            n->ReportProgress(i % 101);
            n->ReportState(3);
        }
    });
    std::thread ui([&] {
        for (int i = 0; i < kLines; ++i) {
            n->ReportError(8, "ui error " + std::to_string(i));
            (void)n->GetState();
            (void)n->GetProgress();
        }
    });
    worker.join();
    ui.join();
    const auto lines = SplitLines(f.Text());
    ASSERT_EQ(lines.size(), size_t(3 * kLines));
    int logs = 0, errors = 0, states = 0;
    for (const auto& l : lines) {
        if (l.rfind("worker line ", 0) == 0 && l.size() > 40 && l.find("long enough") == l.size() - 11)
            ++logs;
        else if (l.rfind("[ERROR] ui error ", 0) == 0 && l.back() == ')')
            ++errors;
        else if (l == "[STATE] 3")
            ++states;
        else
            ADD_FAILURE() << "torn line: " << l;
    }
    EXPECT_EQ(logs, kLines);
    EXPECT_EQ(errors, kLines);
    EXPECT_EQ(states, kLines);
    EXPECT_EQ(n->GetLastErrorCode(), 8);
}

// A message's own line ends (LF or CR LF, and a CR just before the report's end) become the
// file's end of line: in a CR LF log every LF follows exactly one CR; in an LF log no CR is left
// at a line end.
TEST(LogNotifier, LineEndsInsideAMessageBecomeTheFilesEndOfLine)
{
    struct Case
    {
        const char* message;
        std::vector<std::string> lines; // the file's lines, without their ends
    };
    const Case cases[] = {
        {"one line", {"one line"}},
        {"Tablet: Sim\n  pen: 1.05\n  touch: 1.05", {"Tablet: Sim", "  pen: 1.05", "  touch: 1.05"}},
        {"pen: old checksum: 0x00000000; new checksum: 0x1234abcd\n",
         {"pen: old checksum: 0x00000000; new checksum: 0x1234abcd", ""}},
        {"a\r\nb", {"a", "b"}},
        {"a\r\n\r\n", {"a", "", ""}},
        {"\n", {"", ""}},
        {"ends in CR\r", {"ends in CR"}},
        {"a\rb", {"a\rb"}}, // a CR that ends no line stays as it is
        {"\n\nx", {"", "", "x"}},
    };
    for (const char* eol : {"\r\n", "\n"}) {
        for (const Case& c : cases) {
            Fixture f;
            f.Make(eol)->Log(c.message);
            std::string expected;
            for (const std::string& line : c.lines)
                expected += line + eol;
            EXPECT_EQ(f.Text(), expected) << "message \"" << c.message << "\" with end of line of " << std::strlen(eol)
                                          << " bytes";
        }
    }
}

TEST(LogNotifier, AnErrorWhoseMessageHoldsLinesEndsEachLineAlike)
{
    Fixture f;
    auto n = f.Make("\r\n");
    n->ReportError(8, "first\nsecond\r\n");
    EXPECT_EQ(f.Text(), "[ERROR] first\r\nsecond\r\n (8)\r\n");
    // The stored message is the caller's, unchanged.
    EXPECT_EQ(n->GetLastErrorMessage(), "first\nsecond\r\n");
}
