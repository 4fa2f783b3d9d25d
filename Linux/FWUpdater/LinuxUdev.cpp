#include "FWUpdater/LinuxUdev.h"

#include "FWUpdater/HidReportDescriptor.h"

#include <libudev.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

void CUdevDeleter::operator()(udev* u_I) const
{
    udev_unref(u_I);
}

void CUdevDeleter::operator()(udev_device* d_I) const
{
    udev_device_unref(d_I);
}

UdevPtr NewUdev()
{
    return UdevPtr(udev_new());
}

UdevDevicePtr UdevDeviceFromDevnum(udev* udev_I, dev_t devnum_I)
{
    if (udev_I == nullptr)
        return nullptr;
    return UdevDevicePtr(udev_device_new_from_devnum(udev_I, 'c', devnum_I));
}

UdevDevicePtr UdevDeviceFromDevnode(udev* udev_I, const std::string& devnode_I)
{
    struct stat st {};
    if (::stat(devnode_I.c_str(), &st) != 0 || !S_ISCHR(st.st_mode))
        return nullptr;
    return UdevDeviceFromDevnum(udev_I, st.st_rdev);
}

std::string HidrawAncestorId(const std::string& devnode_I, std::uint8_t levels_I)
{
    UdevPtr u = NewUdev();
    UdevDevicePtr hidraw = UdevDeviceFromDevnode(u.get(), devnode_I);
    if (!hidraw)
        return std::string();
    // Parents are owned by the child device: no unref for them.
    udev_device* node = udev_device_get_parent(hidraw.get());
    for (std::uint8_t i = 0; i < levels_I && node != nullptr; ++i)
        node = udev_device_get_parent(node);
    if (node == nullptr)
        return std::string();
    const char* syspath = udev_device_get_syspath(node);
    return syspath != nullptr ? std::string(syspath) : std::string();
}

namespace {

bool ParseHexWord(const char* text_I, std::uint16_t& value_O)
{
    if (text_I == nullptr || *text_I == '\0')
        return false;
    char* end = nullptr;
    const unsigned long v = std::strtoul(text_I, &end, 16);
    while (end != nullptr && (*end == '\n' || *end == ' '))
        ++end;
    if (end == nullptr || *end != '\0' || v > 0xFFFF)
        return false;
    value_O = static_cast<std::uint16_t>(v);
    return true;
}

} // namespace

bool HidrawVersion(udev* udev_I, udev_device* hidraw_I, std::uint16_t& version_O)
{
    version_O = 0;
    if (udev_I == nullptr || hidraw_I == nullptr)
        return false;
    udev_device* usb = udev_device_get_parent_with_subsystem_devtype(hidraw_I, "usb", "usb_device");
    if (usb != nullptr && ParseHexWord(udev_device_get_sysattr_value(usb, "bcdDevice"), version_O))
        return true;

    udev_device* hid = udev_device_get_parent(hidraw_I);
    if (hid == nullptr)
        return false;
    udev_enumerate* e = udev_enumerate_new(udev_I);
    if (e == nullptr)
        return false;
    bool found = false;
    if (udev_enumerate_add_match_parent(e, hid) >= 0 && udev_enumerate_add_match_subsystem(e, "input") >= 0 &&
        udev_enumerate_scan_devices(e) >= 0) {
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e))
        {
            UdevDevicePtr input(udev_device_new_from_syspath(udev_I, udev_list_entry_get_name(entry)));
            if (input && ParseHexWord(udev_device_get_sysattr_value(input.get(), "id/version"), version_O)) {
                found = true;
                break;
            }
        }
    }
    udev_enumerate_unref(e);
    return found;
}

bool ReadSysfsReportDescriptor(udev_device* hidraw_I, std::vector<std::uint8_t>& descriptor_O)
{
    descriptor_O.clear();
    udev_device* hid = hidraw_I != nullptr ? udev_device_get_parent(hidraw_I) : nullptr;
    const char* syspath = hid != nullptr ? udev_device_get_syspath(hid) : nullptr;
    if (syspath == nullptr)
        return false;
    std::ifstream in(std::string(syspath) + "/report_descriptor", std::ios::binary);
    if (!in)
        return false;
    descriptor_O.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !descriptor_O.empty();
}

std::vector<std::string> EnumerateHidrawNodes()
{
    std::vector<std::string> nodes;
    UdevPtr u = NewUdev();
    if (!u)
        return nodes;
    udev_enumerate* e = udev_enumerate_new(u.get());
    if (e == nullptr)
        return nodes;
    if (udev_enumerate_add_match_subsystem(e, "hidraw") >= 0 && udev_enumerate_scan_devices(e) >= 0) {
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e))
        {
            UdevDevicePtr d(udev_device_new_from_syspath(u.get(), udev_list_entry_get_name(entry)));
            const char* node = d ? udev_device_get_devnode(d.get()) : nullptr;
            if (node != nullptr)
                nodes.emplace_back(node);
        }
    }
    udev_enumerate_unref(e);
    // Natural order: hidraw2 before hidraw10.
    std::sort(nodes.begin(), nodes.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return nodes;
}

std::vector<std::string> HidrawInterfacePaths(udev* udev_I, const std::string& devnode_I)
{
    std::vector<std::string> paths;
    UdevDevicePtr d = UdevDeviceFromDevnode(udev_I, devnode_I);
    std::vector<std::uint8_t> descriptor;
    std::vector<HidCollectionUsage> collections;
    if (d && ReadSysfsReportDescriptor(d.get(), descriptor) && ParseTopLevelCollections(descriptor, collections) &&
        !collections.empty()) {
        for (std::size_t i = 0; i < collections.size(); ++i)
            paths.push_back(MakeHidrawInterfacePath(devnode_I, i));
    } else {
        paths.push_back(devnode_I);
    }
    return paths;
}
