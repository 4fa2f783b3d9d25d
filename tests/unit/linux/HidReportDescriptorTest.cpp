#include "FWUpdater/CLinuxHotplugMonitor.h"
#include "FWUpdater/HidReportDescriptor.h"
#include "SimHidDescriptors.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Usages = std::vector<std::pair<int, int>>; // (page, usage) per top-level collection

Bytes Concat(std::initializer_list<Bytes> parts_I)
{
    Bytes out;
    for (const Bytes& p : parts_I)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

} // namespace

TEST(HidReportDescriptor, TopLevelCollectionsWithThePageInForceAtEachOrRefused)
{
    struct Case
    {
        const char* what;
        Bytes descriptor;
        Usages expected;
        bool accepted = true;
    };
    const Case cases[] = {
        {"one vendor collection",
         {0x06, 0x0D, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x02, 0x75, 0x08, 0x95, 0x01, 0x09, 0x01, 0xB1, 0x02, 0xC0},
         {{0xFF0D, 1}}},
        {"nested collections are not top-level", SimDigitizerPenCollection(3), {{0x000D, 2}}},
        {"several in order, each with the page before it",
         Concat({SimVendorCollection(0xFF0D, 1, SimNormalModeFeatures()), SimDigitizerPenCollection(3),
                 SimVendorCollection(0xFF00, 0x0A, SimVendorWrapperFeatures())}),
         {{0xFF0D, 1}, {0x000D, 2}, {0xFF00, 0x0A}}},
        {"an extended usage carries its own page", {0x05, 0x01, 0x0B, 0x0B, 0x00, 0x00, 0xFF, 0xA1, 0x01, 0xC0},
         {{0xFF00, 0x0B}}},
        // The first usage counts; locals end at a main item, so the second collection has usage 0.
        {"first usage, locals end at main items",
         {0x05, 0x0D, 0x09, 0x04, 0x09, 0x02, 0xA1, 0x01, 0x09, 0x30, 0x81, 0x02, 0xC0, 0x09, 0x05, 0x81, 0x02, 0xA1,
          0x01, 0xC0},
         {{0x0D, 4}, {0x0D, 0}}},
        {"pop restores the pushed page", {0x06, 0x0D, 0xFF, 0xA4, 0x05, 0x01, 0xB4, 0x09, 0x01, 0xA1, 0x01, 0xC0},
         {{0xFF0D, 1}}},
        {"a long item is skipped by its length, even holding a Collection",
         {0xFE, 0x02, 0x10, 0xA1, 0x01, 0x06, 0x00, 0xFF, 0x09, 0x0A, 0xA1, 0x01, 0xC0}, {{0xFF00, 0x0A}}},
        {"empty", {}, {}},
        {"item cut short", {0x06, 0x0D}, {}, false},
        {"collection never closed", {0x05, 0x01, 0x09, 0x01, 0xA1, 0x01}, {}, false},
        {"End Collection without Collection", {0xC0}, {}, false},
        {"Pop without Push", {0xB4}, {}, false},
        {"long item running past the end", {0xFE, 0x05, 0x10, 0x00}, {}, false},
        {"deeper pushes than the kernel allows", {0xA4, 0xA4, 0xA4, 0xA4, 0xA4}, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<HidCollectionUsage> parsed = {{1, 1}}; // a refusal leaves none
        ASSERT_EQ(ParseTopLevelCollections(c.descriptor, parsed), c.accepted);
        Usages usages;
        for (const HidCollectionUsage& u : parsed)
            usages.emplace_back(u.usagePage, u.usage);
        EXPECT_EQ(usages, c.expected);
    }
}

// Paths of a node's collections, and the tracker that reports every one of them at its removal.
TEST(HidrawPaths, MakeSplitAndForgetOnRemoval)
{
    EXPECT_EQ(MakeHidrawInterfacePath("/dev/hidraw3", 0), "/dev/hidraw3");
    EXPECT_EQ(MakeHidrawInterfacePath("/dev/hidraw12", 10), "/dev/hidraw12#10");
    // (path, node, collection): only a well-formed last "#N" separates.
    const std::vector<std::tuple<std::string, std::string, std::size_t>> cases = {
        {"/dev/hidraw7", "/dev/hidraw7", 0},       {"/dev/hidraw7#255", "/dev/hidraw7", 255},
        {"/dev/odd#name#2", "/dev/odd#name", 2},   {"/dev/hidraw3#", "/dev/hidraw3#", 0},
        {"/dev/hidraw3#01", "/dev/hidraw3#01", 0}, {"/dev/hidraw3#1a", "/dev/hidraw3#1a", 0},
        {"/dev/hidraw3#-1", "/dev/hidraw3#-1", 0}, {"/dev/hidraw3#12345", "/dev/hidraw3#12345", 0},
    };
    for (const auto& [path, node, collection] : cases) {
        std::string splitNode;
        std::size_t splitCollection = 99;
        SplitHidrawInterfacePath(path, splitNode, splitCollection);
        EXPECT_EQ(splitNode, node) << path;
        EXPECT_EQ(splitCollection, collection) << path;
    }
    using Paths = std::vector<std::string>;
    CHidrawPathTracker t;
    EXPECT_EQ(t.OnAdd("/dev/hidraw0", {"/dev/hidraw0", "/dev/hidraw0#1"}), (Paths{"/dev/hidraw0", "/dev/hidraw0#1"}));
    EXPECT_EQ(t.OnRemove("/dev/hidraw0"), (Paths{"/dev/hidraw0", "/dev/hidraw0#1"}));
    // Forgotten after its removal; a node name reused by another device gets its new collections.
    EXPECT_EQ(t.OnRemove("/dev/hidraw0"), (Paths{"/dev/hidraw0"}));
    EXPECT_EQ(t.OnAdd("/dev/hidraw0", {}), (Paths{"/dev/hidraw0"}));
    EXPECT_EQ(t.OnRemove("/dev/hidraw0"), (Paths{"/dev/hidraw0"}));
}

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
