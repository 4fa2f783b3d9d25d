// The command lines of vellum-fwupdater (what its runs do not reach) and of the GTK program (the
// same global options and the unattended form, no command words).

#include "FWUpdater/CliApp.h"
#include "FWUpdater/CliOptions.h"
#include "FWUpdater/DataDirectory.h"

#include <gtest/gtest.h>

TEST(CliOptions, LinesAreReadOrRefusedWithAReason)
{
    struct Case
    {
        bool window; // the GTK program's line
        std::vector<std::string> arguments;
        ECliCommand command; // eHelp for a refused line
        std::string unattendedLineOrError;
    };
    const Case cases[] = {
        {false, {}, ECliCommand::eHelp, "no command"},
        {false, {"--simulate"}, ECliCommand::eHelp, "no command given"},
        {false, {"update", "--type", "pen", "a", "b"}, ECliCommand::eHelp, "FILE"},
        {false, {"inspect"}, ECliCommand::eHelp, "FILE"},
        {false, {"list", "extra"}, ECliCommand::eHelp, "'extra'"},
        {false, {"list", "--yes"}, ECliCommand::eHelp, "--yes only applies"},
        {false, {"inspect", "f", "--verify"}, ECliCommand::eHelp, "--verify only applies"},
        {false, {"list", "--device", "x"}, ECliCommand::eHelp, "--device only applies to the update command"},
        {false, {"list", "--topology"}, ECliCommand::eHelp, "needs a value"},
        {false, {"list", "--json=1"}, ECliCommand::eHelp, "takes no value"},
        {false, {"--simulate=", "list"}, ECliCommand::eHelp, "scenario"},
        {false, {"-path", "x", "-auto", "pen", "--json"}, ECliCommand::eHelp, "unattended"},
        // Global options are taken out; the rest is joined with single blanks for the application
        // object's reader, so an empty argument gives an empty token as two blanks would.
        {false, {"--simulate", "-path", "hid#vid_ffff+pid_0100#x", "-auto", "pen", "-lang", "de"},
         ECliCommand::eUnattended, "-path hid#vid_ffff+pid_0100#x -auto pen -lang de"},
        {false, {"-auto", "", "pen", "-path", "/dev/hidraw3"}, ECliCommand::eUnattended, "-auto  pen -path /dev/hidraw3"},
        {true, {}, ECliCommand::eWindow, ""},
        {true, {"--simulate=bulk", "--lang", "de"}, ECliCommand::eWindow, ""},
        {true, {"--simulate", "-path", "a+b", "-auto", "pen", "-lang", "fr"}, ECliCommand::eUnattended,
         "-path a+b -auto pen -lang fr"},
        {true, {"--version", "--simulate"}, ECliCommand::eVersion, ""},
        {true, {"list"}, ECliCommand::eHelp, "unexpected argument 'list'"},
        {true, {"update", "--type", "pen", "f.pen"}, ECliCommand::eHelp, "unexpected argument 'update'"},
        {true, {"--type", "pen"}, ECliCommand::eHelp, "--type does not apply to the window"},
        {true, {"--json"}, ECliCommand::eHelp, "--json does not apply to the window"},
        {true, {"--sim-state", "s"}, ECliCommand::eHelp, "--sim-state needs --simulate"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "row " << (&c - cases));
        CliOptions options;
        CCliMessage error;
        const bool valid = c.window ? ParseWindowOptions(c.arguments, options, error)
                                    : ParseCliOptions(c.arguments, options, error);
        EXPECT_EQ(valid, c.command != ECliCommand::eHelp) << error.English();
        if (valid) {
            EXPECT_EQ(options.command, c.command);
            EXPECT_EQ(options.unattendedLine, c.unattendedLineOrError);
        } else {
            EXPECT_NE(error.English().find(c.unattendedLineOrError), std::string::npos) << error.English();
        }
    }
}

// The unattended form looks for its update files in the topology's folder.
TEST(DataDirectory, FolderOfAPath)
{
    EXPECT_EQ(DirectoryOf("a/b/fw_loader.ini"), "a/b");
    EXPECT_EQ(DirectoryOf("fw_loader.ini"), ".");
    EXPECT_EQ(DirectoryOf("/fw_loader.ini"), "/");
}
