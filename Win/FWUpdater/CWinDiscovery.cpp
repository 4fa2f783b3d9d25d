#include "CWinDiscovery.h"

#include "CWinBulkFLDeviceInterface.h"
#include "CWinHIDFLDeviceInterface.h"
#include "CWinI2CFLDeviceInterface.h"
#include "FWUpdater/InterfaceKind.h"

#include <setupapi.h>

// mingw-w64's HID headers lack the C linkage block of the SDK's.
extern "C" {
#include <hidsdi.h>
}

#include <vector>

std::vector<std::string> EnumerateDeviceInterfacePaths(const GUID& classGuid_I)
{
    std::vector<std::string> paths;
    const HDEVINFO set = ::SetupDiGetClassDevsW(&classGuid_I, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return paths;
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA data {};
        data.cbSize = sizeof data;
        // Any failure ends the walk: an error other than "no more items" would otherwise repeat
        // for ever on the same index.
        if (!::SetupDiEnumDeviceInterfaces(set, nullptr, &classGuid_I, index, &data))
            break;
        DWORD size = 0;
        ::SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &size, nullptr);
        if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
            continue;
        std::vector<std::uint8_t> buffer(size, 0);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
        // The size of the fixed part as this build lays it out (5 on 32-bit Windows, 8 on 64-bit).
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        if (::SetupDiGetDeviceInterfaceDetailA(set, &data, detail, size, nullptr, nullptr))
            paths.emplace_back(detail->DevicePath);
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return paths;
}

std::vector<std::string> CWinDiscovery::EnumerateInterfacePaths(EInterfaceClass class_I)
{
    if (class_I == EInterfaceClass::eHid) {
        GUID hid {};
        ::HidD_GetHidGuid(&hid);
        return EnumerateDeviceInterfacePaths(hid);
    }
    return EnumerateDeviceInterfacePaths(kVellumUsbInterfaceGuid);
}

std::shared_ptr<CFLDeviceInterface> CWinDiscovery::CreateFLDeviceInterface(int kind_I, const std::string& path_I)
{
    switch (kind_I) {
    case eInterfaceKindHID:
        return std::make_shared<CWinHIDFLDeviceInterface>(path_I, eInterfaceKindHID);
    case eInterfaceKindI2C:
        return std::make_shared<CWinI2CFLDeviceInterface>(path_I);
    case eInterfaceKindBULK:
        return std::make_shared<CWinBulkFLDeviceInterface>(path_I);
    default:
        return nullptr;
    }
}
