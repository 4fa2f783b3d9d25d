// The command line of vellum-fwupdater (refusals the subprocess runs do not reach, the unattended
// form) and of the GTK program.

#include "FWUpdater/CliApp.h"
#include "FWUpdater/CliOptions.h"

#include <gtest/gtest.h>

namespace {

CliOptions Parse(const std::vector<std::string>& arguments_I)
{
    CliOptions options;
    CCliMessage error;
    EXPECT_TRUE(ParseCliOptions(arguments_I, options, error)) << error.English();
    return options;
}

} // namespace

TEST(CliOptions, MistakesAreRefusedWithAReason)
{
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{}, "no command"},
        {{"--simulate"}, "no command given"},
        {{"update", "--type", "pen", "a", "b"}, "FILE"},
        {{"inspect"}, "FILE"},
        {{"list", "extra"}, "'extra'"},
        {{"list", "--yes"}, "--yes only applies"},
        {{"inspect", "f", "--verify"}, "--verify only applies"},
        {{"list", "--topology"}, "needs a value"},
        {{"list", "--json=1"}, "takes no value"},
        {{"--simulate=", "list"}, "scenario"},
        {{"-path", "x", "-auto", "pen", "--json"}, "unattended"},
    };
    for (const auto& [arguments, reason] : cases) {
        CliOptions options;
        CCliMessage error;
        EXPECT_FALSE(ParseCliOptions(arguments, options, error)) << reason;
        EXPECT_NE(error.English().find(reason), std::string::npos) << error.English();
    }
}

// Global options are taken out; the rest is joined with single blanks for the application
// object's reader (tested there), so an empty argument gives an empty token as two blanks would.
TEST(CliOptions, UnattendedWordsAreJoinedWithSingleBlanks)
{
    const CliOptions options = Parse({"--simulate", "-path", "hid#vid_ffff+pid_0100#x", "-auto", "pen", "-lang", "de"});
    EXPECT_EQ(options.command, ECliCommand::eUnattended);
    EXPECT_EQ(options.unattendedLine, "-path hid#vid_ffff+pid_0100#x -auto pen -lang de");
    EXPECT_EQ(Parse({"-auto", "", "pen", "-path", "/dev/hidraw3"}).unattendedLine, "-auto  pen -path /dev/hidraw3");
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
