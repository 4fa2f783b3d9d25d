#include "TestSupport.h"
#include "Version.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

// "2.22" from the program's binary-coded version word.
std::string VersionText()
{
    char text[16];
    std::snprintf(text, sizeof text, "%x.%02x", kProgramVersionWord >> 8, kProgramVersionWord & 0xFF);
    return text;
}

struct InstalledPath
{
    const char* path;     // below the install root
    bool present;         // installed, or deliberately not
    const char* contains; // a text the installed file must hold ("" for none)
};

} // namespace

// cmake --install with the prefix /usr, as a package does: each file lands where the program,
// man, bash-completion and udev look for it, and the source-only files stay behind.
TEST(Install, EachFileWhereItsReaderLooks)
{
    CTempDir dest;
    const std::string command = "DESTDIR='" + dest.Path().string() + "' '" + VFWU_CMAKE_COMMAND + "' --install '" +
                                VFWU_BINARY_DIR + "' --prefix /usr --component Unspecified >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    const std::string manHeader = "\"vellum-fwupdater " + VersionText() + "\"";
    const InstalledPath paths[] = {
        {"usr/bin/vellum-fwupdater", true, ""},
        // The program looks in bin/../share/vellum-fwupdater for scenarios/.
        {"usr/share/vellum-fwupdater/scenarios/basic/fw_loader.ini", true, "penBoard"},
        {"usr/share/vellum-fwupdater/scenarios/basic/basic.pen", true, ""},
        {"usr/share/vellum-fwupdater/scenarios/protocol1/protocol1.airoflash", true, ""},
        {"usr/share/vellum-fwupdater/scenarios/two-tablets/fw_loader.ini", true, ""},
        {"usr/share/vellum-fwupdater/fw_loader.example.ini", true, "loaderBoard"},
        // man and bash-completion search share/man and share/bash-completion/completions.
        {"usr/share/man/man1/vellum-fwupdater.1", true, manHeader.c_str()},
        {"usr/share/bash-completion/completions/vellum-fwupdater", true, "complete -F _vellum_fwupdater vellum-fwupdater"},
        // The rules template (vendor id ffff) and the sources of the page and completion are no
        // data of the program.
        {"usr/share/vellum-fwupdater/udev", false, ""},
        {"usr/share/vellum-fwupdater/man", false, ""},
        {"usr/share/vellum-fwupdater/bash-completion", false, ""},
    };
    for (const InstalledPath& p : paths) {
        const std::filesystem::path file = dest.Path() / p.path;
        EXPECT_EQ(std::filesystem::exists(file), p.present) << p.path;
        if (p.present && *p.contains) {
            EXPECT_NE(ReadFile(file.string()).find(p.contains), std::string::npos) << p.path << " lacks " << p.contains;
        }
    }
    EXPECT_EQ(ReadFile((dest.Path() / "usr/share/man/man1/vellum-fwupdater.1").string()).find('@'), std::string::npos)
        << "an unfilled @VARIABLE@ in the manual page";
}
