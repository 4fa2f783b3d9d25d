#include "FWUpdater/CLinuxBulkFLDeviceInterface.h"

#include "FWUpdater/LinuxUdev.h"

#include <libudev.h>
#include <libusb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr unsigned kControlTimeoutMs = 1000;
constexpr std::uint8_t kRecipientMask = 0x1F;
constexpr std::uint8_t kRecipientInterface = 0x01;

// Bus number, device address and interface number of a USB interface's sysfs path.
bool LocateInterface(const std::string& syspath_I, int& bus_O, int& address_O, int& interface_O)
{
    UdevPtr u = NewUdev();
    if (!u)
        return false;
    UdevDevicePtr intf(udev_device_new_from_syspath(u.get(), syspath_I.c_str()));
    if (!intf)
        return false;
    const char* devtype = udev_device_get_devtype(intf.get());
    udev_device* usb = udev_device_get_parent_with_subsystem_devtype(intf.get(), "usb", "usb_device");
    const char* number = udev_device_get_sysattr_value(intf.get(), "bInterfaceNumber");
    const char* busnum = usb != nullptr ? udev_device_get_sysattr_value(usb, "busnum") : nullptr;
    const char* devnum = usb != nullptr ? udev_device_get_sysattr_value(usb, "devnum") : nullptr;
    if (devtype == nullptr || std::strcmp(devtype, "usb_interface") != 0 || number == nullptr || busnum == nullptr ||
        devnum == nullptr)
        return false;
    bus_O = std::atoi(busnum);
    address_O = std::atoi(devnum);
    interface_O = static_cast<int>(std::strtol(number, nullptr, 16));
    return true;
}

} // namespace

void CLibusbNode::Close()
{
    if (mHandle != nullptr) {
        if (mInterfaceNumber >= 0)
            libusb_release_interface(mHandle, mInterfaceNumber);
        libusb_close(mHandle);
    }
    mHandle = nullptr;
    mInterfaceNumber = -1;
    if (mContext != nullptr)
        libusb_exit(mContext);
    mContext = nullptr;
}

bool CLibusbNode::Open(const std::string& path_I)
{
    Close();
    int bus = 0, address = 0, number = 0;
    if (!LocateInterface(path_I, bus, address, number) || libusb_init(&mContext) != 0) {
        mContext = nullptr;
        return false;
    }
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(mContext, &list);
    for (ssize_t i = 0; i < count && mHandle == nullptr; ++i) {
        if (libusb_get_bus_number(list[i]) == bus && libusb_get_device_address(list[i]) == address &&
            libusb_open(list[i], &mHandle) != 0)
            mHandle = nullptr;
    }
    if (list != nullptr)
        libusb_free_device_list(list, 1);
    // No kernel driver is detached: every vendor-class interface on the machine is probed, and
    // taking one from its driver (a USB serial or network adapter) would cut what it carries.
    // The tablet's own interface has no driver; one that is held fails the claim as busy.
    if (mHandle != nullptr) {
        if (libusb_claim_interface(mHandle, number) == 0)
            mInterfaceNumber = number;
    }
    if (!IsOpen())
        Close();
    return IsOpen();
}

bool CLibusbNode::ReadAttributes(const std::string& /*path_I*/, NodeAttributes& attributes_O)
{
    if (mHandle == nullptr)
        return false;
    libusb_device_descriptor d {};
    if (libusb_get_device_descriptor(libusb_get_device(mHandle), &d) != 0)
        return false;
    attributes_O.vendorId = d.idVendor;
    attributes_O.productId = d.idProduct;
    attributes_O.version = d.bcdDevice;
    return true;
}

std::string CLibusbNode::ParentId(const std::string& path_I, std::uint8_t levels_I) const
{
    UdevPtr u = NewUdev();
    if (!u)
        return std::string();
    UdevDevicePtr intf(udev_device_new_from_syspath(u.get(), path_I.c_str()));
    udev_device* node = intf.get();
    for (std::uint8_t i = 0; i < levels_I && node != nullptr; ++i)
        node = udev_device_get_parent(node);
    const char* syspath = node != nullptr ? udev_device_get_syspath(node) : nullptr;
    return syspath != nullptr ? std::string(syspath) : std::string();
}

bool CLibusbNode::ControlTransfer(const std::vector<std::uint8_t>& setup_I)
{
    if (mHandle == nullptr)
        return false;
    UsbSetupPacket p;
    if (!UsbSetupPacket::FromBytes(setup_I, p) || p.length > kBulkControlBufferLength)
        return false;
    std::uint16_t index = p.index;
    if ((p.requestType & kRecipientMask) == kRecipientInterface)
        index = static_cast<std::uint16_t>((index & 0xFF00) | static_cast<std::uint16_t>(mInterfaceNumber));
    unsigned char buffer[kBulkControlBufferLength] = {};
    return libusb_control_transfer(mHandle, p.requestType, p.request, p.value, index, buffer, p.length,
                                   kControlTimeoutMs) >= 0;
}

std::vector<std::string> EnumerateVendorUsbInterfaces()
{
    std::vector<std::string> paths;
    UdevPtr u = NewUdev();
    if (!u)
        return paths;
    udev_enumerate* e = udev_enumerate_new(u.get());
    if (e == nullptr)
        return paths;
    if (udev_enumerate_add_match_subsystem(e, "usb") >= 0 &&
        udev_enumerate_add_match_property(e, "DEVTYPE", "usb_interface") >= 0 &&
        udev_enumerate_add_match_sysattr(e, "bInterfaceClass", "ff") >= 0 && udev_enumerate_scan_devices(e) >= 0) {
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e))
        {
            paths.emplace_back(udev_list_entry_get_name(entry));
        }
    }
    udev_enumerate_unref(e);
    std::sort(paths.begin(), paths.end());
    return paths;
}
