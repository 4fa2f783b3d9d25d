#pragma once
// The I2C platform class: the bridge is a HID interface, so open, close, attributes and the
// parent id are the HID class driver's (CWinHidNode, as under CWinHIDFLDeviceInterface); the
// raw set/get carry the bridge reports (vendor-page wrapper applied as on any HID interface).

#include "WinNode.h"

class CWinI2CFLDeviceInterface : public CI2CNodeFLDeviceInterface<CWinHidNode>
{
public:
    explicit CWinI2CFLDeviceInterface(const std::string& path_I, int interfaceKind_I = eInterfaceKindI2C)
        : CI2CNodeFLDeviceInterface(path_I, interfaceKind_I)
    {
    }
};
