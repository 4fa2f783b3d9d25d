#include "CSimHIDFLDeviceInterface.h"
#include "CSimHost.h"

#include "FWUpdater/CDevice.h"
#include "FWUpdater/CDiscovery.h"

#include <gtest/gtest.h>

TEST(Describe, DumpsEveryBoardWithItsHeaderAndNumbersAndNothingWithoutAPen)
{
    const auto host = std::make_shared<CSimHost>();
    CDevice device;
    device.mName = "Model A";
    device.mTouchSupported = true;
    device.mTouchInterface = std::make_shared<CSimHIDFLDeviceInterface>("touch-path", host);
    EXPECT_EQ(CDiscovery::Describe(device), "");
    device.mPenInterface = std::make_shared<CSimHIDFLDeviceInterface>("pen-path", host);
    device.mTouchInterface = nullptr;
    device.mSectors = {40, 16, 0};
    device.mUsageId = {1, 4, 0};
    device.mUsagePg = {0xFF0D, 0x0D, 0};
    device.mInitEeprom = {true, false, false};
    const std::string text = CDiscovery::Describe(device);
    EXPECT_EQ(text.rfind("[Model A] (NORMAL MODE)\nPEN INTERFACE:\n\tSectors = 40\n\tUsageId (Non-HidRouter) = 1\n"
                         "\tUsagePage (Non-HidRouter) = 65293\n\tInit Eeprom = YES\n\tVendor ID = 0x0\n",
                         0),
              0u);
    EXPECT_NE(text.find("\tPath = pen-path\n"), std::string::npos);
    EXPECT_NE(text.find("TOUCH INTERFACE NOT FOUND\nBLUETOOTH INTERFACE NOT SUPPORTED\n"), std::string::npos);

    device.mLoaderMode = true;
    device.mTouchInterface = std::make_shared<CSimHIDFLDeviceInterface>("touch-path", host);
    device.mTouchInterface->SetFirmwareLoader(true);
    const std::string loader = CDiscovery::Describe(device);
    EXPECT_EQ(loader.rfind("[Model A] (LOADER MODE)\nPEN INTERFACE:\n", 0), 0u);
    EXPECT_NE(loader.find("LOADER INTERFACE:\n\tSectors = 16\n\tUsageId = 4\n\tUsagePage = 13\n\tInit Eeprom = NO\n"),
              std::string::npos);
}
