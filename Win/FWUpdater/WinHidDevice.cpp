#include "WinHidDevice.h"

// mingw-w64's HID headers lack the C linkage block of the SDK's.
extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}

HANDLE OpenHidPath(const std::string& path_I)
{
    return ::CreateFileA(path_I.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
}

bool ReadHidAttributes(HANDLE handle_I, WinHidAttributes& attributes_O)
{
    HIDD_ATTRIBUTES attributes {};
    attributes.Size = sizeof attributes;
    if (!::HidD_GetAttributes(handle_I, &attributes))
        return false;
    attributes_O.vendorId = attributes.VendorID;
    attributes_O.productId = attributes.ProductID;
    attributes_O.version = attributes.VersionNumber;

    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!::HidD_GetPreparsedData(handle_I, &preparsed))
        return false;
    HIDP_CAPS caps {};
    const bool read = ::HidP_GetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS;
    ::HidD_FreePreparsedData(preparsed);
    if (!read)
        return false;
    attributes_O.usage = caps.Usage;
    attributes_O.usagePage = caps.UsagePage;
    return true;
}

bool HidSetFeatureCall(HANDLE handle_I, std::vector<std::uint8_t>& buffer_IO)
{
    if (handle_I == INVALID_HANDLE_VALUE || buffer_IO.empty())
        return false;
    return ::HidD_SetFeature(handle_I, buffer_IO.data(), static_cast<ULONG>(buffer_IO.size())) != FALSE;
}

bool HidGetFeatureCall(HANDLE handle_I, std::vector<std::uint8_t>& buffer_IO)
{
    if (handle_I == INVALID_HANDLE_VALUE || buffer_IO.empty())
        return false;
    return ::HidD_GetFeature(handle_I, buffer_IO.data(), static_cast<ULONG>(buffer_IO.size())) != FALSE;
}
