#pragma once
// The I2C platform class of the simulator: the HID calls of the simulated host (CSimHidNode),
// used for the bridge's own reports (RawWriteFeature/RawReadFeature). The tunnel above them is
// the production CI2CFLDeviceInterface.

#include "CSimNode.h"

#include <memory>

class CSimI2CFLDeviceInterface : public CI2CNodeFLDeviceInterface<CSimHidNode>
{
public:
    CSimI2CFLDeviceInterface(const std::string& path_I, std::shared_ptr<CSimHost> host_I,
                             int interfaceKind_I = eInterfaceKindI2C)
        : CI2CNodeFLDeviceInterface(path_I, interfaceKind_I, std::move(host_I))
    {
    }
};
