#include "FWUpdater/CLinuxHotplugMonitor.h"

#include <gtest/gtest.h>

#include <atomic>

// The monitor's thread blocks in poll on udev's socket; Stop must wake and join it, and no
// sink call may come after Stop returns. Where netlink is not available (some containers)
// Start fails and there is nothing to stop.
TEST(HotplugMonitor, StopWakesAndJoinsTheListeningThread)
{
    std::atomic<int> calls {0};
    CLinuxHotplugMonitor monitor([&calls](bool, const std::string&) { ++calls; });
    if (!monitor.Start())
        GTEST_SKIP() << "udev netlink monitor not available here";
    EXPECT_FALSE(monitor.Start()) << "a running monitor must refuse a second start";
    monitor.Stop();
    const int afterStop = calls.load();
    monitor.Stop(); // a second stop is harmless
    EXPECT_EQ(calls.load(), afterStop);
    // It can be started again after a stop.
    EXPECT_TRUE(monitor.Start());
}
