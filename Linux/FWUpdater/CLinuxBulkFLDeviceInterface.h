#pragma once
// The bulk platform class on Linux: a USB interface, named by its sysfs path (the string udev
// reports for it on arrival and removal), claimed through libusb-1.0; the three vendor requests
// are control transfers on the interface recipient. Ids and version come from the device
// descriptor.
//
// The interface recipient's wIndex carries the claimed interface's number, as WinUSB puts it
// there on Windows (and as usbfs requires: it refuses a request to an interface the caller has
// not claimed).

#include "FWUpdater/CNodeFLDeviceInterface.h"

#include <cstdint>
#include <string>
#include <vector>

struct libusb_context;
struct libusb_device_handle;

// The Linux node under the bulk platform class (see CNodeFLDeviceInterface.h). Not copyable;
// releases the interface and closes on destruction.
class CLibusbNode
{
public:
    CLibusbNode() = default;
    ~CLibusbNode() { Close(); }
    CLibusbNode(const CLibusbNode&) = delete;
    CLibusbNode& operator=(const CLibusbNode&) = delete;

    // Opens the USB device behind the interface and claims the interface; false, nothing held,
    // when either step fails (also when a kernel driver holds the interface: it is not detached).
    bool Open(const std::string& path_I);
    void Close();
    bool IsOpen() const { return mHandle != nullptr && mInterfaceNumber >= 0; }
    // Vendor id, product id and bcdDevice from the device descriptor.
    bool ReadAttributes(const std::string& path_I, NodeAttributes& attributes_O);
    // The sysfs path of the ancestor: 0 = the USB interface itself, 1 = its USB device, ...
    std::string ParentId(const std::string& path_I, std::uint8_t levels_I) const;
    bool ControlTransfer(const std::vector<std::uint8_t>& setup_I);

private:
    libusb_context* mContext = nullptr;
    libusb_device_handle* mHandle = nullptr;
    int mInterfaceNumber = -1;
};

class CLinuxBulkFLDeviceInterface : public CBulkNodeFLDeviceInterface<CLibusbNode>
{
public:
    explicit CLinuxBulkFLDeviceInterface(const std::string& path_I, int interfaceKind_I = eInterfaceKindBULK)
        : CBulkNodeFLDeviceInterface(path_I, interfaceKind_I)
    {
    }
};

// The USB interfaces that may be a tablet's bulk loader: vendor-specific (class 0xFF)
// interfaces, by sysfs path, sorted. The topology descriptions decide which are tablets.
std::vector<std::string> EnumerateVendorUsbInterfaces();
