#include "FWUpdater/CPlatformDiscovery.h"

#include "FWUpdater/CDevice.h"
#include "FWUpdater/CFLDeviceInterface.h"

namespace {
constexpr int kPen = 0;
constexpr int kTouch = 1;
constexpr int kBluetooth = 2;
} // namespace

bool CPlatformDiscovery::UpdateDeviceList()
{
    if (mTopologyMap.empty())
        LoadTopology();
    mDevices.clear();
    mPenInterfaces.clear();
    mTouchInterfaces.clear();
    mBluetoothInterfaces.clear();
    mLoaderInterfaces.clear();

    // Every HID path is probed as HID and as I2C; the description's transport decides which survives.
    std::vector<std::string> hidPaths = EnumerateInterfacePaths(EInterfaceClass::eHid);
    mHidRouter = DetectHidRouter(hidPaths);
    CreateInterfaces(hidPaths, eInterfaceKindHID);
    hidPaths = EnumerateInterfacePaths(EInterfaceClass::eHid);
    mHidRouter = DetectHidRouter(hidPaths);
    CreateInterfaces(hidPaths, eInterfaceKindI2C);
    CreateInterfaces(EnumerateInterfacePaths(EInterfaceClass::eBulkLoader), eInterfaceKindBULK);

    MatchInterfaces();
    return true;
}

bool CPlatformDiscovery::DetectHidRouter(const std::vector<std::string>& paths_I)
{
    for (const std::string& path : paths_I) {
        std::shared_ptr<CFLDeviceInterface> interface = CreateFLDeviceInterface(eInterfaceKindHID, path);
        if (!interface || !interface->ReadAttributes())
            continue;
        if (GetDeviceDescription(interface->GetVendorId(), interface->GetProductId()).mName.empty())
            continue;
        return interface->GetUsagePage() == kHidRouterUsagePage &&
               (interface->GetUsage() == kHidRouterPenUsage || interface->GetUsage() == kHidRouterTouchUsage);
    }
    return false;
}

void CPlatformDiscovery::CreateInterfaces(const std::vector<std::string>& paths_I, int kind_I)
{
    for (const std::string& path : paths_I) {
        std::shared_ptr<CFLDeviceInterface> interface = CreateFLDeviceInterface(kind_I, path);
        if (!interface || !interface->ReadAttributes())
            continue;
        const CDevice description = GetDeviceDescription(interface->GetVendorId(), interface->GetProductId());
        if (description.mName.empty())
            continue;
        if (description.mLoaderMode) {
            if (kind_I == eInterfaceKindI2C)
                continue;
            interface->SetFirmwareLoader(true);
            mLoaderInterfaces.push_back(interface);
            continue;
        }
        if (IsPenInterface(description, *interface))
            mPenInterfaces.push_back(interface);
        if (IsTouchInterface(description, *interface))
            mTouchInterfaces.push_back(interface);
        if (IsBluetoothInterface(description, *interface))
            mBluetoothInterfaces.push_back(interface);
    }
}

bool CPlatformDiscovery::Matches(const CDevice& description_I, CFLDeviceInterface& interface_I, int board_I,
                                 std::uint32_t usage_I, std::uint32_t usagePage_I) const
{
    return interface_I.GetUsage() == usage_I && interface_I.GetUsagePage() == usagePage_I &&
           description_I.mVid[board_I] == interface_I.GetVendorId() &&
           description_I.mPid[board_I] == interface_I.GetProductId() &&
           description_I.mInterface[board_I] == interface_I.GetInterfaceKind();
}

bool CPlatformDiscovery::IsPenInterface(const CDevice& description_I, CFLDeviceInterface& interface_I) const
{
    if (mHidRouter)
        return Matches(description_I, interface_I, kPen, kHidRouterPenUsage, kHidRouterUsagePage);
    return Matches(description_I, interface_I, kPen, description_I.mUsageId[kPen], description_I.mUsagePg[kPen]);
}

