#pragma once
// The HID platform class of the simulator: it implements exactly the slots the Windows HID
// class implements, with the simulated host standing where CreateFileA, HidD_* and the
// configuration manager stand.

#include "CSimHost.h"
#include "FWUpdater/CHIDFLDeviceInterface.h"

#include <memory>

class CSimHIDFLDeviceInterface : public CHIDFLDeviceInterface
{
public:
    CSimHIDFLDeviceInterface(const std::string& path_I, std::shared_ptr<CSimHost> host_I,
                             int interfaceKind_I = eInterfaceKindHID);
    ~CSimHIDFLDeviceInterface() override;

    // Already usable (the liveness check answers) → true; otherwise close and open the path.
    bool Open() override;
    void Close() override;
    // Opens, reads ids and usages, closes.
    bool ReadAttributes() override;
    std::string GetParentDeviceId(std::uint8_t levels_I) override;
    bool WriteFeature(const std::vector<std::uint8_t>& report_I) override;
    bool ReadFeature(std::vector<std::uint8_t>& report_IO) override;

private:
    std::shared_ptr<CSimHost> mHost;
    CSimHost::Handle mHandle = 0;
};
