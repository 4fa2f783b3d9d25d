// The command line of vellum-fwupdater: commands, global options anywhere, the unattended form.

#include "FWUpdater/CliApp.h"
#include "FWUpdater/CliOptions.h"
#include "FirmwareUpdaterApp.h"
#include "LanguageProvider.h"
#include "StringUtils.h"

#include <gtest/gtest.h>

namespace {

CliOptions Parse(const std::vector<std::string>& arguments_I)
{
    CliOptions options;
    CCliMessage error;
    EXPECT_TRUE(ParseCliOptions(arguments_I, options, error)) << error.English();
    return options;
}

std::string Error(const std::vector<std::string>& arguments_I)
{
    CliOptions options;
    CCliMessage error;
    EXPECT_FALSE(ParseCliOptions(arguments_I, options, error));
    return error.English();
}

} // namespace

TEST(CliOptions, CommandsAndTheirOptions)
{
    CliOptions list = Parse({"--simulate", "list", "--json"});
    EXPECT_EQ(list.command, ECliCommand::eList);
    EXPECT_TRUE(list.simulate);
    EXPECT_EQ(list.scenario, "basic");
    EXPECT_TRUE(list.json);

    CliOptions inspect = Parse({"inspect", "a b.pen"});
    EXPECT_EQ(inspect.command, ECliCommand::eInspect);
    EXPECT_EQ(inspect.file, "a b.pen");
    EXPECT_FALSE(inspect.simulate);

    CliOptions update = Parse({"--simulate=protocol1", "--lang", "de", "--log-dir=/x", "update", "--type", "touch",
                               "f.touch", "--yes", "--verify", "--json", "--topology", "t.ini"});
    EXPECT_EQ(update.command, ECliCommand::eUpdate);
    EXPECT_EQ(update.scenario, "protocol1");
    EXPECT_EQ(update.language, "de");
    EXPECT_EQ(update.logDirectory, "/x");
    EXPECT_EQ(update.updateType, 1);
    EXPECT_EQ(update.file, "f.touch");
    EXPECT_TRUE(update.yes && update.verify && update.json);
    EXPECT_EQ(update.topology, "t.ini");

    EXPECT_EQ(Parse({"--type=bluetooth", "update", "x"}).updateType, 2);
    EXPECT_EQ(Parse({"list", "--help"}).command, ECliCommand::eHelp);
    EXPECT_EQ(Parse({"--version"}).command, ECliCommand::eVersion);
}

TEST(CliOptions, MistakesAreRefusedWithAReason)
{
    EXPECT_NE(Error({}).find("no command"), std::string::npos);
    EXPECT_NE(Error({"lst"}).find("unknown command 'lst'"), std::string::npos);
    EXPECT_NE(Error({"list", "--jsn"}).find("unknown option '--jsn'"), std::string::npos);
    EXPECT_NE(Error({"update", "f.pen"}).find("--type"), std::string::npos);
    EXPECT_NE(Error({"update", "--type", "stylus", "f.pen"}).find("'stylus'"), std::string::npos);
    EXPECT_NE(Error({"update", "--type", "pen"}).find("FILE"), std::string::npos);
    EXPECT_NE(Error({"update", "--type", "pen", "a", "b"}).find("FILE"), std::string::npos);
    EXPECT_NE(Error({"inspect"}).find("FILE"), std::string::npos);
    EXPECT_NE(Error({"list", "extra"}).find("'extra'"), std::string::npos);
    EXPECT_NE(Error({"list", "--yes"}).find("--yes only applies"), std::string::npos);
    EXPECT_NE(Error({"inspect", "f", "--verify"}).find("--verify only applies"), std::string::npos);
    EXPECT_NE(Error({"list", "--topology"}).find("needs a value"), std::string::npos);
    EXPECT_NE(Error({"list", "--json=1"}).find("takes no value"), std::string::npos);
    EXPECT_NE(Error({"--simulate=", "list"}).find("scenario"), std::string::npos);
    EXPECT_NE(Error({"--sim-state", "s", "list"}).find("needs --simulate"), std::string::npos);
    EXPECT_NE(Error({"--sim-faults", "seed=1", "list"}).find("needs --simulate"), std::string::npos);
    EXPECT_NE(Error({"-path", "x", "-auto", "pen", "--json"}).find("unattended"), std::string::npos);
}

