#include "CSimBulkFLDeviceInterface.h"

#include "FWUpdater/ByteOrder.h"

CSimBulkFLDeviceInterface::CSimBulkFLDeviceInterface(const std::string& path_I, std::shared_ptr<CSimHost> host_I,
                                                     int interfaceKind_I)
    : CBulkFLDeviceInterface(path_I, interfaceKind_I), mHost(std::move(host_I))
{
}

CSimBulkFLDeviceInterface::~CSimBulkFLDeviceInterface()
{
    // Not through the virtual slot: the handles are this class's own.
    if (mHost && mUsbHandle != 0)
        mHost->UsbFree(mUsbHandle);
    if (mHost && mHandle != 0)
        mHost->CloseHandle(mHandle);
}

bool CSimBulkFLDeviceInterface::Open()
{
    if (IsConnected())
        return true;
    Close();
    if (!mHost)
        return false;
    mHandle = mHost->OpenPath(path);
    if (mHandle == 0) {
        isOpen = false;
        return false;
    }
    mUsbHandle = mHost->UsbInitialize(mHandle);
    isOpen = mUsbHandle != 0;
    return isOpen;
}

void CSimBulkFLDeviceInterface::Close()
{
    if (mHost && mUsbHandle != 0)
        mHost->UsbFree(mUsbHandle);
    if (mHost && mHandle != 0)
        mHost->CloseHandle(mHandle);
    mUsbHandle = 0;
    mHandle = 0;
    isOpen = false;
}

bool CSimBulkFLDeviceInterface::ReadAttributes()
{
    if (!Open())
        return false;
    std::vector<std::uint8_t> descriptor(18, 0);
    std::size_t transferred = 0;
    const bool read = mHost->UsbGetDescriptor(mUsbHandle, 1, 0, 0, descriptor, transferred) && transferred == 18;
    if (read) {
        vendorId = GetU16LE(&descriptor[8]);
        productId = GetU16LE(&descriptor[10]);
        version = GetU16LE(&descriptor[12]);
    }
    Close();
    return read;
}

std::string CSimBulkFLDeviceInterface::GetParentDeviceId(std::uint8_t levels_I)
{
    return mHost ? mHost->GetDeviceId(path, levels_I) : std::string();
}

bool CSimBulkFLDeviceInterface::RawWriteFeature(const std::vector<std::uint8_t>& setup_I)
{
    if (!MayTransfer(setup_I) || mUsbHandle == 0)
        return false;
    std::vector<std::uint8_t> buffer(kBulkControlBufferLength, 0); // its contents are not used
    std::size_t transferred = 0;
    return mHost->UsbControlTransfer(mUsbHandle, setup_I, buffer, transferred);
}

bool CSimBulkFLDeviceInterface::RawReadFeature(std::vector<std::uint8_t>& setup_IO)
{
    return RawWriteFeature(setup_IO);
}
