#include "CSimDiscovery.h"
#include "CSimHost.h"
#include "Clock.h"
#include "TestSupport.h"

#include "FWUpdater/CDevice.h"
#include "FWUpdater/CFLDeviceInterface.h"

#include <gtest/gtest.h>

namespace {

class CIdleDevice : public CSimHidDevice
{
public:
    bool SetFeature(const std::vector<std::uint8_t>&) override { return false; }
    bool GetFeature(const std::vector<std::uint8_t>&, std::vector<std::uint8_t>&) override { return false; }
};

struct Node
{
    const char* path;
    std::uint16_t pid;
    std::uint16_t page;
    std::uint16_t usage;
    const char* tablet; // boards of one tablet share the levels above their own; "" = unknown device tree
};

struct Record
{
    std::string pen;
    std::string touch;
    bool loaderMode;
    bool operator==(const Record&) const = default;
};

const char kPenTouch[] = R"([
  { "name": "Model T",
    "penBoard":   { "vid": "1234", "pid": "0100", "usageId": "1", "usagePg": "FF0D" },
    "touchBoard": { "vid": "1234", "pid": "0101", "usageId": "4", "usagePg": "000D" } },
  { "name": "Model T",
    "loaderBoard": { "vid": "1234", "pid": "0094", "usageId": "1", "usagePg": "FF00" } }
])";

struct DiscoveryCase
{
    const char* name;
    std::vector<Node> nodes;
    std::vector<Record> records;
    int defaultRecord = 0; // -1: none
    const char* topology = kPenTouch;
};

const DiscoveryCase kCases[] = {
    {"PenAndTouchOfOneTabletFormOneDevice",
     {{"pen-a", 0x0100, 0xFF0D, 1, "tablet-a"}, {"touch-a", 0x0101, 0x000D, 4, "tablet-a"},
      {"mouse", 0x0555, 0x0001, 2, "elsewhere"}},
     {{"pen-a", "touch-a", false}}},
    {"TwoTabletsOfOneModelKeepTheirOwnTouchBoards",
     {{"1-pen-a", 0x0100, 0xFF0D, 1, "tablet-a"}, {"2-pen-b", 0x0100, 0xFF0D, 1, "tablet-b"},
      {"3-touch-b", 0x0101, 0x000D, 4, "tablet-b"}, {"4-touch-a", 0x0101, 0x000D, 4, "tablet-a"}},
     {{"1-pen-a", "4-touch-a", false}, {"2-pen-b", "3-touch-b", false}}},
    // "Both unknown" (such as virtual HID devices) is no evidence of one tablet.
    {"BoardsWhoseDeviceTreeIsUnknownAreNotPaired",
     {{"pen-x", 0x0100, 0xFF0D, 1, ""}, {"touch-y", 0x0101, 0x000D, 4, ""}},
     {{"pen-x", "", false}, {"", "touch-y", false}}},
    {"TouchWithoutAPenOnItsTabletBecomesARecordOfItsOwn",
     {{"pen-a", 0x0100, 0xFF0D, 1, "tablet-a"}, {"touch-z", 0x0101, 0x000D, 4, "tablet-z"}},
     {{"pen-a", "", false}, {"", "touch-z", false}}},
    // tablet-a's record, found by its touch after tablet-b's, gets the loader and is the default.
    {"LoaderBesideATouchBoardTakesThePenRoleAndIsPreferred",
     {{"pen-b", 0x0100, 0xFF0D, 1, "tablet-b"}, {"touch-a", 0x0101, 0x000D, 4, "tablet-a"},
      {"zz-loader-a", 0x0094, 0xFF00, 1, "tablet-a"}},
     {{"pen-b", "", false}, {"zz-loader-a", "touch-a", true}}, 1},
    {"LoaderAloneBecomesALoaderModeRecord", {{"loader", 0x0094, 0xFF00, 1, "tablet-a"}}, {{"loader", "", true}}},
    // With a router collection (page FF00) first, the pen is at usage 0A only and the touch at 0B.
    {"WithAHidRouterThePenIsRecognisedOnlyAtTheRouterUsage",
     {{"a-router-pen", 0x0100, 0xFF00, 0x0A, "tablet-a"}, {"b-pen-described", 0x0100, 0xFF0D, 1, "tablet-a"},
      {"c-router-touch", 0x0101, 0xFF00, 0x0B, "tablet-a"}},
     {{"a-router-pen", "c-router-touch", false}}},
    {"UnreadableTopologyGivesNoDevice", {{"pen-a", 0x0100, 0xFF0D, 1, "tablet-a"}}, {}, -1, "{ \"not\": 1 }"},
};


void ExpectRecords(const DiscoveryCase& c_I)
{
    SCOPED_TRACE(c_I.name);
    auto clock = std::make_shared<CVirtualClock>();
    CScopedClock scoped(clock);
    CTempDir dir;
    WriteFile(dir.File("fw_loader.ini"), c_I.topology);
    auto host = std::make_shared<CSimHost>();
    for (const Node& n : c_I.nodes) {
        SimHidNodeInfo info;
        info.path = n.path;
        info.vendorId = 0x1234;
        info.productId = n.pid;
        info.usagePage = n.page;
        info.usage = n.usage;
        if (*n.tablet != '\0')
            info.parentIds = {std::string("HID\\") + n.path, std::string("USB\\") + n.tablet, "ROOT"};
        host->AddNode(info, std::make_shared<CIdleDevice>());
    }
    CSimDiscovery discovery(host, dir.File("fw_loader.ini"));
    ASSERT_TRUE(discovery.UpdateDeviceList());
    const auto devices = discovery.GetDevices();
    std::vector<Record> records;
    for (const auto& device : devices)
        records.push_back({device->mPenInterface ? device->mPenInterface->GetPath() : "",
                           device->mTouchInterface ? device->mTouchInterface->GetPath() : "", device->mLoaderMode});
    EXPECT_EQ(records, c_I.records);
    const std::size_t byDefault = static_cast<std::size_t>(c_I.defaultRecord);
    EXPECT_EQ(discovery.GetDefaultDevice(), byDefault < devices.size() ? devices[byDefault] : nullptr);
}

} // namespace

TEST(PlatformDiscovery, GroupsBoardsByTablet)
{
    for (const DiscoveryCase& c : kCases)
        ExpectRecords(c);
}