bool CPlatformDiscovery::IsTouchInterface(const CDevice& description_I, CFLDeviceInterface& interface_I) const
{
    if (interface_I.GetInterfaceKind() == eInterfaceKindBULK)
        return Matches(description_I, interface_I, kTouch, 0, 0);
    if (mHidRouter) {
        const bool hidBehindLoaderSwitch = interface_I.GetInterfaceKind() == eInterfaceKindHID && description_I.mIntoBLMode[kPen];
        return Matches(description_I, interface_I, kTouch, hidBehindLoaderSwitch ? kHidRouterTouchUsage : kHidRouterPenUsage,
                       kHidRouterUsagePage);
    }
    return Matches(description_I, interface_I, kTouch, description_I.mUsageId[kTouch], description_I.mUsagePg[kTouch]);
}

bool CPlatformDiscovery::IsBluetoothInterface(const CDevice& description_I, CFLDeviceInterface& interface_I) const
{
    if (interface_I.GetInterfaceKind() == eInterfaceKindBULK)
        return Matches(description_I, interface_I, kBluetooth, 0, 0);
    if (mHidRouter)
        return Matches(description_I, interface_I, kBluetooth, kHidRouterPenUsage, kHidRouterUsagePage);
    return Matches(description_I, interface_I, kBluetooth, description_I.mUsageId[kBluetooth],
                   description_I.mUsagePg[kBluetooth]);
}

bool CPlatformDiscovery::ShareParent(const CDevice& /*description_I*/, const std::shared_ptr<CFLDeviceInterface>& a_I,
                                     std::uint8_t levelsA_I, const std::shared_ptr<CFLDeviceInterface>& b_I,
                                     std::uint8_t levelsB_I) const
{
    if (!a_I || !b_I)
        return false;
    const std::string parentA = a_I->GetParentDeviceId(levelsA_I);
    const std::string parentB = b_I->GetParentDeviceId(levelsB_I);
    return !parentA.empty() && parentA == parentB;
}

void CPlatformDiscovery::MatchInterfaces()
{
    std::vector<std::shared_ptr<CDevice>> devices;
    auto newRecord = [this](const std::shared_ptr<CFLDeviceInterface>& interface_I) {
        return std::make_shared<CDevice>(GetDeviceDescription(interface_I->GetVendorId(), interface_I->GetProductId()));
    };

    for (const auto& pen : mPenInterfaces) {
        auto record = newRecord(pen);
        record->mPenInterface = pen;
        devices.push_back(record);
    }
    for (const auto& touch : mTouchInterfaces) {
        bool taken = false;
        for (const auto& d : devices) {
            if (d->mTouchSupported && !d->mTouchInterface &&
                ShareParent(*d, d->mPenInterface, d->mTopology[kPen], touch, d->mTopology[kTouch])) {
                d->mTouchInterface = touch;
                taken = true;
                break;
            }
        }
        if (!taken) {
            auto record = newRecord(touch);
            record->mTouchInterface = touch;
            devices.push_back(record);
        }
    }
    for (const auto& bluetooth : mBluetoothInterfaces) {
        bool taken = false;
        for (const auto& d : devices) {
            if (d->mBluetoothSupported && !d->mBluetoothInterface &&
                ShareParent(*d, d->mPenInterface, d->mTopology[kPen], bluetooth, d->mTopology[kBluetooth])) {
                d->mBluetoothInterface = bluetooth;
                taken = true;
                break;
            }
        }
        if (!taken) {
            auto record = newRecord(bluetooth);
            record->mBluetoothInterface = bluetooth;
            devices.push_back(record);
        }
    }
    for (const auto& loader : mLoaderInterfaces) {
        bool taken = false;
        for (const auto& d : devices) {
            if (!d->mPenInterface && ShareParent(*d, loader, d->mTopology[kPen], d->mTouchInterface, d->mTopology[kTouch])) {
                d->mPenInterface = loader;
                d->mLoaderMode = true;
                taken = true;
            } else if (d->mTouchSupported && !d->mTouchInterface &&
                       ShareParent(*d, d->mPenInterface, d->mTopology[kPen], loader, d->mTopology[kTouch])) {
                d->mTouchInterface = loader;
                d->mLoaderMode = true;
                taken = true;
            }
        }
        if (!taken) {
            auto record = newRecord(loader);
            record->mPenInterface = loader;
            record->mLoaderMode = true;
            devices.push_back(record);
        }
    }
    for (auto& d : devices)
        mDevices.push_back(d);
}
