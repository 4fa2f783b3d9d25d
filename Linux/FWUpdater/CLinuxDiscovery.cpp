#include "FWUpdater/CLinuxDiscovery.h"

#include "FWUpdater/CLinuxBulkFLDeviceInterface.h"
#include "FWUpdater/CLinuxHIDFLDeviceInterface.h"
#include "FWUpdater/CLinuxI2CFLDeviceInterface.h"
#include "FWUpdater/InterfaceKind.h"
#include "FWUpdater/LinuxUdev.h"

CLinuxDiscovery::CLinuxDiscovery(std::string topologyPath_I) : CPlatformDiscovery(std::move(topologyPath_I)) {}

std::vector<std::string> CLinuxDiscovery::EnumerateInterfacePaths(EInterfaceClass class_I)
{
    std::vector<std::string> paths;
    if (class_I == EInterfaceClass::eBulkLoader)
        return EnumerateVendorUsbInterfaces();
    if (class_I != EInterfaceClass::eHid)
        return paths;
    UdevPtr u = NewUdev();
    for (const std::string& node : EnumerateHidrawNodes()) {
        for (std::string& path : HidrawInterfacePaths(u.get(), node))
            paths.push_back(std::move(path));
    }
    return paths;
}

std::shared_ptr<CFLDeviceInterface> CLinuxDiscovery::CreateFLDeviceInterface(int kind_I, const std::string& path_I)
{
    switch (kind_I) {
    case eInterfaceKindHID:
        return std::make_shared<CLinuxHIDFLDeviceInterface>(path_I, eInterfaceKindHID);
    case eInterfaceKindBULK:
        return std::make_shared<CLinuxBulkFLDeviceInterface>(path_I, eInterfaceKindBULK);
    case eInterfaceKindI2C:
        return std::make_shared<CLinuxI2CFLDeviceInterface>(path_I, eInterfaceKindI2C);
    default:
        return nullptr;
    }
}
