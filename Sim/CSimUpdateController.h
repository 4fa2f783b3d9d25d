#pragma once
// The update controller on the simulated bus. There is no resident tablet service to signal.

#include "CSimHost.h"
#include "FWUpdater/CUpdateController.h"

#include <memory>
#include <string>

class CSimUpdateController : public CUpdateController
{
public:
    CSimUpdateController(std::shared_ptr<CSimHost> host_I, const std::string& topologyPath_I);

    bool SignalStopEvent() override { return false; }
    bool SignalStartEvent() override { return false; }
};
