#include "CSimNode.h"

#include "FWUpdater/ByteOrder.h"

bool CSimNode::Open(const std::string& path_I)
{
    Close();
    if (mHost)
        mHandle = mHost->OpenPath(path_I);
    return mHandle != 0;
}

void CSimNode::Close()
{
    if (mHandle != 0 && mHost)
        mHost->CloseHandle(mHandle);
    mHandle = 0;
}

std::string CSimNode::ParentId(const std::string& path_I, std::uint8_t levels_I) const
{
    return mHost ? mHost->GetDeviceId(path_I, levels_I) : std::string();
}

bool CSimHidNode::ReadAttributes(const std::string& /*path_I*/, NodeAttributes& attributes_O)
{
    if (mHandle == 0)
        return false;
    NodeAttributes read;
    read.hasUsages = true;
    if (!mHost->GetAttributes(mHandle, read.vendorId, read.productId, read.version) ||
        !mHost->GetCaps(mHandle, read.usage, read.usagePage))
        return false;
    attributes_O = read;
    return true;
}

bool CSimHidNode::SetFeature(std::vector<std::uint8_t>& buffer_IO)
{
    return mHandle != 0 && mHost->SetFeature(mHandle, buffer_IO, &mScratch);
}

bool CSimHidNode::GetFeature(std::vector<std::uint8_t>& buffer_IO)
{
    return mHandle != 0 && mHost->GetFeature(mHandle, buffer_IO, &mScratch);
}

bool CSimUsbNode::Open(const std::string& path_I)
{
    Close();
    if (!CSimNode::Open(path_I))
        return false;
    mUsbHandle = mHost->UsbInitialize(mHandle);
    return mUsbHandle != 0;
}

void CSimUsbNode::Close()
{
    if (mHost && mUsbHandle != 0)
        mHost->UsbFree(mUsbHandle);
    mUsbHandle = 0;
    CSimNode::Close();
}

bool CSimUsbNode::ReadAttributes(const std::string& /*path_I*/, NodeAttributes& attributes_O)
{
    if (mUsbHandle == 0)
        return false;
    std::vector<std::uint8_t> descriptor(18, 0);
    std::size_t transferred = 0;
    if (!mHost->UsbGetDescriptor(mUsbHandle, 1, 0, 0, descriptor, transferred) || transferred != 18)
        return false;
    attributes_O.vendorId = GetU16LE(&descriptor[8]);
    attributes_O.productId = GetU16LE(&descriptor[10]);
    attributes_O.version = GetU16LE(&descriptor[12]);
    return true;
}

bool CSimUsbNode::ControlTransfer(const std::vector<std::uint8_t>& setup_I)
{
    if (mUsbHandle == 0)
        return false;
    std::vector<std::uint8_t> buffer(kBulkControlBufferLength, 0); // its contents are not used
    std::size_t transferred = 0;
    return mHost->UsbControlTransfer(mUsbHandle, setup_I, buffer, transferred);
}
