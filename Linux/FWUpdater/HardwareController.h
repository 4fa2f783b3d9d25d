#pragma once
// The update controller for attached hardware. Every front end gets it from this one factory,
// so the Linux device layer (hidraw discovery, transports, hotplug) plugs in here and nowhere
// else.

#include "FWUpdater/CUpdateController.h"

#include <functional>
#include <memory>
#include <string>

// Where the platform delivers interface arrivals (true) and removals (false).
using InterfaceEventSink = std::function<void(bool arrival, const std::string& path)>;

struct HardwareController
{
    std::shared_ptr<CUpdateController> controller;
    // Starts delivering arrivals and removals to the sink; null stops them, and no delivery
    // follows its return.
    std::function<void(InterfaceEventSink)> setEventSink;
    // False for a build without a device layer (discovery then finds nothing).
    bool hasDeviceLayer = false;
};

HardwareController CreateHardwareController(const std::string& topologyPath_I);
