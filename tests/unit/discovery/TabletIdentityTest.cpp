#include "FWUpdater/CDiscovery.h"

#include <gtest/gtest.h>

namespace {

struct IdentityCase
{
    const char* what;
    CDiscovery::TabletIdentity a;
    CDiscovery::TabletIdentity b;
    int distance;
};

// Paths as the device tree gives them: levels 1 up to the description's topology level.
const IdentityCase kCases[] = {
    {"a HID board and its HID loader on the same port", {"USB\\PID_0100\\T1", "HUB\\T1"}, {"USB\\PID_0094\\T1", "HUB\\T1"}, 2},
    {"the same record", {"USB\\PID_0100\\T1", "HUB\\T1"}, {"USB\\PID_0100\\T1", "HUB\\T1"}, 0},
    {"a USB board and its HID loader, one level deeper", {"HUB\\T1", "ROOT"}, {"USB\\PID_0094\\T1", "HUB\\T1"}, 1},
    {"the same, the other way round", {"USB\\PID_0094\\T1", "HUB\\T1"}, {"HUB\\T1", "ROOT"}, 1},
    {"two tablets on their own hubs", {"USB\\PID_0100\\T1", "HUB\\T1"}, {"USB\\PID_0100\\T0", "HUB\\T0"}, -1},
    {"another tablet's loader", {"USB\\PID_0100\\T1", "HUB\\T1"}, {"USB\\PID_0094\\T0", "HUB\\T0"}, -1},
    {"two USB tablets sharing only the root", {"HUB\\T1", "ROOT"}, {"HUB\\T0", "ROOT"}, 2},
    {"an unknown parent", {}, {"USB\\PID_0094\\T1", "HUB\\T1"}, -1},
};

} // namespace

TEST(TabletIdentity, DistanceTellsTheSameTabletFromAnother)
{
    for (const IdentityCase& c : kCases)
        EXPECT_EQ(CDiscovery::TabletDistance(c.a, c.b), c.distance) << c.what;
}
