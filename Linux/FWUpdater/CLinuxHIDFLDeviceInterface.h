#pragma once
// The HID platform class on Linux: a hidraw node, opened read-write; feature reports through
// HIDIOCSFEATURE/HIDIOCGFEATURE (wrapped on the vendor page by HIDSetFeature/HIDGetFeature);
// ids from HIDIOCGRAWINFO; usage page and usage of the interface's top-level collection from
// the report descriptor (HIDIOCGRDESC); the version and the ancestors from sysfs through
// libudev (CHidrawNode). The path is the node, with "#N" for the N-th top-level collection (see
// HidReportDescriptor.h).

#include "FWUpdater/HidrawNode.h"

#include <string>

class CLinuxHIDFLDeviceInterface : public CHIDNodeFLDeviceInterface<CHidrawNode>
{
public:
    explicit CLinuxHIDFLDeviceInterface(const std::string& path_I, int interfaceKind_I = eInterfaceKindHID)
        : CHIDNodeFLDeviceInterface(path_I, interfaceKind_I)
    {
    }
};
