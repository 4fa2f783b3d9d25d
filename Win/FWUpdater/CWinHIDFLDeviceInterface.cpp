#include "CWinHIDFLDeviceInterface.h"

#include "FWUpdater/HIDVendorWrapper.h"
#include "WinDeviceTree.h"
#include "WinHidDevice.h"

CWinHIDFLDeviceInterface::CWinHIDFLDeviceInterface(const std::string& path_I, int interfaceKind_I)
    : CHIDFLDeviceInterface(path_I, interfaceKind_I)
{
}

CWinHIDFLDeviceInterface::~CWinHIDFLDeviceInterface()
{
    // Not through the virtual slot: the handle is this class's own.
    if (mHandle != INVALID_HANDLE_VALUE)
        ::CloseHandle(mHandle);
}

bool CWinHIDFLDeviceInterface::Open()
{
    if (IsConnected())
        return true;
    Close();
    mHandle = OpenHidPath(path);
    isOpen = mHandle != INVALID_HANDLE_VALUE;
    return isOpen;
}

void CWinHIDFLDeviceInterface::Close()
{
    if (mHandle != INVALID_HANDLE_VALUE)
        ::CloseHandle(mHandle);
    mHandle = INVALID_HANDLE_VALUE;
    isOpen = false;
}

bool CWinHIDFLDeviceInterface::ReadAttributes()
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

std::string CWinHIDFLDeviceInterface::GetParentDeviceId(std::uint8_t levels_I)
{
    return GetAncestorDeviceId(InstanceIdFromInterfacePath(path), levels_I);
}

bool CWinHIDFLDeviceInterface::WriteFeature(const std::vector<std::uint8_t>& report_I)
{
    return HIDSetFeature(usagePage, report_I,
                         [this](std::vector<std::uint8_t>& buffer) { return HidSetFeatureCall(mHandle, buffer); });
}

bool CWinHIDFLDeviceInterface::ReadFeature(std::vector<std::uint8_t>& report_IO)
{
    return HIDGetFeature(usagePage, report_IO,
                         [this](std::vector<std::uint8_t>& buffer) { return HidGetFeatureCall(mHandle, buffer); });
}
