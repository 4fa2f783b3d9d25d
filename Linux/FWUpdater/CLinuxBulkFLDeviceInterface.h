#pragma once
// The bulk platform class on Linux: a USB interface, named by its sysfs path (the string udev
// reports for it on arrival and removal), claimed through libusb-1.0; the three vendor requests
// are control transfers on the interface recipient. Ids and version come from the device
// descriptor.
//
// The interface recipient's wIndex carries the claimed interface's number, as WinUSB puts it
// there on Windows (and as usbfs requires: it refuses a request to an interface the caller has
// not claimed).

#include "FWUpdater/CBulkFLDeviceInterface.h"

#include <string>

struct libusb_context;
struct libusb_device_handle;

class CLinuxBulkFLDeviceInterface : public CBulkFLDeviceInterface
{
public:
    explicit CLinuxBulkFLDeviceInterface(const std::string& path_I, int interfaceKind_I = eInterfaceKindBULK);
    ~CLinuxBulkFLDeviceInterface() override;

    // Already usable → true. Otherwise close, open the USB device behind the interface and
    // claim the interface (detaching a kernel driver while it is claimed); false, isOpen false,
    // when either step fails.
    bool Open() override;
    void Close() override;
    // Opens, reads vendor id, product id and bcdDevice from the device descriptor, closes.
    bool ReadAttributes() override;
    // The sysfs path of the ancestor: 0 = the USB interface itself, 1 = its USB device, ...
    std::string GetParentDeviceId(std::uint8_t levels_I) override;
    bool RawWriteFeature(const std::vector<std::uint8_t>& setup_I) override;
    bool RawReadFeature(std::vector<std::uint8_t>& setup_IO) override;

private:
    bool ControlTransfer(const std::vector<std::uint8_t>& setup_I);
    void Release();

    libusb_context* mContext = nullptr;
    libusb_device_handle* mHandle = nullptr;
    int mInterfaceNumber = -1;
};

// The USB interfaces that may be a tablet's bulk loader: vendor-specific (class 0xFF)
// interfaces, by sysfs path, sorted. The topology descriptions decide which are tablets.
std::vector<std::string> EnumerateVendorUsbInterfaces();
