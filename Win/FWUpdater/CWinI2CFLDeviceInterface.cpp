#include "CWinI2CFLDeviceInterface.h"

#include "FWUpdater/HIDVendorWrapper.h"
#include "WinDeviceTree.h"
#include "WinHidDevice.h"

CWinI2CFLDeviceInterface::CWinI2CFLDeviceInterface(const std::string& path_I, int interfaceKind_I)
    : CI2CFLDeviceInterface(path_I, interfaceKind_I)
{
}

CWinI2CFLDeviceInterface::~CWinI2CFLDeviceInterface()
{
    // Not through the virtual slot: the handle is this class's own.
    if (mHandle != INVALID_HANDLE_VALUE)
        ::CloseHandle(mHandle);
}

bool CWinI2CFLDeviceInterface::Open()
{
    if (IsConnected())
        return true;
    Close();
    mHandle = OpenHidPath(path);
    isOpen = mHandle != INVALID_HANDLE_VALUE;
    return isOpen;
}

void CWinI2CFLDeviceInterface::Close()
{
    if (mHandle != INVALID_HANDLE_VALUE)
        ::CloseHandle(mHandle);
    mHandle = INVALID_HANDLE_VALUE;
    isOpen = false;
}

bool CWinI2CFLDeviceInterface::ReadAttributes()
{
    if (!Open())
        return false;
    WinHidAttributes attributes;
    const bool read = ReadHidAttributes(mHandle, attributes);
    if (read) {
        vendorId = attributes.vendorId;
        productId = attributes.productId;
        version = attributes.version;
        usage = attributes.usage;
        usagePage = attributes.usagePage;
    }
    Close();
    return read;
}

std::string CWinI2CFLDeviceInterface::GetParentDeviceId(std::uint8_t levels_I)
{
    return GetAncestorDeviceId(InstanceIdFromInterfacePath(path), levels_I);
}

bool CWinI2CFLDeviceInterface::RawWriteFeature(const std::vector<std::uint8_t>& report_I)
{
    return HIDSetFeature(usagePage, report_I,
                         [this](std::vector<std::uint8_t>& buffer) { return HidSetFeatureCall(mHandle, buffer); });
}

bool CWinI2CFLDeviceInterface::RawReadFeature(std::vector<std::uint8_t>& report_IO)
{
    return HIDGetFeature(usagePage, report_IO,
                         [this](std::vector<std::uint8_t>& buffer) { return HidGetFeatureCall(mHandle, buffer); });
}
