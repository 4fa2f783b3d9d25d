#include "CSimDiscovery.h"
#include "CSimHost.h"
#include "Clock.h"
#include "TestSupport.h"

#include "FWUpdater/CDevice.h"
#include "FWUpdater/CFLDeviceInterface.h"

#include <gtest/gtest.h>

namespace {

// A node that only has to be enumerated and probed.
class CIdleDevice : public CSimHidDevice
{
public:
    bool SetFeature(const std::vector<std::uint8_t>&) override { return false; }
    bool GetFeature(const std::vector<std::uint8_t>&, std::vector<std::uint8_t>&) override { return false; }
};

struct DiscoveryFixture
{
    DiscoveryFixture() : clock(std::make_shared<CVirtualClock>()), scoped(clock) {}

    void Topology(const std::string& text_I) { WriteFile(dir.File("fw_loader.ini"), text_I); }

    // A HID node of a board on tablet `tablet_I` (boards of one tablet share level 1 and up);
    // an empty tablet_I gives a node whose device tree is unknown.
    void Node(const std::string& path_I, std::uint16_t pid_I, std::uint16_t page_I, std::uint16_t usage_I,
              const std::string& tablet_I)
    {
        SimHidNodeInfo info;
        info.path = path_I;
        info.vendorId = 0x1234;
        info.productId = pid_I;
        info.usagePage = page_I;
        info.usage = usage_I;
        if (!tablet_I.empty())
            info.parentIds = {"HID\\" + path_I, "USB\\" + tablet_I, "ROOT"};
        host->AddNode(info, std::make_shared<CIdleDevice>());
    }

    std::vector<std::shared_ptr<CDevice>> Discover()
    {
        CSimDiscovery discovery(host, dir.File("fw_loader.ini"));
        EXPECT_TRUE(discovery.UpdateDeviceList());
        devices = discovery.GetDevices();
        defaultDevice = discovery.GetDefaultDevice();
        return devices;
    }

    std::shared_ptr<CVirtualClock> clock;
    CScopedClock scoped;
    CTempDir dir;
    std::shared_ptr<CSimHost> host = std::make_shared<CSimHost>();
    std::vector<std::shared_ptr<CDevice>> devices;
    std::shared_ptr<CDevice> defaultDevice;
};

const char kPenTouch[] = R"([
  { "name": "Model T",
    "penBoard":   { "vid": "1234", "pid": "0100", "usageId": "1", "usagePg": "FF0D" },
    "touchBoard": { "vid": "1234", "pid": "0101", "usageId": "4", "usagePg": "000D" } },
  { "name": "Model T",
    "loaderBoard": { "vid": "1234", "pid": "0094", "usageId": "1", "usagePg": "FF00" } }
])";

} // namespace

TEST(PlatformDiscovery, PenAndTouchOfOneTabletFormOneDevice)
{
    DiscoveryFixture f;
    f.Topology(kPenTouch);
    f.Node("pen-a", 0x0100, 0xFF0D, 1, "tablet-a");
    f.Node("touch-a", 0x0101, 0x000D, 4, "tablet-a");
    f.Node("mouse", 0x0555, 0x0001, 2, "elsewhere"); // unknown to the topology
    const auto devices = f.Discover();
    ASSERT_EQ(devices.size(), 1u);
    ASSERT_TRUE(devices[0]->mPenInterface && devices[0]->mTouchInterface);
    EXPECT_EQ(devices[0]->mPenInterface->GetPath(), "pen-a");
    EXPECT_EQ(devices[0]->mTouchInterface->GetPath(), "touch-a");
    EXPECT_FALSE(devices[0]->mLoaderMode);
}

TEST(PlatformDiscovery, TwoTabletsOfOneModelKeepTheirOwnTouchBoards)
{
    DiscoveryFixture f;
    f.Topology(kPenTouch);
    // Paths sort so that tablet b's touch is enumerated before tablet a's.
    f.Node("1-pen-a", 0x0100, 0xFF0D, 1, "tablet-a");
    f.Node("2-pen-b", 0x0100, 0xFF0D, 1, "tablet-b");
    f.Node("3-touch-b", 0x0101, 0x000D, 4, "tablet-b");
    f.Node("4-touch-a", 0x0101, 0x000D, 4, "tablet-a");
    const auto devices = f.Discover();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0]->mPenInterface->GetPath(), "1-pen-a");
    EXPECT_EQ(devices[0]->mTouchInterface->GetPath(), "4-touch-a");
    EXPECT_EQ(devices[1]->mPenInterface->GetPath(), "2-pen-b");
    EXPECT_EQ(devices[1]->mTouchInterface->GetPath(), "3-touch-b");
}

