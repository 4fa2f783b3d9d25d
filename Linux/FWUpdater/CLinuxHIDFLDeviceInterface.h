#pragma once
// The HID platform class on Linux: a hidraw node, opened read-write; feature reports through
// HIDIOCSFEATURE/HIDIOCGFEATURE (wrapped on the vendor page by HIDSetFeature/HIDGetFeature);
// ids from HIDIOCGRAWINFO; usage page and usage of the interface's top-level collection from
// the report descriptor (HIDIOCGRDESC); the version and the ancestors from sysfs through
// libudev. The path is the node, with "#N" for the N-th top-level collection (see
// HidReportDescriptor.h).

#include "FWUpdater/CHIDFLDeviceInterface.h"
#include "FWUpdater/HidrawNode.h"

#include <string>

class CLinuxHIDFLDeviceInterface : public CHIDFLDeviceInterface
{
public:
    explicit CLinuxHIDFLDeviceInterface(const std::string& path_I, int interfaceKind_I = eInterfaceKindHID);

    // Already usable (the liveness check answers) → true; otherwise close and open the node.
    bool Open() override;
    void Close() override;
    // Opens, reads ids, version and the collection's usages, closes. False when the node cannot
    // be opened, the ioctls fail, or the descriptor has no collection of this path's index.
    bool ReadAttributes() override;
    // The sysfs path of the ancestor (0 = the HID device owning the node); empty when absent.
    std::string GetParentDeviceId(std::uint8_t levels_I) override;
    bool WriteFeature(const std::vector<std::uint8_t>& report_I) override;
    bool ReadFeature(std::vector<std::uint8_t>& report_IO) override;

private:
    CHidrawNode mNode;
};
