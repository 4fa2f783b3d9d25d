// The unattended command line's token rules (more through the command-line program: tests/unit/cli).

#include "FirmwareUpdaterApp.h"

#include <gtest/gtest.h>

TEST(CommandLine, TokenRulesOfTheThreeOptions)
{
    using EPathStyle = CFirmwareUpdaterApp::EPathStyle;
    const EPathStyle windows = EPathStyle::eWindows;
    const EPathStyle posix = EPathStyle::eWindowsOrPosix;
    struct Case
    {
        const char16_t* line;
        const char16_t* path;
        const char16_t* board;
        const char* language;
        EPathStyle style;
    };
    const Case cases[] = {
        {u"\t \r\n", u"", u"", "", windows},
        {u"  -path hid#vid_056a+pid_0357#7+1 -auto touch -lang ja  ", u"\\\\?\\hid#vid_056a&pid_0357#7&1", u"touch",
         "ja", windows},
        {u"-auto pen -path", u"", u"pen", "", windows}, // an option as the last token is ignored
        {u"-PATH x -Auto pen --path x -pathx y", u"", u"", "", windows}, // case-sensitive and whole
        {u"-auto pen -lang de -auto bluetooth -lang fr", u"", u"bluetooth", "fr", windows},
        // Quotes have no meaning and only blanks separate.
        {u"-auto \"pen touch\" -lang\tde", u"", u"\"pen", "", windows},
        // POSIX paths keep their form where they are allowed; anything else is a Windows path.
        {u"-path hid#x+y", u"\\\\?\\hid#x&y", u"", "", posix},
        {u"-path /dev/hidraw3", u"\\\\?\\/dev/hidraw3", u"", "", windows},
    };
    for (const Case& c : cases) {
        const CFirmwareUpdaterApp app(c.line, c.style);
        SCOPED_TRACE(testing::Message() << "line " << (&c - cases));
        EXPECT_EQ(app.GetDevicePath(), c.path);
        EXPECT_EQ(app.GetAutoUpdateBoard(), c.board);
        EXPECT_EQ(app.GetLanguage(), c.language);
    }
}
