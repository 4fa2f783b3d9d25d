#pragma once
// Discovery on the simulated host: the platform part lists the host's nodes by interface class
// and creates the simulator's transport classes; classification and grouping are the shared
// production code.

#include "CSimHost.h"
#include "FWUpdater/CPlatformDiscovery.h"

#include <memory>

class CSimDiscovery : public CPlatformDiscovery
{
public:
    CSimDiscovery(std::shared_ptr<CSimHost> host_I, std::string topologyPath_I);

protected:
    std::vector<std::string> EnumerateInterfacePaths(EInterfaceClass class_I) override;
    std::shared_ptr<CFLDeviceInterface> CreateFLDeviceInterface(int kind_I, const std::string& path_I) override;

private:
    std::shared_ptr<CSimHost> mHost;
};
