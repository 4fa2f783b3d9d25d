#include "CSimUpdateController.h"

#include "CSimDiscovery.h"

CSimUpdateController::CSimUpdateController(std::shared_ptr<CSimHost> host_I, const std::string& topologyPath_I)
    : CUpdateController(std::make_unique<CSimDiscovery>(std::move(host_I), topologyPath_I))
{
}
