#include "CWinHIDFLDeviceInterface.h"

#include "FWUpdater/HIDVendorWrapper.h"
#include "WinDeviceTree.h"

// mingw-w64's HID headers lack the C linkage block of the SDK's.
extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}

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
    mHandle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
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
    HIDD_ATTRIBUTES attributes {};
    attributes.Size = sizeof attributes;
    if (!::HidD_GetAttributes(mHandle, &attributes)) {
        Close();
        return false;
    }
    vendorId = attributes.VendorID;
    productId = attributes.ProductID;
    version = attributes.VersionNumber;

    PHIDP_PREPARSED_DATA preparsed = nullptr;
    HIDP_CAPS caps {};
    if (!::HidD_GetPreparsedData(mHandle, &preparsed)) {
        Close();
        return false;
    }
    if (::HidP_GetCaps(preparsed, &caps) != HIDP_STATUS_SUCCESS) {
        ::HidD_FreePreparsedData(preparsed);
        Close();
        return false;
    }
    usage = caps.Usage;
    usagePage = caps.UsagePage;
    ::HidD_FreePreparsedData(preparsed);
    Close();
    return true;
}

std::string CWinHIDFLDeviceInterface::GetParentDeviceId(std::uint8_t levels_I)
{
    return GetAncestorDeviceId(InstanceIdFromInterfacePath(path), levels_I);
}

bool CWinHIDFLDeviceInterface::SetFeatureCall(std::vector<std::uint8_t>& buffer_IO)
{
    if (mHandle == INVALID_HANDLE_VALUE || buffer_IO.empty())
        return false;
    return ::HidD_SetFeature(mHandle, buffer_IO.data(), static_cast<ULONG>(buffer_IO.size())) != FALSE;
}

bool CWinHIDFLDeviceInterface::GetFeatureCall(std::vector<std::uint8_t>& buffer_IO)
{
    if (mHandle == INVALID_HANDLE_VALUE || buffer_IO.empty())
        return false;
    return ::HidD_GetFeature(mHandle, buffer_IO.data(), static_cast<ULONG>(buffer_IO.size())) != FALSE;
}

bool CWinHIDFLDeviceInterface::WriteFeature(const std::vector<std::uint8_t>& report_I)
{
    return HIDSetFeature(usagePage, report_I, [this](std::vector<std::uint8_t>& buffer) { return SetFeatureCall(buffer); });
}

bool CWinHIDFLDeviceInterface::ReadFeature(std::vector<std::uint8_t>& report_IO)
{
    return HIDGetFeature(usagePage, report_IO, [this](std::vector<std::uint8_t>& buffer) { return GetFeatureCall(buffer); });
}
