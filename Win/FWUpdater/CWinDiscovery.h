#pragma once
// Discovery on Windows: SetupAPI enumerates the present interfaces of the HID class and of the
// tablet's own USB (WinUSB) class; the classification and grouping are the shared code of
// CPlatformDiscovery.

#include "FWUpdater/CPlatformDiscovery.h"

#include <windows.h>

// The device interface class that the tablet's USB driver registers for its bulk loader and
// its own USB interface (also the class of the dialog's second device notification).
// {6F3A9C1E-52B4-4D8E-A1C7-3E9B5D0F2A64}
constexpr GUID kVellumUsbInterfaceGuid = {0x6f3a9c1e, 0x52b4, 0x4d8e, {0xa1, 0xc7, 0x3e, 0x9b, 0x5d, 0x0f, 0x2a, 0x64}};

// The present device interfaces of a class, as ANSI paths, in SetupAPI's order.
std::vector<std::string> EnumerateDeviceInterfacePaths(const GUID& classGuid_I);

class CWinDiscovery : public CPlatformDiscovery
{
public:
    using CPlatformDiscovery::CPlatformDiscovery;

protected:
    std::vector<std::string> EnumerateInterfacePaths(EInterfaceClass class_I) override;
    std::shared_ptr<CFLDeviceInterface> CreateFLDeviceInterface(int kind_I, const std::string& path_I) override;
};
