// The Windows platform classes where they meet the operating system: the device-tree path rule,
// interfaces and enumeration on a machine without a tablet, the resident service's events, the
// -simulate option and the user's language.

#include "CWinDiscovery.h"
#include "CWinBulkFLDeviceInterface.h"
#include "CWinHIDFLDeviceInterface.h"
#include "CWinI2CFLDeviceInterface.h"
#include "FWUpdater/InterfaceKind.h"
#include "CWinStringResources.h"
#include "CWinUpdateController.h"
#include "Clock.h"
#include "SimulateOption.h"
#include "WinDeviceTree.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

TEST(WinDeviceTree, InstanceIdIsThePathBeforeItsClassWithBackslashes)
{
    EXPECT_EQ(InstanceIdFromInterfacePath("\\\\?\\hid#vid_1234&pid_0100#7&2a5f&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}"),
              "hid\\vid_1234&pid_0100\\7&2a5f&0&0000");
    EXPECT_EQ(InstanceIdFromInterfacePath("\\\\?\\usb#vid_1&pid_2#serial#{guid}"), "usb\\vid_1&pid_2\\serial");
    EXPECT_EQ(InstanceIdFromInterfacePath("no-hash-at-all"), "");
    EXPECT_EQ(InstanceIdFromInterfacePath("ab#c"), "");
}

TEST(WinDeviceTree, UnknownNodeGivesEmptyIdAtEveryLevel)
{
    CWinHIDFLDeviceInterface hid("\\\\?\\hid#vid_ffff&pid_7777#9&dead&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}");
    EXPECT_EQ(hid.GetParentDeviceId(0), "");
    EXPECT_EQ(hid.GetParentDeviceId(2), "");
    EXPECT_EQ(GetAncestorDeviceId("", 0), "");
}

TEST(WinHIDInterface, MissingDeviceFailsWithoutHandles)
{
    CWinHIDFLDeviceInterface hid("\\\\?\\hid#vid_ffff&pid_7777#9&dead&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}");
    EXPECT_FALSE(hid.Open());
    EXPECT_FALSE(hid.IsOpen());
    EXPECT_FALSE(hid.ReadAttributes());
    EXPECT_FALSE(hid.IsOpen());
    EXPECT_FALSE(hid.WriteFeature({0x01, 0x02}));
    std::vector<std::uint8_t> report {0x01, 0x00};
    EXPECT_FALSE(hid.ReadFeature(report));
    EXPECT_EQ(report, (std::vector<std::uint8_t> {0x01, 0x00}));
    hid.Close();
    EXPECT_FALSE(hid.IsOpen());
}

TEST(WinDiscovery, TabletClassHasNoInterfacesOnAMachineWithoutTablet)
{
    EXPECT_TRUE(EnumerateDeviceInterfacePaths(kVellumUsbInterfaceGuid).empty());
}

class WinServiceEvents : public ::testing::Test
{
protected:
    std::shared_ptr<CVirtualClock> mClock = std::make_shared<CVirtualClock>();
    CScopedClock mScoped {mClock};
};

TEST_F(WinServiceEvents, NoServiceMeansFalseAndNoPause)
{
    CWinUpdateController controller;
    EXPECT_FALSE(controller.SignalStopEvent());
    EXPECT_FALSE(controller.SignalStartEvent());
    EXPECT_TRUE(mClock->sleeps().empty());
}

