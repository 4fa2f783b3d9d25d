#pragma once
// The HID platform class: the device path opened with CreateFileA, feature reports through the
// HID class driver (hid.dll), ids and usages from its attributes and capabilities, and the parent
// id from the configuration manager's device tree.

#include "FWUpdater/CHIDFLDeviceInterface.h"

#include <windows.h>

class CWinHIDFLDeviceInterface : public CHIDFLDeviceInterface
{
public:
    explicit CWinHIDFLDeviceInterface(const std::string& path_I, int interfaceKind_I = eInterfaceKindHID);
    ~CWinHIDFLDeviceInterface() override;

    // Already usable (the liveness check answers) -> true; otherwise close and open the path.
    bool Open() override;
    void Close() override;
    // Opens, reads ids, version and usages, closes.
    bool ReadAttributes() override;
    std::string GetParentDeviceId(std::uint8_t levels_I) override;
    bool WriteFeature(const std::vector<std::uint8_t>& report_I) override;
    bool ReadFeature(std::vector<std::uint8_t>& report_IO) override;

private:
    HANDLE mHandle = INVALID_HANDLE_VALUE;
};
