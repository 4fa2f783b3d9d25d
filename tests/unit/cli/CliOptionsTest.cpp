// The command line of vellum-fwupdater and of the GTK program: commands, global options
// anywhere, the unattended form.

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

CFirmwareUpdaterApp Unattended(const std::vector<std::string>& arguments_I)
{
    return CFirmwareUpdaterApp(Utf8ToUtf16(Parse(arguments_I).unattendedLine), CFirmwareUpdaterApp::EPathStyle::eWindowsOrPosix);
}

} // namespace

TEST(CliOptions, CommandsAndTheirOptions)
{
    const CliOptions list = Parse({"--simulate", "list", "--json"});
    EXPECT_EQ(list.command, ECliCommand::eList);
    EXPECT_TRUE(list.simulate && list.json);
    EXPECT_EQ(list.scenario, "basic");
    EXPECT_EQ(Parse({"inspect", "a b.pen"}).file, "a b.pen");

    const CliOptions update = Parse({"--simulate=protocol1", "--lang", "de", "--log-dir=/x", "update", "--type", "touch",
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
}

TEST(CliOptions, MistakesAreRefusedWithAReason)
{
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{}, "no command"},
        {{"--simulate"}, "no command given"},
        {{"lst"}, "unknown command 'lst'"},
        {{"list", "--jsn"}, "unknown option '--jsn'"},
        {{"update", "--type", "stylus", "f.pen"}, "'stylus'"},
        {{"update", "f.pen"}, "--type"},
        {{"update", "--type", "pen", "a", "b"}, "FILE"},
        {{"inspect"}, "FILE"},
        {{"list", "extra"}, "'extra'"},
        {{"list", "--yes"}, "--yes only applies"},
        {{"inspect", "f", "--verify"}, "--verify only applies"},
        {{"list", "--topology"}, "needs a value"},
        {{"list", "--json=1"}, "takes no value"},
        {{"--simulate=", "list"}, "scenario"},
        {{"--sim-faults", "seed=1", "list"}, "needs --simulate"},
        {{"-path", "x", "-auto", "pen", "--json"}, "unattended"},
    };
    for (const auto& [arguments, reason] : cases) {
        CliOptions options;
        CCliMessage error;
        EXPECT_FALSE(ParseCliOptions(arguments, options, error)) << reason;
        EXPECT_NE(error.English().find(reason), std::string::npos) << error.English();
    }
}

// Global options are taken out; the rest is joined with single blanks and read by the
// application object, so an empty argument gives an empty token as two blanks would.
TEST(CliOptions, UnattendedWordsKeepTheTokenRulesOfTheWindowsProgram)
{
    const CliOptions options = Parse({"--simulate", "-path", "hid#vid_ffff+pid_0100#x", "-auto", "pen", "-lang", "de"});
    EXPECT_EQ(options.command, ECliCommand::eUnattended);
    EXPECT_EQ(options.unattendedLine, "-path hid#vid_ffff+pid_0100#x -auto pen -lang de");
    const CFirmwareUpdaterApp app = Unattended({"--simulate", "-path", "hid#vid_ffff+pid_0100#x", "-auto", "pen", "-lang", "de"});
    EXPECT_EQ(app.GetDevicePath(), u"\\\\?\\hid#vid_ffff&pid_0100#x");
    EXPECT_EQ(app.GetAutoUpdateBoard(), u"pen");
    EXPECT_EQ(app.GetLanguage(), "de");
    const CFirmwareUpdaterApp gap = Unattended({"-auto", "", "pen", "-path", "/dev/hidraw3"});
    EXPECT_EQ(gap.GetAutoUpdateBoard(), u"");
    EXPECT_EQ(gap.GetDevicePath(), u"/dev/hidraw3");
    const CFirmwareUpdaterApp chained = Unattended({"-lang", "-path", "x"});
    EXPECT_EQ(chained.GetLanguage(), "-path");
    EXPECT_EQ(chained.GetDevicePath(), u"\\\\?\\x");
}

TEST(CliLanguage, TableNamesThenPosixLocalesThenEnglish)
{
    LanguageProvider provider("userUI", std::make_shared<CFixedLanguagePlatform>(std::nullopt, 0x0409));
    // Swedish has a table record but no strings of its own (they fall back to English).
    for (const auto& [locale, name] : {std::pair<const char*, const char*>{"ZH_tw", "zh_TW"}, {"de_DE.UTF-8", "de"},
                                       {"pt_BR", "pt"}, {"sv_SE.UTF-8", "sv"}, {"xx_YY", "en"}}) {
        SelectCliLanguage(provider, locale);
        EXPECT_EQ(provider.GetCurrentLanguage().mName, name) << locale;
    }
}

// The GTK program's line: the same global options, the unattended form, and no command words.
TEST(WindowOptions, GlobalOptionsAndTheUnattendedFormOnly)
{
    struct Case
    {
        std::vector<std::string> arguments;
        ECliCommand command; // eHelp for a refused line
        std::string unattendedLineOrError;
    };
    const Case cases[] = {
        {{}, ECliCommand::eWindow, ""},
        {{"--simulate=bulk", "--lang", "de"}, ECliCommand::eWindow, ""},
        {{"--simulate", "-path", "a+b", "-auto", "pen", "-lang", "fr"}, ECliCommand::eUnattended, "-path a+b -auto pen -lang fr"},
        {{"--version", "--simulate"}, ECliCommand::eVersion, ""},
        {{"list"}, ECliCommand::eHelp, "unexpected argument 'list'"},
        {{"update", "--type", "pen", "f.pen"}, ECliCommand::eHelp, "unexpected argument 'update'"},
        {{"--type", "pen"}, ECliCommand::eHelp, "--type does not apply to the window"},
        {{"--json"}, ECliCommand::eHelp, "--json does not apply to the window"},
        {{"--sim-state", "s"}, ECliCommand::eHelp, "--sim-state needs --simulate"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.unattendedLineOrError + " " + std::to_string(c.arguments.size()));
        CliOptions options;
        CCliMessage error;
        const bool valid = ParseWindowOptions(c.arguments, options, error);
        EXPECT_EQ(valid, c.command != ECliCommand::eHelp) << error.English();
        if (valid) {
            EXPECT_EQ(options.command, c.command);
            EXPECT_EQ(options.unattendedLine, c.unattendedLineOrError);
        } else {
            EXPECT_NE(error.English().find(c.unattendedLineOrError), std::string::npos) << error.English();
        }
    }
}
