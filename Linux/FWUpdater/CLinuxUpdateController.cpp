#include "FWUpdater/CLinuxUpdateController.h"

#include "FWUpdater/CLinuxDiscovery.h"

CLinuxUpdateController::CLinuxUpdateController(const std::string& topologyPath_I)
    : CUpdateController(std::make_unique<CLinuxDiscovery>(topologyPath_I))
{
}

std::shared_ptr<CUpdateController> CreateLinuxUpdateController(const std::string& topologyPath_I)
{
    return std::make_shared<CLinuxUpdateController>(topologyPath_I);
}
