#pragma once
// A board reached through HID feature reports directly. The variant owns the mode switches,
// the liveness check and the reset; the platform class below it supplies open, close,
// attributes, the parent id and one feature SET/GET (through HIDSetFeature/HIDGetFeature of
// HIDVendorWrapper.h, which applies the vendor-page wrapper).

#include "FWUpdater/CFLDeviceInterface.h"

class CHIDFLDeviceInterface : public CFLDeviceInterface
{
public:
    explicit CHIDFLDeviceInterface(const std::string& path_I, int interfaceKind_I = eInterfaceKindHID);

    // Opens, sends both enter-loader reports, closes. False when already in loader mode.
    bool SwitchToBLMode() override;
    // The exit-loader report; needs an open loader interface.
    bool SwitchFromBLMode() override;
    // Loader mode: the status report answers; normal mode: a ping is accepted.
    bool IsConnected() override;
    // Normal mode only.
    bool SendReset() override;
};
