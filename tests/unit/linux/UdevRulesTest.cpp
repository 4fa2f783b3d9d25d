#include "FWUpdater/CDiscovery.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace {

std::string Hex4(std::uint32_t v_I, bool upper_I)
{
    char text[8];
    std::snprintf(text, sizeof text, upper_I ? "%04X" : "%04x", v_I & 0xFFFF);
    return text;
}

} // namespace

// cmake --install puts the rules where udev reads them, with the build's vendor id in both the
// hidraw and the USB rule.
TEST(UdevRules, InstallPutsTheRulesWithTheBuildsVendorId)
{
    CTempDir dest;
    const std::string command = "DESTDIR='" + dest.Path().string() + "' '" + VFWU_CMAKE_COMMAND + "' --install '" +
                                VFWU_BINARY_DIR + "' --component Unspecified >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const std::string rules = ReadFile(dest.Path().string() + "/etc/udev/rules.d/70-vellum-fwupdater.rules");
    ASSERT_FALSE(rules.empty());
    const std::uint32_t vid = DefaultVendorId();
    EXPECT_NE(rules.find("SUBSYSTEM==\"hidraw\", KERNELS==\"????:" + Hex4(vid, true) + ":????.*\", TAG+=\"uaccess\""),
              std::string::npos)
        << rules;
    EXPECT_NE(rules.find("ATTR{idVendor}==\"" + Hex4(vid, false) + "\", TAG+=\"uaccess\""), std::string::npos) << rules;
}