TEST(PlatformDiscovery, BoardsWhoseDeviceTreeIsUnknownAreNotPaired)
{
    // No parent id on either side (a node the system cannot place, such as a virtual HID
    // device): "both unknown" is no evidence of one tablet, so pen and touch stay apart.
    DiscoveryFixture f;
    f.Topology(kPenTouch);
    f.Node("pen-x", 0x0100, 0xFF0D, 1, "");
    f.Node("touch-y", 0x0101, 0x000D, 4, "");
    const auto devices = f.Discover();
    ASSERT_EQ(devices.size(), 2u);
    for (const auto& device : devices)
        EXPECT_FALSE(device->mPenInterface && device->mTouchInterface) << "a pen and a touch board were paired";
}

TEST(PlatformDiscovery, TouchWithoutAPenOnItsTabletBecomesARecordOfItsOwn)
{
    DiscoveryFixture f;
    f.Topology(kPenTouch);
    f.Node("pen-a", 0x0100, 0xFF0D, 1, "tablet-a");
    f.Node("touch-z", 0x0101, 0x000D, 4, "tablet-z");
    const auto devices = f.Discover();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_FALSE(devices[0]->mTouchInterface);
    EXPECT_FALSE(devices[1]->mPenInterface);
    ASSERT_TRUE(devices[1]->mTouchInterface);
    EXPECT_EQ(devices[1]->mTouchInterface->GetPath(), "touch-z");
}

TEST(PlatformDiscovery, LoaderBesideATouchBoardTakesThePenRoleAndIsPreferred)
{
    DiscoveryFixture f;
    f.Topology(kPenTouch);
    f.Node("pen-b", 0x0100, 0xFF0D, 1, "tablet-b");
    f.Node("touch-a", 0x0101, 0x000D, 4, "tablet-a");
    f.Node("zz-loader-a", 0x0094, 0xFF00, 1, "tablet-a");
    const auto devices = f.Discover();
    ASSERT_EQ(devices.size(), 2u);
    // tablet-b is found first by its pen; tablet-a's record (found by its touch) gets the loader.
    EXPECT_EQ(devices[0]->mPenInterface->GetPath(), "pen-b");
    ASSERT_TRUE(devices[1]->mPenInterface);
    EXPECT_EQ(devices[1]->mPenInterface->GetPath(), "zz-loader-a");
    EXPECT_TRUE(devices[1]->mPenInterface->IsFirmwareLoader());
    EXPECT_TRUE(devices[1]->mLoaderMode);
    EXPECT_EQ(f.defaultDevice, devices[1]);
}

TEST(PlatformDiscovery, LoaderAloneBecomesALoaderModeRecord)
{
    DiscoveryFixture f;
    f.Topology(kPenTouch);
    f.Node("loader", 0x0094, 0xFF00, 1, "tablet-a");
    const auto devices = f.Discover();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_TRUE(devices[0]->mLoaderMode);
    EXPECT_EQ(devices[0]->mName, "Model T");
    ASSERT_TRUE(devices[0]->mPenInterface);
    EXPECT_EQ(devices[0]->mPenInterface->GetPath(), "loader");
}

TEST(PlatformDiscovery, WithAHidRouterThePenIsRecognisedOnlyAtTheRouterUsage)
{
    DiscoveryFixture f;
    f.Topology(kPenTouch);
    // The first known node is a router collection (page FF00, usage 0A): the description's own
    // pen usage (FF0D/1) no longer identifies the pen.
    f.Node("a-router-pen", 0x0100, 0xFF00, 0x0A, "tablet-a");
    f.Node("b-pen-described", 0x0100, 0xFF0D, 1, "tablet-a");
    f.Node("c-router-touch", 0x0101, 0xFF00, 0x0B, "tablet-a");
    const auto devices = f.Discover();
    ASSERT_EQ(devices.size(), 1u);
    ASSERT_TRUE(devices[0]->mPenInterface);
    EXPECT_EQ(devices[0]->mPenInterface->GetPath(), "a-router-pen");
    // Behind a router a HID touch board of a pen that re-enumerates sits at usage 0B.
    ASSERT_TRUE(devices[0]->mTouchInterface);
    EXPECT_EQ(devices[0]->mTouchInterface->GetPath(), "c-router-touch");
}

TEST(PlatformDiscovery, UnreadableOrUnknownNodesContributeNothing)
{
    DiscoveryFixture f;
    f.Topology("{ \"not\": \"an array\" }");
    f.Node("pen-a", 0x0100, 0xFF0D, 1, "tablet-a");
    EXPECT_TRUE(f.Discover().empty());
    EXPECT_FALSE(f.defaultDevice);
}
