#include "FWUpdater/CLinuxHotplugMonitor.h"
#include "FWUpdater/HidReportDescriptor.h"
#include "SimHidDescriptors.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<HidCollectionUsage> Parse(const Bytes& d)
{
    std::vector<HidCollectionUsage> c;
    EXPECT_TRUE(ParseTopLevelCollections(d, c));
    return c;
}

Bytes Concat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST(HidReportDescriptor, OneVendorCollectionGivesItsPageAndUsage)
{
    // Usage Page (0xFF0D), Usage (1), Collection (Application), ..., End Collection.
    const Bytes d = {0x06, 0x0D, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x02, 0x75, 0x08, 0x95, 0x01,
                     0x09, 0x01, 0xB1, 0x02, 0xC0};
    const auto c = Parse(d);
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0].usagePage, 0xFF0D);
    EXPECT_EQ(c[0].usage, 0x0001);
}

TEST(HidReportDescriptor, NestedCollectionsAreNotTopLevel)
{
    const auto c = Parse(SimDigitizerPenCollection(3));
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0].usagePage, 0x000D);
    EXPECT_EQ(c[0].usage, 0x0002);
}

TEST(HidReportDescriptor, SeveralTopLevelCollectionsInOrder)
{
    // Each collection keeps the page in force at its Collection item, not the one that follows.
    const Bytes d = Concat(Concat(SimVendorCollection(0xFF0D, 1, SimNormalModeFeatures()), SimDigitizerPenCollection(3)),
                           SimVendorCollection(0xFF00, 0x0A, SimVendorWrapperFeatures()));
    const auto c = Parse(d);
    ASSERT_EQ(c.size(), 3u);
    EXPECT_EQ(c[0].usagePage, 0xFF0D);
    EXPECT_EQ(c[0].usage, 1);
    EXPECT_EQ(c[1].usagePage, 0x000D);
    EXPECT_EQ(c[1].usage, 2);
    EXPECT_EQ(c[2].usagePage, 0xFF00);
    EXPECT_EQ(c[2].usage, 0x0A);
}

TEST(HidReportDescriptor, ExtendedUsageCarriesItsOwnPage)
{
    // Usage Page (1), Usage (0xFF00000B as a four-byte extended usage), Collection.
    const Bytes d = {0x05, 0x01, 0x0B, 0x0B, 0x00, 0x00, 0xFF, 0xA1, 0x01, 0xC0};
    const auto c = Parse(d);
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0].usagePage, 0xFF00);
    EXPECT_EQ(c[0].usage, 0x0B);
}

TEST(HidReportDescriptor, FirstUsageCountsAndLocalsEndAtMainItems)
{
    // Two usages before the collection: the first is the collection's. After an Input item the
    // locals are gone, so the second top-level collection without a Usage has usage 0.
    const Bytes d = {0x05, 0x0D, 0x09, 0x04, 0x09, 0x02, 0xA1, 0x01, 0x09, 0x30, 0x81, 0x02, 0xC0,
                     0x09, 0x05, 0x81, 0x02, 0xA1, 0x01, 0xC0};
    const auto c = Parse(d);
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c[0].usage, 0x04);
    EXPECT_EQ(c[1].usagePage, 0x0D);
    EXPECT_EQ(c[1].usage, 0);
}

TEST(HidReportDescriptor, PushAndPopRestoreThePage)
{
    // Page 0xFF0D, Push, Page 1, Pop, Usage 1, Collection: the popped page applies.
    const Bytes d = {0x06, 0x0D, 0xFF, 0xA4, 0x05, 0x01, 0xB4, 0x09, 0x01, 0xA1, 0x01, 0xC0};
    const auto c = Parse(d);
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0].usagePage, 0xFF0D);
}

TEST(HidReportDescriptor, LongItemsAreSkippedByTheirLength)
{
    // A long item whose data holds bytes that would read as a Collection if parsed as items.
    const Bytes d = {0xFE, 0x02, 0x10, 0xA1, 0x01, 0x06, 0x00, 0xFF, 0x09, 0x0A, 0xA1, 0x01, 0xC0};
    const auto c = Parse(d);
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0].usagePage, 0xFF00);
    EXPECT_EQ(c[0].usage, 0x0A);
}

