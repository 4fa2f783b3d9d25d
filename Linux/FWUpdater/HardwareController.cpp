#include "FWUpdater/HardwareController.h"

#include "FWUpdater/CPlatformDiscovery.h"

namespace {

// Until the hidraw/udev device layer is part of the build, hardware mode sees no interface:
// "no supported tablet" is the honest answer.
class CNoDeviceDiscovery : public CPlatformDiscovery
{
public:
    using CPlatformDiscovery::CPlatformDiscovery;

protected:
    std::vector<std::string> EnumerateInterfacePaths(EInterfaceClass) override { return {}; }
    std::shared_ptr<CFLDeviceInterface> CreateFLDeviceInterface(int, const std::string&) override { return nullptr; }
};

class CNoDeviceUpdateController : public CUpdateController
{
public:
    explicit CNoDeviceUpdateController(const std::string& topologyPath_I)
        : CUpdateController(std::make_unique<CNoDeviceDiscovery>(topologyPath_I))
    {
    }
    bool SignalStopEvent() override { return false; }
    bool SignalStartEvent() override { return false; }
};

} // namespace

HardwareController CreateHardwareController(const std::string& topologyPath_I)
{
    HardwareController hardware;
    hardware.controller = std::make_shared<CNoDeviceUpdateController>(topologyPath_I);
    hardware.setEventSink = [](InterfaceEventSink) {};
    hardware.hasDeviceLayer = false;
    return hardware;
}
