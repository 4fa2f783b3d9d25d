// The Windows platform classes where they meet the operating system: a machine without a tablet
// and the resident service's events.

#include "CWinBulkFLDeviceInterface.h"
#include "CWinDiscovery.h"
#include "CWinHIDFLDeviceInterface.h"
#include "CWinI2CFLDeviceInterface.h"
#include "CWinUpdateController.h"
#include "Clock.h"
#include "FWUpdater/InterfaceKind.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

class CExposedWinDiscovery : public CWinDiscovery
{
public:
    using CWinDiscovery::CreateFLDeviceInterface;
};

// Each kind gets its platform class; without the device every call fails, leaves the caller's
// buffer alone and leaves nothing open.
TEST(WinDiscovery, EachKindGetsItsPlatformClassAndAMissingDeviceFailsWithoutHandles)
{
    const std::string missing = "\\\\?\\hid#vid_ffff&pid_7777#9&dead&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
    EXPECT_TRUE(EnumerateDeviceInterfacePaths(kVellumUsbInterfaceGuid).empty());
    CExposedWinDiscovery discovery;
    EXPECT_EQ(discovery.CreateFLDeviceInterface(eInterfaceKindNone, missing), nullptr);
    const auto hid = discovery.CreateFLDeviceInterface(eInterfaceKindHID, missing);
    const auto i2c = discovery.CreateFLDeviceInterface(eInterfaceKindI2C, missing);
    const auto bulk = discovery.CreateFLDeviceInterface(eInterfaceKindBULK, missing);
    EXPECT_TRUE(dynamic_cast<CWinHIDFLDeviceInterface*>(hid.get()));
    EXPECT_TRUE(dynamic_cast<CWinI2CFLDeviceInterface*>(i2c.get()));
    EXPECT_TRUE(dynamic_cast<CWinBulkFLDeviceInterface*>(bulk.get()));
    for (const auto& device : {hid, i2c, bulk}) {
        ASSERT_TRUE(device);
        SCOPED_TRACE(device->GetInterfaceKind());
        EXPECT_FALSE(device->Open());
        EXPECT_FALSE(device->ReadAttributes());
        std::vector<std::uint8_t> report {0xB0, 0x00, 0x00};
        EXPECT_FALSE(device->WriteFeature(report));
        EXPECT_FALSE(device->ReadFeature(report));
        EXPECT_EQ(report, (std::vector<std::uint8_t> {0xB0, 0x00, 0x00}));
        EXPECT_EQ(device->GetParentDeviceId(2), "");
        device->Close();
        EXPECT_FALSE(device->IsOpen());
    }
}

// Without the service's events the signals fail at once; with them each sets only its own event
// and then pauses one second.
TEST(WinServiceEvents, EachSignalSetsOnlyItsOwnEventAndPausesOneSecond)
{
    auto clock = std::make_shared<CVirtualClock>();
    CScopedClock scoped(clock);
    CWinUpdateController controller;
    EXPECT_FALSE(controller.SignalStopEvent());
    EXPECT_TRUE(clock->sleeps().empty());
    const HANDLE stop = ::CreateEventA(nullptr, TRUE, FALSE, kVellumStopEventName);
    const HANDLE start = ::CreateEventA(nullptr, TRUE, FALSE, kVellumStartEventName);
    ASSERT_TRUE(stop && start);
    EXPECT_TRUE(controller.SignalStopEvent());
    EXPECT_EQ(::WaitForSingleObject(stop, 0), WAIT_OBJECT_0);
    EXPECT_EQ(::WaitForSingleObject(start, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(controller.SignalStartEvent());
    EXPECT_EQ(::WaitForSingleObject(start, 0), WAIT_OBJECT_0);
    EXPECT_EQ(clock->sleeps(), (std::vector<std::uint32_t> {1000, 1000}));
    ::CloseHandle(stop);
    ::CloseHandle(start);
}

} // namespace
