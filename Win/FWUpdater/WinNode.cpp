#include "WinNode.h"

#include "FWUpdater/ByteOrder.h"
#include "WinDeviceTree.h"

// mingw-w64's HID headers lack the C linkage block of the SDK's.
extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}

bool CWinNode::Open(const std::string& path_I)
{
    Close();
    mHandle = ::CreateFileA(path_I.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, mFlags, nullptr);
    return mHandle != INVALID_HANDLE_VALUE;
}

void CWinNode::Close()
{
    if (mHandle != INVALID_HANDLE_VALUE)
        ::CloseHandle(mHandle);
    mHandle = INVALID_HANDLE_VALUE;
}

std::string CWinNode::ParentId(const std::string& path_I, std::uint8_t levels_I) const
{
    return GetAncestorDeviceId(InstanceIdFromInterfacePath(path_I), levels_I);
}

bool CWinHidNode::ReadAttributes(const std::string& /*path_I*/, NodeAttributes& attributes_O)
{
    HIDD_ATTRIBUTES attributes {};
    attributes.Size = sizeof attributes;
    if (!::HidD_GetAttributes(mHandle, &attributes))
        return false;
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!::HidD_GetPreparsedData(mHandle, &preparsed))
        return false;
    HIDP_CAPS caps {};
    const bool read = ::HidP_GetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS;
    ::HidD_FreePreparsedData(preparsed);
    if (!read)
        return false;
    attributes_O.vendorId = attributes.VendorID;
    attributes_O.productId = attributes.ProductID;
    attributes_O.version = attributes.VersionNumber;
    attributes_O.usage = caps.Usage;
    attributes_O.usagePage = caps.UsagePage;
    attributes_O.hasUsages = true;
    return true;
}

bool CWinHidNode::SetFeature(std::vector<std::uint8_t>& buffer_IO)
{
    if (mHandle == INVALID_HANDLE_VALUE || buffer_IO.empty())
        return false;
    return ::HidD_SetFeature(mHandle, buffer_IO.data(), static_cast<ULONG>(buffer_IO.size())) != FALSE;
}

bool CWinHidNode::GetFeature(std::vector<std::uint8_t>& buffer_IO)
{
    if (mHandle == INVALID_HANDLE_VALUE || buffer_IO.empty())
        return false;
    return ::HidD_GetFeature(mHandle, buffer_IO.data(), static_cast<ULONG>(buffer_IO.size())) != FALSE;
}

bool CWinUsbNode::Open(const std::string& path_I)
{
    Close();
    if (!CWinNode::Open(path_I))
        return false;
    if (!::WinUsb_Initialize(mHandle, &mUsbHandle)) {
        mUsbHandle = nullptr;
        return false;
    }
    return true;
}

void CWinUsbNode::Close()
{
    if (mUsbHandle != nullptr)
        ::WinUsb_Free(mUsbHandle);
    mUsbHandle = nullptr;
    CWinNode::Close();
}

bool CWinUsbNode::ReadAttributes(const std::string& /*path_I*/, NodeAttributes& attributes_O)
{
    UCHAR descriptor[18] = {};
    ULONG transferred = 0;
    if (mUsbHandle == nullptr ||
        !::WinUsb_GetDescriptor(mUsbHandle, 1, 0, 0, descriptor, sizeof descriptor, &transferred) ||
        transferred != sizeof descriptor)
        return false;
    attributes_O.vendorId = GetU16LE(&descriptor[8]);
    attributes_O.productId = GetU16LE(&descriptor[10]);
    attributes_O.version = GetU16LE(&descriptor[12]);
    return true;
}

bool CWinUsbNode::ControlTransfer(const std::vector<std::uint8_t>& setup_I)
{
    UsbSetupPacket packet;
    if (mUsbHandle == nullptr || !UsbSetupPacket::FromBytes(setup_I, packet))
        return false;
    WINUSB_SETUP_PACKET setup {};
    setup.RequestType = packet.requestType;
    setup.Request = packet.request;
    setup.Value = packet.value;
    setup.Index = packet.index;
    setup.Length = packet.length;
    UCHAR buffer[kBulkControlBufferLength] = {}; // scratch: the answer is not used
    ULONG transferred = 0;
    return ::WinUsb_ControlTransfer(mUsbHandle, setup, buffer, static_cast<ULONG>(kBulkControlBufferLength),
                                    &transferred, nullptr) != FALSE;
}
