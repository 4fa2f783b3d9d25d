#pragma once
// The HID platform class: the device path opened with CreateFileA, feature reports through the
// HID class driver (hid.dll), ids and usages from its attributes and capabilities, and the parent
// id from the configuration manager's device tree (CWinHidNode).

#include "WinNode.h"

class CWinHIDFLDeviceInterface : public CHIDNodeFLDeviceInterface<CWinHidNode>
{
public:
    explicit CWinHIDFLDeviceInterface(const std::string& path_I, int interfaceKind_I = eInterfaceKindHID)
        : CHIDNodeFLDeviceInterface(path_I, interfaceKind_I)
    {
    }
};
