#pragma once
// The update controller on Linux. There is no resident tablet service to signal: the two named
// events return false.

#include "FWUpdater/CUpdateController.h"

#include <memory>
#include <string>

class CLinuxUpdateController : public CUpdateController
{
public:
    explicit CLinuxUpdateController(const std::string& topologyPath_I);

    bool SignalStopEvent() override { return false; }
    bool SignalStartEvent() override { return false; }
};

// The controller over the real hidraw/udev layer, for the command-line program's hardware mode.
std::shared_ptr<CUpdateController> CreateLinuxUpdateController(const std::string& topologyPath_I);
