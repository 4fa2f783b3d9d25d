#include "FWUpdater/CHIDFLDeviceInterface.h"

CHIDFLDeviceInterface::CHIDFLDeviceInterface(const std::string& path_I, int interfaceKind_I)
    : CFLDeviceInterface(path_I, interfaceKind_I)
{
}

bool CHIDFLDeviceInterface::SwitchToBLMode()
{
    if (IsFirmwareLoader()) {
        Close();
        return false;
    }
    if (!Open()) {
        Close();
        return false;
    }
    // Both are always sent: boards differ in which of the two orders they accept.
    const bool first = SafeWrite({eBL_HID_REP_ENTER_LOADER_ID, 0x05, 0x6A});
    const bool second = SafeWrite({eBL_HID_REP_ENTER_LOADER_ID, 0x6A, 0x05});
    Close();
    return first || second;
}

bool CHIDFLDeviceInterface::SwitchFromBLMode()
{
    if (!IsOpen() || !IsFirmwareLoader())
        return false;
    return ExitLoader();
}

bool CHIDFLDeviceInterface::IsConnected()
{
    if (!IsOpen())
        return false;
    if (IsFirmwareLoader()) {
        std::uint32_t status = 0;
        return ReadStatus(status);
    }
    return SafeWrite({eBL_HID_REP_PING_ID, 0x00});
}

bool CHIDFLDeviceInterface::SendReset()
{
    if (!IsOpen() || IsFirmwareLoader())
        return false;
    return SafeWrite({eBL_HID_REP_RESET_ID, 0x01, 0x00, 0xAA, 0xAA});
}