TEST_F(WinServiceEvents, EachSignalSetsOnlyItsOwnEventAndPausesOneSecond)
{
    // The resident service's side: it creates both events, not signalled, manual reset.
    const HANDLE stop = ::CreateEventA(nullptr, TRUE, FALSE, kVellumStopEventName);
    const HANDLE start = ::CreateEventA(nullptr, TRUE, FALSE, kVellumStartEventName);
    ASSERT_NE(stop, nullptr);
    ASSERT_NE(start, nullptr);
    CWinUpdateController controller;
    EXPECT_TRUE(controller.SignalStopEvent());
    EXPECT_EQ(::WaitForSingleObject(stop, 0), WAIT_OBJECT_0);
    EXPECT_EQ(::WaitForSingleObject(start, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(mClock->sleeps(), (std::vector<std::uint32_t> {1000}));
    EXPECT_TRUE(controller.SignalStartEvent());
    EXPECT_EQ(::WaitForSingleObject(start, 0), WAIT_OBJECT_0);
    EXPECT_EQ(mClock->sleeps(), (std::vector<std::uint32_t> {1000, 1000}));
    ::CloseHandle(stop);
    ::CloseHandle(start);
}

TEST(WinSimulateOption, NameDefaultAndTokenRules)
{
    std::string scenario;
    EXPECT_FALSE(ParseSimulateOption(u"", scenario));
    EXPECT_FALSE(ParseSimulateOption(u"-path x -auto pen", scenario));
    EXPECT_FALSE(ParseSimulateOption(u"-simulated", scenario));
    EXPECT_FALSE(ParseSimulateOption(u"-simulate=", scenario));
    EXPECT_FALSE(ParseSimulateOption(u"-SIMULATE", scenario));
    ASSERT_TRUE(ParseSimulateOption(u"-simulate", scenario));
    EXPECT_EQ(scenario, "basic");
    ASSERT_TRUE(ParseSimulateOption(u"-path a+b -simulate=two-tablets -auto pen", scenario));
    EXPECT_EQ(scenario, "two-tablets");
    ASSERT_TRUE(ParseSimulateOption(u"-simulate=protocol1 -simulate", scenario));
    EXPECT_EQ(scenario, "basic");
}

TEST(WinLanguagePlatform, InterfaceLanguageIsFoundByName)
{
    const CWinLanguagePlatform platform;
    const auto language = platform.UserDefaultUILanguage();
    ASSERT_TRUE(language.has_value());
    EXPECT_EQ(*language, ::GetUserDefaultUILanguage());
    EXPECT_EQ(platform.UserDefaultLCID(), ::GetUserDefaultLCID());
}

} // namespace

namespace {

class CExposedWinDiscovery : public CWinDiscovery
{
public:
    using CWinDiscovery::CreateFLDeviceInterface;
};

TEST(WinDiscovery, EachKindGetsItsPlatformClassWithPathAndKind)
{
    CExposedWinDiscovery discovery;
    const std::string path = "\\\\?\\hid#vid_ffff&pid_7777#9&dead&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
    const auto hid = discovery.CreateFLDeviceInterface(eInterfaceKindHID, path);
    const auto i2c = discovery.CreateFLDeviceInterface(eInterfaceKindI2C, path);
    const auto bulk = discovery.CreateFLDeviceInterface(eInterfaceKindBULK, path);
    ASSERT_TRUE(hid && i2c && bulk);
    EXPECT_NE(dynamic_cast<CWinHIDFLDeviceInterface*>(hid.get()), nullptr);
    EXPECT_NE(dynamic_cast<CWinI2CFLDeviceInterface*>(i2c.get()), nullptr);
    EXPECT_NE(dynamic_cast<CWinBulkFLDeviceInterface*>(bulk.get()), nullptr);
    EXPECT_EQ(hid->GetInterfaceKind(), eInterfaceKindHID);
    EXPECT_EQ(i2c->GetInterfaceKind(), eInterfaceKindI2C);
    EXPECT_EQ(bulk->GetInterfaceKind(), eInterfaceKindBULK);
    EXPECT_EQ(bulk->GetPath(), path);
    EXPECT_EQ(discovery.CreateFLDeviceInterface(eInterfaceKindNone, path), nullptr);
    EXPECT_EQ(discovery.CreateFLDeviceInterface(7, path), nullptr);
}

TEST(WinI2CAndBulkInterfaces, MissingDeviceFailsWithoutHandles)
{
    CWinI2CFLDeviceInterface i2c("\\\\?\\hid#vid_ffff&pid_7778#9&dead&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}");
    EXPECT_FALSE(i2c.Open());
    EXPECT_FALSE(i2c.IsOpen());
    EXPECT_FALSE(i2c.ReadAttributes());
    EXPECT_FALSE(i2c.RawWriteFeature({0xB0, 0x00, 0x00}));
    std::vector<std::uint8_t> mode {0xB0, 0x00, 0x00};
    EXPECT_FALSE(i2c.RawReadFeature(mode));

    CWinBulkFLDeviceInterface bulk("\\\\?\\usb#vid_ffff&pid_7779#sim#{6f3a9c1e-52b4-4d8e-a1c7-3e9b5d0f2a64}");
    EXPECT_FALSE(bulk.Open());
    EXPECT_FALSE(bulk.IsOpen());
    EXPECT_FALSE(bulk.ReadAttributes());
    EXPECT_EQ(bulk.GetVendorId(), 0);
    // Not open: no control transfer goes out.
    EXPECT_FALSE(bulk.RawWriteFeature(BulkLivenessRequest().Bytes()));
    bulk.Close();
    EXPECT_FALSE(bulk.IsOpen());
}

} // namespace
