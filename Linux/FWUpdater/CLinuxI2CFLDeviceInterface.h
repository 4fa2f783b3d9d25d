#pragma once
// The I2C platform class on Linux: the bridge is a HID interface like any other (a hidraw node
// and collection, CHidrawNode as under CLinuxHIDFLDeviceInterface); its bridge reports are the
// raw feature transfers, wrapped on the vendor page.

#include "FWUpdater/HidrawNode.h"

#include <string>

class CLinuxI2CFLDeviceInterface : public CI2CNodeFLDeviceInterface<CHidrawNode>
{
public:
    explicit CLinuxI2CFLDeviceInterface(const std::string& path_I, int interfaceKind_I = eInterfaceKindI2C)
        : CI2CNodeFLDeviceInterface(path_I, interfaceKind_I)
    {
    }
};
