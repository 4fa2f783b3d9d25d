#pragma once
// The I2C platform class: the bridge is a HID interface, so open, close, attributes and the
// parent id are the HID class driver's; the raw set/get carry the bridge reports (vendor-page
// wrapper applied as on any HID interface).

#include "FWUpdater/CI2CFLDeviceInterface.h"

#include <windows.h>

class CWinI2CFLDeviceInterface : public CI2CFLDeviceInterface
{
public:
    explicit CWinI2CFLDeviceInterface(const std::string& path_I, int interfaceKind_I = eInterfaceKindI2C);
    ~CWinI2CFLDeviceInterface() override;

    bool Open() override;
    void Close() override;
    bool ReadAttributes() override;
    std::string GetParentDeviceId(std::uint8_t levels_I) override;
    bool RawWriteFeature(const std::vector<std::uint8_t>& report_I) override;
    bool RawReadFeature(std::vector<std::uint8_t>& report_IO) override;

private:
    HANDLE mHandle = INVALID_HANDLE_VALUE;
};
