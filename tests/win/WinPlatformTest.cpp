// The Windows platform classes where they meet the operating system: a machine without a tablet,
// and the log file as it lands on disk (every line ends in CR LF, including the lines inside one
// message, and none in CR CR LF).

#include "CWinBulkFLDeviceInterface.h"
#include "CWinDiscovery.h"
#include "CWinHIDFLDeviceInterface.h"
#include "CWinI2CFLDeviceInterface.h"
#include "CWinUpdateNotifier.h"
#include "FWUpdater/InterfaceKind.h"
#include "TestSupport.h"

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

TEST(WinNotifier, EveryLineOfTheLogFileEndsInCarriageReturnLineFeed)
{
    CWinUpdateNotifier notifier;
    const std::string path = notifier.GetLogPath();
    ASSERT_FALSE(path.empty()) << "no log file in the temporary folder";
    // A run in the same second appends to the same file: look only at what this one writes.
    const std::size_t start = ReadFile(path).size();
    notifier.Log("Device: Vellum Sim Tablet\n  pen: hid#1 (1.05)\n  touch: hid#2 (1.05)");
    notifier.Log("pen: old checksum: 0x00000001; new checksum: 0x0000abcd\n");
    notifier.Log("written with its own CR LF\r\nsecond");
    notifier.ReportError(8, "first\nsecond");
    notifier.ReportState(3);
    notifier.Log("");
    EXPECT_EQ(ReadFile(path).substr(start), "Device: Vellum Sim Tablet\r\n"
                                   "  pen: hid#1 (1.05)\r\n"
                                   "  touch: hid#2 (1.05)\r\n"
                                   "pen: old checksum: 0x00000001; new checksum: 0x0000abcd\r\n"
                                   "\r\n"
                                   "written with its own CR LF\r\n"
                                   "second\r\n"
                                   "[ERROR] first\r\n"
                                   "second (8)\r\n"
                                   "[STATE] 3\r\n"
                                   "\r\n");
}

} // namespace
