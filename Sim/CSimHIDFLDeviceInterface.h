#pragma once
// The HID platform class of the simulator: it implements exactly the slots the Windows HID
// class implements, with the simulated host standing where CreateFileA, HidD_* and the
// configuration manager stand (CSimHidNode).

#include "CSimNode.h"

#include <memory>

class CSimHIDFLDeviceInterface : public CHIDNodeFLDeviceInterface<CSimHidNode>
{
public:
    CSimHIDFLDeviceInterface(const std::string& path_I, std::shared_ptr<CSimHost> host_I,
                             int interfaceKind_I = eInterfaceKindHID)
        : CHIDNodeFLDeviceInterface(path_I, interfaceKind_I, std::move(host_I))
    {
    }
};
