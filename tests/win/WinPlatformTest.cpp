// The Windows platform classes where they meet the operating system: the device-tree path rule,
// interfaces and enumeration on a machine without a tablet, the resident service's events, the
// -simulate option and the user's language.

#include "CWinBulkFLDeviceInterface.h"
#include "CWinDiscovery.h"
#include "CWinHIDFLDeviceInterface.h"
#include "CWinI2CFLDeviceInterface.h"
#include "CWinStringResources.h"
#include "CWinUpdateController.h"
#include "Clock.h"
#include "FWUpdater/InterfaceKind.h"
#include "SimulateOption.h"
#include "WinDeviceTree.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

const std::string kMissingHid = "\\\\?\\hid#vid_ffff&pid_7777#9&dead&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

class CExposedWinDiscovery : public CWinDiscovery
{
public:
    using CWinDiscovery::CreateFLDeviceInterface;
};

TEST(WinDeviceTree, InstanceIdIsThePathBeforeItsClassWithBackslashes)
{
    EXPECT_EQ(InstanceIdFromInterfacePath(kMissingHid), "hid\\vid_ffff&pid_7777\\9&dead&0&0000");
    EXPECT_EQ(InstanceIdFromInterfacePath("\\\\?\\usb#vid_1&pid_2#serial#{guid}"), "usb\\vid_1&pid_2\\serial");
    EXPECT_EQ(InstanceIdFromInterfacePath("no-hash-at-all"), "");
    EXPECT_EQ(InstanceIdFromInterfacePath("ab#c"), "");
    // An unknown node gives an empty id at every level.
    EXPECT_EQ(CWinHIDFLDeviceInterface(kMissingHid).GetParentDeviceId(2), "");
    EXPECT_EQ(GetAncestorDeviceId("", 0), "");
}

// Each kind gets its platform class; without the device, every call fails and no handle is left.
TEST(WinDiscovery, EachKindGetsItsPlatformClassAndAMissingDeviceFailsWithoutHandles)
{
    EXPECT_TRUE(EnumerateDeviceInterfacePaths(kVellumUsbInterfaceGuid).empty()); // a machine without tablet
    CExposedWinDiscovery discovery;
    EXPECT_EQ(discovery.CreateFLDeviceInterface(eInterfaceKindNone, kMissingHid), nullptr);
    EXPECT_EQ(discovery.CreateFLDeviceInterface(7, kMissingHid), nullptr);
    const auto hid = discovery.CreateFLDeviceInterface(eInterfaceKindHID, kMissingHid);
    const auto i2c = discovery.CreateFLDeviceInterface(eInterfaceKindI2C, kMissingHid);
    const auto bulk = discovery.CreateFLDeviceInterface(eInterfaceKindBULK, kMissingHid);
    ASSERT_TRUE(dynamic_cast<CWinHIDFLDeviceInterface*>(hid.get()));
    ASSERT_TRUE(dynamic_cast<CWinI2CFLDeviceInterface*>(i2c.get()));
    ASSERT_TRUE(dynamic_cast<CWinBulkFLDeviceInterface*>(bulk.get()));
    EXPECT_EQ(bulk->GetPath(), kMissingHid);
    for (const auto& device : {hid, i2c, bulk}) {
        SCOPED_TRACE(device->GetInterfaceKind());
        EXPECT_FALSE(device->Open());
        EXPECT_FALSE(device->IsOpen());
        EXPECT_FALSE(device->ReadAttributes());
        EXPECT_FALSE(device->IsOpen());
        std::vector<std::uint8_t> report {0xB0, 0x00, 0x00};
        EXPECT_FALSE(device->WriteFeature(report));
        EXPECT_FALSE(device->ReadFeature(report));
        EXPECT_EQ(report, (std::vector<std::uint8_t> {0xB0, 0x00, 0x00}));
        device->Close();
        EXPECT_FALSE(device->IsOpen());
    }
    EXPECT_EQ(hid->GetInterfaceKind(), eInterfaceKindHID);
    EXPECT_EQ(i2c->GetInterfaceKind(), eInterfaceKindI2C);
    EXPECT_EQ(bulk->GetInterfaceKind(), eInterfaceKindBULK);
    EXPECT_EQ(bulk->GetVendorId(), 0);
}

// The resident service's side creates both events, not signalled, manual reset; without them the
// signals return false and do not pause.
TEST(WinServiceEvents, EachSignalSetsOnlyItsOwnEventAndPausesOneSecond)
{
    auto clock = std::make_shared<CVirtualClock>();
    CScopedClock scoped(clock);
    CWinUpdateController controller;
    EXPECT_FALSE(controller.SignalStopEvent());
    EXPECT_FALSE(controller.SignalStartEvent());
    EXPECT_TRUE(clock->sleeps().empty());
    const HANDLE stop = ::CreateEventA(nullptr, TRUE, FALSE, kVellumStopEventName);
    const HANDLE start = ::CreateEventA(nullptr, TRUE, FALSE, kVellumStartEventName);
    ASSERT_TRUE(stop && start);
    EXPECT_TRUE(controller.SignalStopEvent());
    EXPECT_EQ(::WaitForSingleObject(stop, 0), WAIT_OBJECT_0);
    EXPECT_EQ(::WaitForSingleObject(start, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(clock->sleeps(), (std::vector<std::uint32_t> {1000}));
    EXPECT_TRUE(controller.SignalStartEvent());
    EXPECT_EQ(::WaitForSingleObject(start, 0), WAIT_OBJECT_0);
    EXPECT_EQ(clock->sleeps(), (std::vector<std::uint32_t> {1000, 1000}));
    ::CloseHandle(stop);
    ::CloseHandle(start);
}

TEST(WinSimulateOption, NameDefaultAndTokenRules)
{
    const std::pair<const char16_t*, const char*> cases[] = {
        {u"", "(none)"},
        {u"-path x -auto pen", "(none)"},
        {u"-simulated", "(none)"},
        {u"-simulate=", "(none)"},
        {u"-SIMULATE", "(none)"},
        {u"-simulate", "basic"},
        {u"-path a+b -simulate=two-tablets -auto pen", "two-tablets"},
        {u"-simulate=protocol1 -simulate", "basic"},
    };
    for (const auto& [line, expected] : cases) {
        std::string scenario;
        EXPECT_EQ(ParseSimulateOption(line, scenario) ? scenario : "(none)", expected);
    }
}

TEST(WinLanguagePlatform, InterfaceLanguageIsFoundByName)
{
    const CWinLanguagePlatform platform;
    EXPECT_EQ(platform.UserDefaultUILanguage(), ::GetUserDefaultUILanguage());
    EXPECT_EQ(platform.UserDefaultLCID(), ::GetUserDefaultLCID());
}

} // namespace
