#pragma once
// The bulk platform class of the simulator: the WinUSB-like calls of the simulated host
// (CSimUsbNode) stand where CreateFileA, WinUsb_Initialize, WinUsb_GetDescriptor and
// WinUsb_ControlTransfer stand.

#include "CSimNode.h"

#include <memory>

class CSimBulkFLDeviceInterface : public CBulkNodeFLDeviceInterface<CSimUsbNode>
{
public:
    CSimBulkFLDeviceInterface(const std::string& path_I, std::shared_ptr<CSimHost> host_I,
                              int interfaceKind_I = eInterfaceKindBULK)
        : CBulkNodeFLDeviceInterface(path_I, interfaceKind_I, std::move(host_I))
    {
    }
};
