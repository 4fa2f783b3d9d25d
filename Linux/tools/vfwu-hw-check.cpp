// vfwu-hw-check: drives the Linux hardware layer directly (discovery, hotplug monitor, update
// controller) for the real-kernel test, without the command-line front end.
//
//   vfwu-hw-check list TOPOLOGY          one line per tablet found
//   vfwu-hw-check update TOPOLOGY FILE   updates the pen board of the default tablet; every
//                                        state, error and log line goes to standard output
//   vfwu-hw-check bulk-requests TOPOLOGY the normal-mode vendor requests of the first bulk pen
//                                        interface: the liveness check (a data stage in), an
//                                        unknown request (the device must refuse it), the reset
// Exit code 0 on success, 1 on failure, 2 on bad usage.

#include "FWUpdater/CDevice.h"
#include "FWUpdater/CDiscovery.h"
#include "FWUpdater/CFLDeviceInterface.h"
#include "FWUpdater/CLinuxHotplugMonitor.h"
#include "FWUpdater/CLinuxUpdateController.h"
#include "FWUpdater/CLinuxUpdateNotifier.h"

#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

// The log file as usual, and every line on standard output as well.
class CEchoNotifier : public CLinuxUpdateNotifier
{
public:
    void Log(const std::string& message_I) override
    {
        CLinuxUpdateNotifier::Log(message_I);
        Print("LOG " + message_I);
    }
    void ReportError(std::int32_t code_I, const std::string& message_I) override
    {
        CLinuxUpdateNotifier::ReportError(code_I, message_I);
        Print("ERROR " + std::to_string(code_I) + " " + message_I);
    }
    void ReportState(std::int32_t state_I) override
    {
        CLinuxUpdateNotifier::ReportState(state_I);
        Print("[STATE] " + std::to_string(state_I));
    }
    void ReportProgress(std::int32_t percent_I) override
    {
        CLinuxUpdateNotifier::ReportProgress(percent_I);
        if (percent_I % 25 == 0)
            Print("PROGRESS " + std::to_string(percent_I));
    }

private:
    void Print(const std::string& line_I)
    {
        std::lock_guard<std::mutex> lock(mMutex);
        std::printf("%s\n", line_I.c_str());
        std::fflush(stdout);
    }
    std::mutex mMutex;
};

void PrintDevices(CUpdateController& controller_I)
{
    for (const auto& device : controller_I.GetDiscovery()->GetDevices()) {
        const auto& pen = device->mPenInterface;
        if (!pen) {
            std::printf("device name=\"%s\" pen=none\n", device->mName.c_str());
            continue;
        }
        std::printf("device name=\"%s\" pen=%s vid=%04x pid=%04x version=%04x page=%04x usage=%04x loader=%d\n",
                    device->mName.c_str(), pen->GetPath().c_str(), pen->GetVendorId(), pen->GetProductId(),
                    pen->GetVersion(), pen->GetUsagePage(), pen->GetUsage(), device->mLoaderMode ? 1 : 0);
    }
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "list") == 0) {
        auto controller = CreateLinuxUpdateController(argv[2]);
        controller->UpdateDeviceList();
        PrintDevices(*controller);
        return controller->GetDiscovery()->GetDevices().empty() ? 1 : 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "update") == 0) {
        auto controller = CreateLinuxUpdateController(argv[2]);
        CEchoNotifier notifier;
        controller->SetNotifier(&notifier);
        CLinuxHotplugMonitor monitor([controller](bool arrival, const std::string& path) {
            if (arrival)
                controller->OnInterfaceAttached(path);
            else
                controller->OnInterfaceDetached(path);
        });
        if (!monitor.Start()) {
            std::printf("udev monitor could not start\n");
            return 1;
        }
        controller->SetUpdateType(0);
        bool ok = controller->ProcessUpdateFile(argv[3]);
        if (ok)
            ok = controller->UpdateDeviceList() && controller->GetCurrentDevice() != nullptr;
        if (ok)
            ok = controller->UpdateDevice();
        monitor.Stop();
        controller->SetNotifier(nullptr);
        std::printf("update %s, final state %d, log %s\n", ok ? "succeeded" : "failed", controller->GetState(),
                    notifier.GetLogPath().c_str());
        return ok ? 0 : 1;
    }
    if (argc == 3 && std::strcmp(argv[1], "bulk-requests") == 0) {
        auto controller = CreateLinuxUpdateController(argv[2]);
        controller->UpdateDeviceList();
        std::shared_ptr<CFLDeviceInterface> pen;
        for (const auto& device : controller->GetDiscovery()->GetDevices())
            if (!pen && device->mPenInterface && device->mPenInterface->GetInterfaceKind() == eInterfaceKindBULK)
                pen = device->mPenInterface;
        if (!pen || !pen->Open()) {
            std::printf("bulk-requests: no bulk pen interface could be opened\n");
            return 1;
        }
        const bool alive = pen->IsConnected();
        // bmRequestType, bRequest, wIndex, wValue, wLength: a vendor request in that no board knows.
        const bool unknownRefused = !pen->WriteFeature({0xC1, 0x02, 0, 0, 2});
        const bool reset = pen->SendReset();
        pen->Close();
        std::printf("bulk-requests: liveness %s, unknown request %s, reset %s\n", alive ? "answered" : "FAILED",
                    unknownRefused ? "refused" : "ACCEPTED", reset ? "accepted" : "FAILED");
        return alive && unknownRefused && reset ? 0 : 1;
    }
    std::fprintf(stderr, "usage: vfwu-hw-check list TOPOLOGY | update TOPOLOGY FILE | bulk-requests TOPOLOGY\n");
    return 2;
}
