#pragma once
// Discovery over the interfaces the operating system presents: probes every HID interface as HID
// and as I2C and every bulk-loader interface as BULK, classifies each against the topology
// descriptions (pen, touch, bluetooth or loader), and groups them into tablets by their common
// ancestor in the device tree. Only enumeration and interface creation are platform work; the
// Windows, Linux and simulated discoveries supply those two and share everything else.

#include "FWUpdater/CDiscovery.h"

#include <memory>
#include <string>
#include <vector>

class CFLDeviceInterface;

enum class EInterfaceClass
{
    eHid,        // the HID device interface class
    eBulkLoader, // the tablet's own USB (WinUSB) interface class of the bulk loader
};

class CPlatformDiscovery : public CDiscovery
{
public:
    using CDiscovery::CDiscovery;

    // Always true: failures just contribute no device.
    bool UpdateDeviceList() override;

    static constexpr std::uint32_t kHidRouterUsagePage = 0xFF00;
    static constexpr std::uint32_t kHidRouterPenUsage = 0x0A;
    static constexpr std::uint32_t kHidRouterTouchUsage = 0x0B;

protected:
    // Paths of the present interfaces of one class, in the platform's order.
    virtual std::vector<std::string> EnumerateInterfacePaths(EInterfaceClass class_I) = 0;
    // A new, closed interface of the given kind for the path; null for an unknown kind.
    virtual std::shared_ptr<CFLDeviceInterface> CreateFLDeviceInterface(int kind_I, const std::string& path_I) = 0;

    bool DetectHidRouter(const std::vector<std::string>& paths_I);
    void CreateInterfaces(const std::vector<std::string>& paths_I, int kind_I);
    bool IsPenInterface(const CDevice& description_I, CFLDeviceInterface& interface_I) const;
    bool IsTouchInterface(const CDevice& description_I, CFLDeviceInterface& interface_I) const;
    bool IsBluetoothInterface(const CDevice& description_I, CFLDeviceInterface& interface_I) const;
    bool ShareParent(const CDevice& description_I, const std::shared_ptr<CFLDeviceInterface>& a_I, std::uint8_t levelsA_I,
                     const std::shared_ptr<CFLDeviceInterface>& b_I, std::uint8_t levelsB_I) const;
    void MatchInterfaces();

    bool mHidRouter = false;
    std::vector<std::shared_ptr<CFLDeviceInterface>> mPenInterfaces;
    std::vector<std::shared_ptr<CFLDeviceInterface>> mTouchInterfaces;
    std::vector<std::shared_ptr<CFLDeviceInterface>> mBluetoothInterfaces;
    std::vector<std::shared_ptr<CFLDeviceInterface>> mLoaderInterfaces;

private:
    bool Matches(const CDevice& description_I, CFLDeviceInterface& interface_I, int board_I, std::uint32_t usage_I,
                 std::uint32_t usagePage_I) const;
};
