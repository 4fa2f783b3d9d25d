#include "CWinBulkFLDeviceInterface.h"

#include "FWUpdater/ByteOrder.h"
#include "WinDeviceTree.h"

CWinBulkFLDeviceInterface::CWinBulkFLDeviceInterface(const std::string& path_I, int interfaceKind_I)
    : CBulkFLDeviceInterface(path_I, interfaceKind_I)
{
}

CWinBulkFLDeviceInterface::~CWinBulkFLDeviceInterface()
{
    // Not through the virtual slot: the handles are this class's own.
    if (mUsbHandle != nullptr)
        ::WinUsb_Free(mUsbHandle);
    if (mHandle != INVALID_HANDLE_VALUE)
        ::CloseHandle(mHandle);
}

bool CWinBulkFLDeviceInterface::Open()
{
    if (IsConnected())
        return true;
    Close();
    mHandle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (mHandle == INVALID_HANDLE_VALUE) {
        isOpen = false;
        return false;
    }
    // A refused claim leaves the file handle until Close.
    if (!::WinUsb_Initialize(mHandle, &mUsbHandle)) {
        mUsbHandle = nullptr;
        isOpen = false;
        return false;
    }
    isOpen = true;
    return true;
}

void CWinBulkFLDeviceInterface::Close()
{
    if (mUsbHandle != nullptr)
        ::WinUsb_Free(mUsbHandle);
    if (mHandle != INVALID_HANDLE_VALUE)
        ::CloseHandle(mHandle);
    mUsbHandle = nullptr;
    mHandle = INVALID_HANDLE_VALUE;
    isOpen = false;
}

bool CWinBulkFLDeviceInterface::ReadAttributes()
{
    if (!Open())
        return false;
    UCHAR descriptor[18] = {};
    ULONG transferred = 0;
    const bool read = ::WinUsb_GetDescriptor(mUsbHandle, 1, 0, 0, descriptor, sizeof descriptor, &transferred) &&
                      transferred == sizeof descriptor;
    if (read) {
        vendorId = GetU16LE(&descriptor[8]);
        productId = GetU16LE(&descriptor[10]);
        version = GetU16LE(&descriptor[12]);
    }
    Close();
    return read;
}

std::string CWinBulkFLDeviceInterface::GetParentDeviceId(std::uint8_t levels_I)
{
    return GetAncestorDeviceId(InstanceIdFromInterfacePath(path), levels_I);
}

bool CWinBulkFLDeviceInterface::RawWriteFeature(const std::vector<std::uint8_t>& setup_I)
{
    UsbSetupPacket packet;
    if (!MayTransfer(setup_I) || mUsbHandle == nullptr || !UsbSetupPacket::FromBytes(setup_I, packet))
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

bool CWinBulkFLDeviceInterface::RawReadFeature(std::vector<std::uint8_t>& setup_IO)
{
    return RawWriteFeature(setup_IO);
}
