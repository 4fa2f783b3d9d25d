#pragma once
// The I2C platform class on Linux: the bridge is a HID interface like any other (a hidraw node
// and collection, see CLinuxHIDFLDeviceInterface); its bridge reports are the raw feature
// transfers, wrapped on the vendor page.

#include "FWUpdater/CI2CFLDeviceInterface.h"
#include "FWUpdater/HidrawNode.h"

#include <string>

class CLinuxI2CFLDeviceInterface : public CI2CFLDeviceInterface
{
public:
    explicit CLinuxI2CFLDeviceInterface(const std::string& path_I, int interfaceKind_I = eInterfaceKindI2C);

    bool Open() override;
    void Close() override;
    bool ReadAttributes() override;
    std::string GetParentDeviceId(std::uint8_t levels_I) override;
    bool RawWriteFeature(const std::vector<std::uint8_t>& report_I) override;
    bool RawReadFeature(std::vector<std::uint8_t>& report_IO) override;

private:
    CHidrawNode mNode;
};
