#pragma once
// Discovery on Linux: the HID interfaces are the top-level collections of the hidraw nodes that
// udev knows (one path per collection, see HidReportDescriptor.h), the bulk-loader candidates
// the vendor-specific USB interfaces (by sysfs path); classification and grouping are the
// shared production code.

#include "FWUpdater/CPlatformDiscovery.h"

#include <string>

class CLinuxDiscovery : public CPlatformDiscovery
{
public:
    explicit CLinuxDiscovery(std::string topologyPath_I);

protected:
    std::vector<std::string> EnumerateInterfacePaths(EInterfaceClass class_I) override;
    std::shared_ptr<CFLDeviceInterface> CreateFLDeviceInterface(int kind_I, const std::string& path_I) override;
};