TEST(CliOptions, UnattendedWordsKeepTheTokenRulesOfTheWindowsProgram)
{
    // Global options are taken out; the rest is joined with single blanks and read by the
    // application object, so an empty argument gives an empty token as two blanks would.
    CliOptions options = Parse({"--simulate", "-path", "hid#vid_ffff+pid_0100#x", "-auto", "pen", "-lang", "de"});
    EXPECT_EQ(options.command, ECliCommand::eUnattended);
    EXPECT_EQ(options.unattendedLine, "-path hid#vid_ffff+pid_0100#x -auto pen -lang de");
    const CFirmwareUpdaterApp app(Utf8ToUtf16(options.unattendedLine), CFirmwareUpdaterApp::EPathStyle::eWindowsOrPosix);
    EXPECT_EQ(app.GetDevicePath(), u"\\\\?\\hid#vid_ffff&pid_0100#x");
    EXPECT_EQ(app.GetAutoUpdateBoard(), u"pen");
    EXPECT_EQ(app.GetLanguage(), "de");

    const CFirmwareUpdaterApp gap(Utf8ToUtf16(Parse({"-auto", "", "pen", "-path", "/dev/hidraw3"}).unattendedLine),
                                  CFirmwareUpdaterApp::EPathStyle::eWindowsOrPosix);
    EXPECT_EQ(gap.GetAutoUpdateBoard(), u"");
    EXPECT_EQ(gap.GetDevicePath(), u"/dev/hidraw3");

    const CFirmwareUpdaterApp chained(Utf8ToUtf16(Parse({"-lang", "-path", "x"}).unattendedLine),
                                      CFirmwareUpdaterApp::EPathStyle::eWindowsOrPosix);
    EXPECT_EQ(chained.GetLanguage(), "-path");
    EXPECT_EQ(chained.GetDevicePath(), u"\\\\?\\x");
}

TEST(CliLanguage, TableNamesThenPosixLocalesThenEnglish)
{
    LanguageProvider provider("userUI", std::make_shared<CFixedLanguagePlatform>(std::nullopt, 0x0409));
    SelectCliLanguage(provider, "ZH_tw");
    EXPECT_EQ(provider.GetCurrentLanguage().mName, "zh_TW");
    SelectCliLanguage(provider, "de_DE.UTF-8");
    EXPECT_EQ(provider.GetResourceLanguageId(), 0x0007);
    SelectCliLanguage(provider, "pt_BR");
    EXPECT_EQ(provider.GetCurrentLanguage().mName, "pt");
    // Swedish has a table record but no strings of its own (they fall back to English).
    SelectCliLanguage(provider, "sv_SE.UTF-8");
    EXPECT_EQ(provider.GetCurrentLanguage().mName, "sv");
    SelectCliLanguage(provider, "xx_YY");
    EXPECT_EQ(provider.GetCurrentLanguage().mName, "en");
}

// The GTK program's line: the same global options, the unattended form, and no command words.
TEST(WindowOptions, GlobalOptionsAndTheUnattendedFormOnly)
{
    struct Case
    {
        std::vector<std::string> arguments;
        bool valid;
        ECliCommand command;
        std::string unattendedLine;
        std::string errorPart;
    };
    const Case cases[] = {
        {{}, true, ECliCommand::eWindow, "", ""},
        {{"--simulate=bulk", "--lang", "de"}, true, ECliCommand::eWindow, "", ""},
        {{"--simulate", "-path", "a+b", "-auto", "pen", "-lang", "fr"}, true, ECliCommand::eUnattended,
         "-path a+b -auto pen -lang fr", ""},
        {{"--help"}, true, ECliCommand::eHelp, "", ""},
        {{"--version", "--simulate"}, true, ECliCommand::eVersion, "", ""},
        {{"list"}, false, ECliCommand::eHelp, "", "unexpected argument 'list'"},
        {{"update", "--type", "pen", "f.pen"}, false, ECliCommand::eHelp, "", "unexpected argument 'update'"},
        {{"--type", "pen"}, false, ECliCommand::eHelp, "", "--type does not apply to the window"},
        {{"--yes"}, false, ECliCommand::eHelp, "", "--yes does not apply to the window"},
        {{"--json"}, false, ECliCommand::eHelp, "", "--json does not apply to the window"},
        {{"--sim-state", "s"}, false, ECliCommand::eHelp, "", "--sim-state needs --simulate"},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const std::string& a : c.arguments)
            joined += a + " ";
        SCOPED_TRACE(joined);
        CliOptions options;
        CCliMessage error;
        EXPECT_EQ(ParseWindowOptions(c.arguments, options, error), c.valid) << error.English();
        if (!c.valid) {
            EXPECT_NE(error.English().find(c.errorPart), std::string::npos) << error.English();
            continue;
        }
        EXPECT_EQ(options.command, c.command);
        EXPECT_EQ(options.unattendedLine, c.unattendedLine);
    }
    // The command-line program still wants a command.
    EXPECT_EQ(Error({"--simulate"}), "no command given");
}
