#pragma once
// The libudev and sysfs lookups of the Linux HID layer: enumeration of hidraw nodes, the
// ancestors of a node in the device tree, and the version word of the device behind a node.

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct udev;
struct udev_device;

struct CUdevDeleter
{
    void operator()(udev* u_I) const;
    void operator()(udev_device* d_I) const;
};
using UdevPtr = std::unique_ptr<udev, CUdevDeleter>;
using UdevDevicePtr = std::unique_ptr<udev_device, CUdevDeleter>;

UdevPtr NewUdev();

// The device of a character device node (by its device number); null when it is not there.
UdevDevicePtr UdevDeviceFromDevnum(udev* udev_I, dev_t devnum_I);
UdevDevicePtr UdevDeviceFromDevnode(udev* udev_I, const std::string& devnode_I);

// The sysfs path of the device `levels_I` steps above the HID device that owns a hidraw node
// (0 = the HID device itself, 1 = its parent: on USB the interface, 2 = the USB device, and so
// on). Empty when the node or the ancestor does not exist. On Windows the same role is played
// by the configuration manager's instance ids, starting at the HID device node.
std::string HidrawAncestorId(const std::string& devnode_I, std::uint8_t levels_I);

// The version word of the device behind a hidraw node: the bcdDevice of its USB device when it
// sits on USB (what Windows reports as VersionNumber), else the version an input device made
// from it by the HID input layer carries (the kernel copies the HID device's version there,
// whatever the bus). False, version_O = 0, when neither exists.
bool HidrawVersion(udev* udev_I, udev_device* hidraw_I, std::uint16_t& version_O);

// The report descriptor of the HID device behind a hidraw node, from sysfs (readable without
// access to the node itself).
bool ReadSysfsReportDescriptor(udev_device* hidraw_I, std::vector<std::uint8_t>& descriptor_O);

// The hidraw nodes present, sorted by name ("/dev/hidraw0", ...).
std::vector<std::string> EnumerateHidrawNodes();

// The interface paths of one node: one per top-level collection (see HidReportDescriptor.h);
// just the node when its descriptor cannot be read or parsed.
std::vector<std::string> HidrawInterfacePaths(udev* udev_I, const std::string& devnode_I);
