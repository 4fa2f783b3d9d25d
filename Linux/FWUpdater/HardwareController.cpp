#include "FWUpdater/HardwareController.h"

#include "FWUpdater/CLinuxHotplugMonitor.h"
#include "FWUpdater/CLinuxUpdateController.h"

#include <mutex>

namespace {

// One udev monitor at a time, started when a sink is given and stopped (its thread joined, so
// no call follows) when it is taken away.
class CHotplugSwitch
{
public:
    void SetSink(InterfaceEventSink sink_I)
    {
        std::lock_guard<std::mutex> lock(mMutex);
        if (mMonitor) {
            mMonitor->Stop();
            mMonitor.reset();
        }
        if (!sink_I)
            return;
        mMonitor = std::make_unique<CLinuxHotplugMonitor>(std::move(sink_I));
        // Without udev's netlink socket (some containers) arrivals go unseen; the controller's
        // own rediscovery still finds a board that came back.
        if (!mMonitor->Start())
            mMonitor.reset();
    }

private:
    std::mutex mMutex;
    std::unique_ptr<CLinuxHotplugMonitor> mMonitor;
};

} // namespace

HardwareController CreateHardwareController(const std::string& topologyPath_I)
{
    HardwareController hardware;
    hardware.controller = CreateLinuxUpdateController(topologyPath_I);
    auto hotplug = std::make_shared<CHotplugSwitch>();
    hardware.setEventSink = [hotplug](InterfaceEventSink sink_I) { hotplug->SetSink(std::move(sink_I)); };
    hardware.hasDeviceLayer = true;
    return hardware;
}
