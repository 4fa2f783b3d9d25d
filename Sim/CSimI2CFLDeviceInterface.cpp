#include "CSimI2CFLDeviceInterface.h"

#include "FWUpdater/HIDVendorWrapper.h"

CSimI2CFLDeviceInterface::CSimI2CFLDeviceInterface(const std::string& path_I, std::shared_ptr<CSimHost> host_I,
                                                   int interfaceKind_I)
    : CI2CFLDeviceInterface(path_I, interfaceKind_I), mHost(std::move(host_I))
{
}

CSimI2CFLDeviceInterface::~CSimI2CFLDeviceInterface()
{
    // Not through the virtual slot: the handle is this class's own.
    if (mHandle != 0 && mHost)
        mHost->CloseHandle(mHandle);
}

bool CSimI2CFLDeviceInterface::Open()
{
    if (IsConnected())
        return true;
    Close();
    if (mHost)
        mHandle = mHost->OpenPath(path);
    isOpen = mHandle != 0;
    return isOpen;
}

void CSimI2CFLDeviceInterface::Close()
{
    if (mHandle != 0 && mHost)
        mHost->CloseHandle(mHandle);
    mHandle = 0;
    isOpen = false;
}

bool CSimI2CFLDeviceInterface::ReadAttributes()
{
    if (!Open())
        return false;
    std::uint16_t vid = 0, pid = 0, ver = 0;
    if (!mHost->GetAttributes(mHandle, vid, pid, ver)) {
        Close();
        return false;
    }
    vendorId = vid;
    productId = pid;
    version = ver;
    std::uint16_t u = 0, page = 0;
    if (!mHost->GetCaps(mHandle, u, page)) {
        Close();
        return false;
    }
    usage = u;
    usagePage = page;
    Close();
    return true;
}

std::string CSimI2CFLDeviceInterface::GetParentDeviceId(std::uint8_t levels_I)
{
    return mHost ? mHost->GetDeviceId(path, levels_I) : std::string();
}

bool CSimI2CFLDeviceInterface::RawWriteFeature(const std::vector<std::uint8_t>& report_I)
{
    if (mHandle == 0)
        return false;
    return HIDSetFeature(usagePage, report_I,
                         [this](std::vector<std::uint8_t>& buffer) { return mHost->SetFeature(mHandle, buffer); });
}

bool CSimI2CFLDeviceInterface::RawReadFeature(std::vector<std::uint8_t>& report_IO)
{
    if (mHandle == 0)
        return false;
    return HIDGetFeature(usagePage, report_IO,
                         [this](std::vector<std::uint8_t>& buffer) { return mHost->GetFeature(mHandle, buffer); });
}
