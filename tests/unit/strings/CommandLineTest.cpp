// The unattended command line: "-path", "-auto", "-lang" and their token rules.

#include "FirmwareUpdaterApp.h"

#include <gtest/gtest.h>

using EPathStyle = CFirmwareUpdaterApp::EPathStyle;

TEST(CommandLine, EmptyLineGivesThreeEmptyFields)
{
    for (const char16_t* line : {u"", u"   ", u"\t \r\n"}) {
        const CFirmwareUpdaterApp app(line);
        EXPECT_TRUE(app.GetDevicePath().empty());
        EXPECT_TRUE(app.GetAutoUpdateBoard().empty());
        EXPECT_TRUE(app.GetLanguage().empty());
    }
}

TEST(CommandLine, AllThreeOptions)
{
    const CFirmwareUpdaterApp app(u"  -path hid#vid_056a+pid_0357#7+1 -auto touch -lang ja  ");
    EXPECT_EQ(app.GetDevicePath(), u"\\\\?\\hid#vid_056a&pid_0357#7&1");
    EXPECT_EQ(app.GetAutoUpdateBoard(), u"touch");
    EXPECT_EQ(app.GetLanguage(), "ja");
}

TEST(CommandLine, PathGetsThePrefixAndEveryPlusBecomesAmpersand)
{
    EXPECT_EQ(CFirmwareUpdaterApp(u"-path a+b").GetDevicePath(), u"\\\\?\\a&b");
    EXPECT_EQ(CFirmwareUpdaterApp(u"-path ++a++").GetDevicePath(), u"\\\\?\\&&a&&");
    EXPECT_EQ(CFirmwareUpdaterApp(u"-path a&b").GetDevicePath(), u"\\\\?\\a&b");
}

TEST(CommandLine, OptionAsTheLastTokenIsIgnored)
{
    EXPECT_TRUE(CFirmwareUpdaterApp(u"-path").GetDevicePath().empty());
    EXPECT_TRUE(CFirmwareUpdaterApp(u"-auto pen -path").GetDevicePath().empty());
    EXPECT_TRUE(CFirmwareUpdaterApp(u"-lang").GetLanguage().empty());
    // A final blank makes no token, so the option is still last.
    EXPECT_TRUE(CFirmwareUpdaterApp(u"-auto ").GetAutoUpdateBoard().empty());
}

TEST(CommandLine, ValueTokenIsExaminedAsAnOptionToo)
{
    const CFirmwareUpdaterApp app(u"-lang -path x");
    EXPECT_EQ(app.GetLanguage(), "-path");
    EXPECT_EQ(app.GetDevicePath(), u"\\\\?\\x");
    const CFirmwareUpdaterApp chain(u"-auto -auto -auto");
    EXPECT_EQ(chain.GetAutoUpdateBoard(), u"-auto");
}

TEST(CommandLine, OptionsAreCaseSensitive)
{
    const CFirmwareUpdaterApp app(u"-PATH x -Auto pen -LANG de");
    EXPECT_TRUE(app.GetDevicePath().empty());
    EXPECT_TRUE(app.GetAutoUpdateBoard().empty());
    EXPECT_TRUE(app.GetLanguage().empty());
    EXPECT_TRUE(CFirmwareUpdaterApp(u"--path x").GetDevicePath().empty());
    EXPECT_TRUE(CFirmwareUpdaterApp(u"-pathx y").GetDevicePath().empty());
}

TEST(CommandLine, TwoBlanksGiveAnEmptyValue)
{
    const CFirmwareUpdaterApp app(u"-auto  pen");
    EXPECT_EQ(app.GetAutoUpdateBoard(), u"");
    const CFirmwareUpdaterApp path(u"-path  x");
    EXPECT_EQ(path.GetDevicePath(), u"\\\\?\\") << "the prefix alone";
}

TEST(CommandLine, LaterOptionsOverrideEarlierOnes)
{
    const CFirmwareUpdaterApp app(u"-auto pen -lang de -auto bluetooth -lang fr");
    EXPECT_EQ(app.GetAutoUpdateBoard(), u"bluetooth");
    EXPECT_EQ(app.GetLanguage(), "fr");
}

TEST(CommandLine, QuotesHaveNoMeaningAndOnlyBlanksSeparate)
{
    const CFirmwareUpdaterApp app(u"-auto \"pen touch\" -lang\tde");
    EXPECT_EQ(app.GetAutoUpdateBoard(), u"\"pen");
    EXPECT_TRUE(app.GetLanguage().empty()) << "a tab does not separate tokens";
}

TEST(CommandLine, LanguageIsConvertedToUtf8)
{
    EXPECT_EQ(CFirmwareUpdaterApp(u"-lang zh_TW").GetLanguage(), "zh_TW");
    EXPECT_EQ(CFirmwareUpdaterApp(u"-lang Français").GetLanguage(), "Fran\xC3\xA7" "ais");
    EXPECT_EQ(CFirmwareUpdaterApp(u"-lang \U0001F58A").GetLanguage(), "\xF0\x9F\x96\x8A");
}

TEST(CommandLine, PosixPathsKeepTheirFormWhereTheyAreAllowed)
{
    EXPECT_EQ(CFirmwareUpdaterApp(u"-path /dev/hidraw3", EPathStyle::eWindowsOrPosix).GetDevicePath(),
              u"/dev/hidraw3");
    EXPECT_EQ(CFirmwareUpdaterApp(u"-path /dev/a+b", EPathStyle::eWindowsOrPosix).GetDevicePath(), u"/dev/a&b");
    // Anything else is still a Windows path.
    EXPECT_EQ(CFirmwareUpdaterApp(u"-path hid#x+y", EPathStyle::eWindowsOrPosix).GetDevicePath(),
              u"\\\\?\\hid#x&y");
    EXPECT_EQ(CFirmwareUpdaterApp(u"-path  /x", EPathStyle::eWindowsOrPosix).GetDevicePath(), u"\\\\?\\");
    // The Windows program prefixes every path.
    EXPECT_EQ(CFirmwareUpdaterApp(u"-path /dev/hidraw3").GetDevicePath(), u"\\\\?\\/dev/hidraw3");
}
