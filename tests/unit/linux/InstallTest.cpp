#include "FWUpdater/CDiscovery.h"
#include "TestSupport.h"
#include "Version.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

std::string Format(const char* format_I, unsigned a_I, unsigned b_I = 0)
{
    char text[32];
    std::snprintf(text, sizeof text, format_I, a_I, b_I);
    return text;
}

} // namespace

// cmake --install with the prefix /usr, as a package does: each file lands where the program,
// man, bash-completion and udev look for it, and the source-only files stay behind.
TEST(Install, EachFileWhereItsReaderLooks)
{
    CTempDir dest;
    const std::string command = "DESTDIR='" + dest.Path().string() + "' '" + VFWU_CMAKE_COMMAND + "' --install '" +
                                VFWU_BINARY_DIR + "' --prefix /usr --component Unspecified >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    // "2.22" from the program's binary-coded version word.
    const std::string manHeader =
        "\"vellum-fwupdater " + Format("%x.%02x", kProgramVersionWord >> 8, kProgramVersionWord & 0xFF) + "\"";
    // The rules carry the build's vendor id in both the hidraw and the USB rule, whatever the prefix.
    const std::uint32_t vid = DefaultVendorId() & 0xFFFF;
    const std::string hidrawRule =
        "SUBSYSTEM==\"hidraw\", KERNELS==\"????:" + Format("%04X", vid) + ":????.*\", TAG+=\"uaccess\"";
    const std::string usbRule = "ATTR{idVendor}==\"" + Format("%04x", vid) + "\", TAG+=\"uaccess\"";
    const struct
    {
        const char* path;          // below the install root
        bool present;              // installed, or deliberately not
        std::string contains;      // a text the installed file must hold
        std::string containsToo;
    } paths[] = {
        {"usr/bin/vellum-fwupdater", true, "", ""},
        // The program looks in bin/../share/vellum-fwupdater for scenarios/.
        {"usr/share/vellum-fwupdater/scenarios/basic/fw_loader.ini", true, "penBoard", ""},
        {"usr/share/vellum-fwupdater/scenarios/basic/basic.pen", true, "", ""},
        {"usr/share/vellum-fwupdater/fw_loader.example.ini", true, "loaderBoard", ""},
        {"usr/share/man/man1/vellum-fwupdater.1", true, manHeader, ""},
        {"usr/share/bash-completion/completions/vellum-fwupdater", true,
         "complete -F _vellum_fwupdater vellum-fwupdater", ""},
        {"etc/udev/rules.d/70-vellum-fwupdater.rules", true, hidrawRule, usbRule},
        // The rules template (vendor id ffff) and the sources of the page and completion are no
        // data of the program.
        {"usr/share/vellum-fwupdater/udev", false, "", ""},
        {"usr/share/vellum-fwupdater/man", false, "", ""},
        {"usr/share/vellum-fwupdater/bash-completion", false, "", ""},
    };
    for (const auto& p : paths) {
        const std::filesystem::path file = dest.Path() / p.path;
        EXPECT_EQ(std::filesystem::exists(file), p.present) << p.path;
        if (!p.present)
            continue;
        const std::string text = ReadFile(file.string());
        for (const std::string& wanted : {p.contains, p.containsToo})
            EXPECT_NE(text.find(wanted), std::string::npos) << p.path << " lacks " << wanted;
    }
    EXPECT_EQ(ReadFile((dest.Path() / "usr/share/man/man1/vellum-fwupdater.1").string()).find('@'), std::string::npos)
        << "an unfilled @VARIABLE@ in the manual page";
}
