#pragma once
// The bulk platform class: the tablet's own USB interface through WinUSB (CWinUsbNode). Ids come
// from the device descriptor; the three vendor requests are control transfers.

#include "WinNode.h"

class CWinBulkFLDeviceInterface : public CBulkNodeFLDeviceInterface<CWinUsbNode>
{
public:
    explicit CWinBulkFLDeviceInterface(const std::string& path_I, int interfaceKind_I = eInterfaceKindBULK)
        : CBulkNodeFLDeviceInterface(path_I, interfaceKind_I)
    {
    }
};
