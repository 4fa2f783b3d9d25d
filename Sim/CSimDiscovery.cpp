#include "CSimDiscovery.h"

#include "CSimHIDFLDeviceInterface.h"
#include "FWUpdater/InterfaceKind.h"

CSimDiscovery::CSimDiscovery(std::shared_ptr<CSimHost> host_I, std::string topologyPath_I)
    : CPlatformDiscovery(std::move(topologyPath_I)), mHost(std::move(host_I))
{
}

std::vector<std::string> CSimDiscovery::EnumerateInterfacePaths(EInterfaceClass class_I)
{
    std::vector<std::string> paths;
    if (class_I != EInterfaceClass::eHid)
        return paths;
    for (const SimHidNodeInfo& node : mHost->Nodes())
        paths.push_back(node.path);
    return paths;
}

std::shared_ptr<CFLDeviceInterface> CSimDiscovery::CreateFLDeviceInterface(int kind_I, const std::string& path_I)
{
    switch (kind_I) {
    case eInterfaceKindHID:
        return std::make_shared<CSimHIDFLDeviceInterface>(path_I, mHost, eInterfaceKindHID);
    default:
        return nullptr;
    }
}
