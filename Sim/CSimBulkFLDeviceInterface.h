#pragma once
// The bulk platform class of the simulator: the WinUSB-like calls of the simulated host stand
// where CreateFileA, WinUsb_Initialize, WinUsb_GetDescriptor and WinUsb_ControlTransfer stand.

#include "CSimHost.h"
#include "FWUpdater/CBulkFLDeviceInterface.h"

#include <memory>

class CSimBulkFLDeviceInterface : public CBulkFLDeviceInterface
{
public:
    CSimBulkFLDeviceInterface(const std::string& path_I, std::shared_ptr<CSimHost> host_I,
                              int interfaceKind_I = eInterfaceKindBULK);
    ~CSimBulkFLDeviceInterface() override;

    // Already usable → true. Otherwise close, open the path and claim the interface; a refused
    // claim leaves the file handle until Close.
    bool Open() override;
    void Close() override;
    // Opens, reads the 18-byte device descriptor (vendor, product, release), closes.
    bool ReadAttributes() override;
    std::string GetParentDeviceId(std::uint8_t levels_I) override;
    bool RawWriteFeature(const std::vector<std::uint8_t>& setup_I) override;
    bool RawReadFeature(std::vector<std::uint8_t>& setup_IO) override;

private:
    std::shared_ptr<CSimHost> mHost;
    CSimHost::Handle mHandle = 0;
    CSimHost::UsbHandle mUsbHandle = 0;
};
