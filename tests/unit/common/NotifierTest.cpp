#include "LogUpdateNotifier.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <thread>

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
    // Two times of one name: the reason a second run appends rather than truncates.
    EXPECT_EQ(MakeLogFileName(LogTime {1, 11, 5, 12, 31, 1999}), "VellumFWUpdater_1115_12.31.1999.txt");
    EXPECT_EQ(MakeLogFileName(LogTime {11, 1, 5, 12, 31, 1999}), "VellumFWUpdater_1115_12.31.1999.txt");
}

TEST(LogNotifier, LineFormatsOfEachReport)
{
    Fixture f;
    auto n = f.Make();
    n->ReportProgress(42); // writes nothing
    n->Log("Device Update complete!");
    n->ReportError(-1, "");
    n->ReportError(1, "Could not find selected device");
    n->ReportState(3);
    n->Log("");
    n->Log("caf\xC3\xA9 \xE2\x82\xAC"); // café €: beyond Latin-1 replaced
    EXPECT_EQ(f.Text(), "Device Update complete!\r\n"
                        "[ERROR]  (-1)\r\n"
                        "[ERROR] Could not find selected device (1)\r\n"
                        "[STATE] 3\r\n"
                        "\r\n"
                        "caf\xE9 ?\r\n");
    EXPECT_EQ(n->GetState(), 3);
    EXPECT_EQ(n->GetProgress(), 42);
    EXPECT_EQ(n->GetLastErrorCode(), 1);
    EXPECT_EQ(n->GetLastErrorMessage(), "Could not find selected device");
}

TEST(LogNotifier, WithoutFileOrAfterAFailedWriteEverythingButTheLogWorks)
{
    CLogUpdateNotifier none(nullptr, "ignored", "\n", ELogEncoding::eUtf8);
    none.Log("x");
    none.ReportError(3, "");
    EXPECT_EQ(none.GetLastErrorCode(), 3);
    EXPECT_FALSE(none.IsLogOpen());
    EXPECT_EQ(none.GetLogPath(), "");
    Fixture f;
    f.contents->mFailAfter = 1;
    auto n = f.Make("\n", ELogEncoding::eUtf8);
    n->Log("caf\xC3\xA9 \xE2\x82\xAC"); // kept as it is in UTF-8
    n->Log("two");
    n->ReportState(2);
    EXPECT_EQ(f.Text(), "caf\xC3\xA9 \xE2\x82\xAC\n"); // later writes are skipped silently
    EXPECT_FALSE(n->IsLogOpen());
    EXPECT_EQ(n->GetState(), 2);
}

// Run under ThreadSanitizer in CI: lines from two threads never interleave inside a line.
TEST(LogNotifier, ConcurrentReportsKeepLinesWhole)
{
    Fixture f;
    auto n = f.Make("\n");
    const std::string log = "worker line with some text to make it long enough";
    std::thread worker([&] {
        for (int i = 0; i < 400; ++i) {
            n->Log(log);
            n->ReportProgress(i % 101);
        }
    });
    for (int i = 0; i < 400; ++i) {
        n->ReportError(8, "ui error");
        (void)n->GetProgress();
    }
    worker.join();
    std::map<std::string, int> lines;
    for (const auto& l : SplitLines(f.Text()))
        ++lines[l];
    EXPECT_EQ(lines, (std::map<std::string, int> {{log, 400}, {"[ERROR] ui error (8)", 400}}));
}

// A message's own line ends (LF, CR LF, a final CR) become the file's end of line.
TEST(LogNotifier, LineEndsInsideAMessageBecomeTheFilesEndOfLine)
{
    const std::pair<const char*, std::string> cases[] = { // the file's text, '|' for its end of line
        {"Tablet: Sim\n  pen: 1.05\n", "Tablet: Sim|  pen: 1.05||"},
        {"a\r\n\r\n", "a|||"},
        {"ends in CR\r", "ends in CR|"},
        {"a\rb", "a\rb|"}, // a CR that ends no line stays as it is
    };
    for (const std::string eol : {"\r\n", "\n"}) {
        for (const auto& [message, text] : cases) {
            SCOPED_TRACE(testing::Message() << "message \"" << message << "\", end of line " << eol.size());
            Fixture f;
            f.Make(eol.c_str())->Log(message);
            std::string expected;
            for (const char c : text)
                expected += c == '|' ? eol : std::string(1, c);
            EXPECT_EQ(f.Text(), expected);
        }
    }
    Fixture f;
    auto n = f.Make("\r\n");
    n->ReportError(8, "first\nsecond\r\n");
    EXPECT_EQ(f.Text(), "[ERROR] first\r\nsecond\r\n (8)\r\n");
    EXPECT_EQ(n->GetLastErrorMessage(), "first\nsecond\r\n"); // the caller's, unchanged
}
