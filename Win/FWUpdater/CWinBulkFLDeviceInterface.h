#pragma once
// The bulk platform class: the tablet's own USB interface through WinUSB. Ids come from the
// device descriptor; the three vendor requests are control transfers.

#include "FWUpdater/CBulkFLDeviceInterface.h"

#include <windows.h>

#include <winusb.h>

class CWinBulkFLDeviceInterface : public CBulkFLDeviceInterface
{
public:
    explicit CWinBulkFLDeviceInterface(const std::string& path_I, int interfaceKind_I = eInterfaceKindBULK);
    ~CWinBulkFLDeviceInterface() override;

    // Already usable -> true; otherwise close, open the path (overlapped) and claim the interface.
    bool Open() override;
    void Close() override;
    // Opens, reads the 18-byte device descriptor (vendor, product, bcdDevice), closes.
    bool ReadAttributes() override;
    std::string GetParentDeviceId(std::uint8_t levels_I) override;
    bool RawWriteFeature(const std::vector<std::uint8_t>& setup_I) override;
    bool RawReadFeature(std::vector<std::uint8_t>& setup_IO) override;

private:
    HANDLE mHandle = INVALID_HANDLE_VALUE;
    WINUSB_INTERFACE_HANDLE mUsbHandle = nullptr;
};
