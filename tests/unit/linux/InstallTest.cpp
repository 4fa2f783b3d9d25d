#include "FWUpdater/CDiscovery.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

// cmake --install with the prefix /usr, as a package does: each file lands where the program,
// man, bash-completion and udev look for it, and the rules carry the build's vendor id.
TEST(Install, EachFileWhereItsReaderLooks)
{
    CTempDir dest;
    const std::string command = "DESTDIR='" + dest.Path().string() + "' '" + VFWU_CMAKE_COMMAND + "' --install '" +
                                VFWU_BINARY_DIR + "' --prefix /usr --component Unspecified >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    // The program looks in bin/../share/vellum-fwupdater for scenarios/.
    for (const char* path : {"usr/bin/vellum-fwupdater", "usr/share/vellum-fwupdater/scenarios/basic/fw_loader.ini",
                             "usr/share/man/man1/vellum-fwupdater.1",
                             "usr/share/bash-completion/completions/vellum-fwupdater"})
        EXPECT_TRUE(std::filesystem::exists(dest.Path() / path)) << path;

    char vid[8];
    std::snprintf(vid, sizeof vid, "%04x", static_cast<unsigned>(DefaultVendorId() & 0xFFFF));
    const std::string rules = ReadFile((dest.Path() / "etc/udev/rules.d/70-vellum-fwupdater.rules").string());
    EXPECT_NE(rules.find(std::string("ATTR{idVendor}==\"") + vid + "\""), std::string::npos) << rules;
}
