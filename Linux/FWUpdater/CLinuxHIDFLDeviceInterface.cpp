#include "FWUpdater/CLinuxHIDFLDeviceInterface.h"

#include "FWUpdater/HIDVendorWrapper.h"
#include "FWUpdater/HidReportDescriptor.h"
#include "FWUpdater/LinuxUdev.h"

namespace {
std::string DevnodeOf(const std::string& path_I)
{
    std::string devnode;
    std::size_t collection = 0;
    SplitHidrawInterfacePath(path_I, devnode, collection);
    return devnode;
}
std::size_t CollectionOf(const std::string& path_I)
{
    std::string devnode;
    std::size_t collection = 0;
    SplitHidrawInterfacePath(path_I, devnode, collection);
    return collection;
}
} // namespace

CLinuxHIDFLDeviceInterface::CLinuxHIDFLDeviceInterface(const std::string& path_I, int interfaceKind_I) : CHIDFLDeviceInterface(path_I, interfaceKind_I) {}

bool CLinuxHIDFLDeviceInterface::Open()
{
    if (IsConnected())
        return true;
    Close();
    isOpen = mNode.Open(DevnodeOf(path));
    return isOpen;
}

void CLinuxHIDFLDeviceInterface::Close()
{
    mNode.Close();
    isOpen = false;
}

bool CLinuxHIDFLDeviceInterface::ReadAttributes()
{
    if (!Open())
        return false;
    HidrawAttributes a;
    const bool ok = mNode.ReadAttributes(CollectionOf(path), a);
    if (ok) {
        vendorId = a.vendorId;
        productId = a.productId;
        version = a.version;
        usagePage = a.usagePage;
        usage = a.usage;
    }
    Close();
    return ok;
}

std::string CLinuxHIDFLDeviceInterface::GetParentDeviceId(std::uint8_t levels_I)
{
    return HidrawAncestorId(DevnodeOf(path), levels_I);
}

bool CLinuxHIDFLDeviceInterface::WriteFeature(const std::vector<std::uint8_t>& report_I)
{
    if (!mNode.IsOpen())
        return false;
    return HIDSetFeature(usagePage, report_I, [this](std::vector<std::uint8_t>& buffer) { return mNode.SetFeature(buffer); });
}

bool CLinuxHIDFLDeviceInterface::ReadFeature(std::vector<std::uint8_t>& report_IO)
{
    if (!mNode.IsOpen())
        return false;
    const bool vendorPage = usagePage == kVendorWrapperUsagePage;
    return HIDGetFeature(usagePage, report_IO, [this, vendorPage](std::vector<std::uint8_t>& buffer) {
        return mNode.GetFeatureNamingRequest(vendorPage, buffer);
    });
}
