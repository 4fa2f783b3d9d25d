// The command lines of vellum-fwupdater (what its runs do not reach) and of the GTK program.

#include "FWUpdater/CliApp.h"
#include "FWUpdater/CliOptions.h"

#include <gtest/gtest.h>

#include <tuple>

// GTK's line, the words, the command (eHelp: refused), the unattended line (single blanks: an
// empty argument is an empty token for the application object) or a part of the reason.
TEST(CliOptions, LinesAreReadOrRefusedWithAReason)
{
    using E = ECliCommand;
    const std::tuple<bool, std::vector<std::string>, ECliCommand, std::string> cases[] = {
        {false, {}, E::eHelp, "no command"},
        {false, {"update", "--type", "pen", "a", "b"}, E::eHelp, "FILE"},
        {false, {"list", "--yes"}, E::eHelp, "--yes only applies"},
        {false, {"list", "--device", "x"}, E::eHelp, "--device only applies to the update command"},
        {false, {"-path", "x", "-auto", "pen", "--json"}, E::eHelp, "unattended"},
        {false, {"--simulate", "-path", "hid#vid_ffff+pid_0100#x", "-auto", "pen", "-lang", "de"}, E::eUnattended,
         "-path hid#vid_ffff+pid_0100#x -auto pen -lang de"},
        {false, {"-auto", "", "pen", "-path", "/dev/hidraw3"}, E::eUnattended, "-auto  pen -path /dev/hidraw3"},
        {true, {"--simulate", "-path", "a+b", "-auto", "pen", "-lang", "fr"}, E::eUnattended, "-path a+b -auto pen -lang fr"},
        {true, {"update", "--type", "pen", "f.pen"}, E::eHelp, "unexpected argument 'update'"},
        {true, {"--json"}, E::eHelp, "--json does not apply to the window"},
        {true, {"--sim-state", "s"}, E::eHelp, "--sim-state needs --simulate"},
    };
    for (const auto& [window, arguments, command, lineOrReason] : cases) {
        SCOPED_TRACE(lineOrReason);
        CliOptions options;
        CCliMessage error;
        const bool valid = window ? ParseWindowOptions(arguments, options, error)
                                  : ParseCliOptions(arguments, options, error);
        EXPECT_EQ(valid, command != E::eHelp) << error.English();
        if (valid) {
            EXPECT_EQ(options.command, command);
            EXPECT_EQ(options.unattendedLine, lineOrReason);
        } else {
            EXPECT_NE(error.English().find(lineOrReason), std::string::npos) << error.English();
        }
    }
}
