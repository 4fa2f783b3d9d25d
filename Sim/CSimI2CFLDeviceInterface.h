#pragma once
// The I2C platform class of the simulator: the HID calls of the simulated host, used for the
// bridge's own reports (RawWriteFeature/RawReadFeature). The tunnel above them is the
// production CI2CFLDeviceInterface.

#include "CSimHost.h"
#include "FWUpdater/CI2CFLDeviceInterface.h"

#include <memory>

class CSimI2CFLDeviceInterface : public CI2CFLDeviceInterface
{
public:
    CSimI2CFLDeviceInterface(const std::string& path_I, std::shared_ptr<CSimHost> host_I,
                             int interfaceKind_I = eInterfaceKindI2C);
    ~CSimI2CFLDeviceInterface() override;

    // Already usable (the liveness check answers) → true; otherwise close and open the path.
    bool Open() override;
    void Close() override;
    // Opens, reads ids and usages, closes.
    bool ReadAttributes() override;
    std::string GetParentDeviceId(std::uint8_t levels_I) override;
    bool RawWriteFeature(const std::vector<std::uint8_t>& report_I) override;
    bool RawReadFeature(std::vector<std::uint8_t>& report_IO) override;

private:
    std::shared_ptr<CSimHost> mHost;
    CSimHost::Handle mHandle = 0;
};
