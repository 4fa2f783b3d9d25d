#include "CSimDiscovery.h"

#include "CSimBulkFLDeviceInterface.h"
#include "CSimHIDFLDeviceInterface.h"
#include "CSimI2CFLDeviceInterface.h"
#include "FWUpdater/InterfaceKind.h"

CSimDiscovery::CSimDiscovery(std::shared_ptr<CSimHost> host_I, std::string topologyPath_I)
    : CPlatformDiscovery(std::move(topologyPath_I)), mHost(std::move(host_I))
{
}

std::vector<std::string> CSimDiscovery::EnumerateInterfacePaths(EInterfaceClass class_I)
{
    const ESimInterfaceClass wanted =
        class_I == EInterfaceClass::eHid ? ESimInterfaceClass::eHid : ESimInterfaceClass::eBulkLoader;
    std::vector<std::string> paths;
    for (const SimHidNodeInfo& node : mHost->Nodes()) {
        if (node.interfaceClass == wanted)
            paths.push_back(node.path);
    }
    return paths;
}

std::shared_ptr<CFLDeviceInterface> CSimDiscovery::CreateFLDeviceInterface(int kind_I, const std::string& path_I)
{
    switch (kind_I) {
    case eInterfaceKindHID:
        return std::make_shared<CSimHIDFLDeviceInterface>(path_I, mHost, eInterfaceKindHID);
    case eInterfaceKindI2C:
        return std::make_shared<CSimI2CFLDeviceInterface>(path_I, mHost);
    case eInterfaceKindBULK:
        return std::make_shared<CSimBulkFLDeviceInterface>(path_I, mHost);
    default:
        return nullptr;
    }
}
