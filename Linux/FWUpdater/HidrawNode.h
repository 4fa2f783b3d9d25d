#pragma once
// The Linux node under the HID and I2C platform classes (see CNodeFLDeviceInterface.h): one
// open hidraw node, named by an interface path (the node, with "#N" for the N-th top-level
// collection, see HidReportDescriptor.h). Not copyable; closes on destruction.

#include "FWUpdater/CNodeFLDeviceInterface.h"

#include <cstdint>
#include <string>
#include <vector>

class CHidrawNode
{
public:
    CHidrawNode() = default;
    ~CHidrawNode();
    CHidrawNode(const CHidrawNode&) = delete;
    CHidrawNode& operator=(const CHidrawNode&) = delete;

    // The path's node, read-write; false when it cannot be opened.
    bool Open(const std::string& path_I);
    void Close();
    bool IsOpen() const { return mFd >= 0; }

    // Ids (HIDIOCGRAWINFO), the usages of the path's top-level collection (HIDIOCGRDESC) and
    // the version (sysfs). False when an ioctl fails or there is no such collection.
    bool ReadAttributes(const std::string& path_I, NodeAttributes& attributes_O);
    // The sysfs path of the ancestor (0 = the HID device owning the node); empty when absent.
    std::string ParentId(const std::string& path_I, std::uint8_t levels_I) const;

    // The kernel sends a GET to the device as the report id alone (hidraw, any HID transport).
    static constexpr bool kGetCarriesOnlyReportId = true;
    // One feature report (byte 0 = id).
    bool SetFeature(std::vector<std::uint8_t>& buffer_IO);
    // One GET; shortens the buffer to what the kernel returned and never lengthens it.
    bool GetFeature(std::vector<std::uint8_t>& buffer_IO);

private:
    int mFd = -1;
};