TEST(HidReportDescriptor, MalformedDescriptorsAreRefused)
{
    const std::vector<Bytes> bad = {
        {0x06, 0x0D},                         // item cut short
        {0x05, 0x01, 0x09, 0x01, 0xA1, 0x01}, // collection never closed
        {0xC0},                               // End Collection without Collection
        {0xB4},                               // Pop without Push
        {0xFE, 0x05, 0x10, 0x00},             // long item running past the end
        {0xFE},                               // long item prefix alone
        {0xA4, 0xA4, 0xA4, 0xA4, 0xA4},       // deeper pushes than the kernel allows
    };
    for (const Bytes& d : bad) {
        std::vector<HidCollectionUsage> c = {{1, 1}};
        EXPECT_FALSE(ParseTopLevelCollections(d, c)) << testing::PrintToString(d);
        EXPECT_TRUE(c.empty());
    }
}

TEST(HidReportDescriptor, EmptyDescriptorHasNoCollection)
{
    std::vector<HidCollectionUsage> c;
    EXPECT_TRUE(ParseTopLevelCollections(Bytes{}, c));
    EXPECT_TRUE(c.empty());
}

TEST(HidReportDescriptor, SimulatedBoardDescriptorsDeclareTheirReports)
{
    // The loader's only report is the 1024-byte wrapper: id, Report Size 8, Report Count 1023.
    const Bytes d = SimVendorCollection(0xFF00, 1, SimVendorWrapperFeatures());
    const Bytes expectedTail = {0x85, 0xDC, 0x09, 0x01, 0x96, 0xFF, 0x03, 0xB1, 0x02, 0xC0};
    ASSERT_GE(d.size(), expectedTail.size());
    EXPECT_EQ(Bytes(d.end() - static_cast<long>(expectedTail.size()), d.end()), expectedTail);
    const auto c = Parse(d);
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0].usagePage, 0xFF00);
}

TEST(HidrawInterfacePath, CollectionZeroIsTheNodeItself)
{
    EXPECT_EQ(MakeHidrawInterfacePath("/dev/hidraw3", 0), "/dev/hidraw3");
    EXPECT_EQ(MakeHidrawInterfacePath("/dev/hidraw3", 1), "/dev/hidraw3#1");
    EXPECT_EQ(MakeHidrawInterfacePath("/dev/hidraw12", 10), "/dev/hidraw12#10");
}

TEST(HidrawInterfacePath, SplitIsTheInverseOfMake)
{
    for (std::size_t index : {0u, 1u, 2u, 9u, 10u, 255u}) {
        std::string node;
        std::size_t collection = 99;
        SplitHidrawInterfacePath(MakeHidrawInterfacePath("/dev/hidraw7", index), node, collection);
        EXPECT_EQ(node, "/dev/hidraw7");
        EXPECT_EQ(collection, index);
    }
}

TEST(HidrawInterfacePath, MalformedSuffixesStayPartOfTheNode)
{
    for (const char* path : {"/dev/hidraw3#", "/dev/hidraw3#0", "/dev/hidraw3#01", "/dev/hidraw3#1a", "/dev/hidraw3#-1",
                             "/dev/hidraw3#12345", "#1"}) {
        std::string node;
        std::size_t collection = 99;
        SplitHidrawInterfacePath(path, node, collection);
        EXPECT_EQ(node, path);
        EXPECT_EQ(collection, 0u);
    }
    // Only the last "#" separates.
    std::string node;
    std::size_t collection = 0;
    SplitHidrawInterfacePath("/dev/odd#name#2", node, collection);
    EXPECT_EQ(node, "/dev/odd#name");
    EXPECT_EQ(collection, 2u);
}

TEST(HidrawPathTracker, RemovalReportsEveryCollectionTheNodeHad)
{
    CHidrawPathTracker t;
    EXPECT_EQ(t.OnAdd("/dev/hidraw0", {"/dev/hidraw0", "/dev/hidraw0#1"}),
              (std::vector<std::string>{"/dev/hidraw0", "/dev/hidraw0#1"}));
    EXPECT_EQ(t.OnRemove("/dev/hidraw0"), (std::vector<std::string>{"/dev/hidraw0", "/dev/hidraw0#1"}));
    // Forgotten after its removal: a second removal knows only the node.
    EXPECT_EQ(t.OnRemove("/dev/hidraw0"), (std::vector<std::string>{"/dev/hidraw0"}));
}

TEST(HidrawPathTracker, ANodeNameReusedByAnotherDeviceGetsItsNewCollections)
{
    CHidrawPathTracker t;
    t.OnAdd("/dev/hidraw0", {"/dev/hidraw0", "/dev/hidraw0#1"});
    t.OnRemove("/dev/hidraw0");
    EXPECT_EQ(t.OnAdd("/dev/hidraw0", {}), (std::vector<std::string>{"/dev/hidraw0"}));
    EXPECT_EQ(t.OnRemove("/dev/hidraw0"), (std::vector<std::string>{"/dev/hidraw0"}));
}
