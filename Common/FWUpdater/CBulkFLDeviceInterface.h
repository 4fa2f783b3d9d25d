#pragma once
// A board reached through a USB interface driven by vendor control requests: enter loader,
// liveness check and reset. It carries no loader traffic: every transfer is refused while the
// interface is marked as a loader. The platform class supplies open, close, attributes (from
// the device descriptor), the parent id and one control transfer (RawWriteFeature/
// RawReadFeature, both the same operation).

#include "FWUpdater/CFLDeviceInterface.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// An 8-byte USB setup packet: bmRequestType, bRequest, wValue, wIndex, wLength (little-endian).
constexpr std::size_t kUsbSetupPacketLength = 8;
// The host buffer of every control transfer; no request may ask for more.
constexpr std::size_t kBulkControlBufferLength = 128;

struct UsbSetupPacket
{
    std::uint8_t requestType = 0;
    std::uint8_t request = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
    std::uint16_t length = 0;

    std::vector<std::uint8_t> Bytes() const;
    // False unless the buffer holds exactly 8 bytes.
    static bool FromBytes(const std::vector<std::uint8_t>& bytes_I, UsbSetupPacket& packet_O);
};

// The three requests the bulk board understands.
UsbSetupPacket BulkEnterLoaderRequest(); // 0x41 0xF0 wValue 0xFFFF
UsbSetupPacket BulkLivenessRequest();    // 0xC1 0x01 wLength 2
UsbSetupPacket BulkResetRequest();       // 0x41 0xF5 wValue 0xFFFF

class CBulkFLDeviceInterface : public CFLDeviceInterface
{
public:
    explicit CBulkFLDeviceInterface(const std::string& path_I, int interfaceKind_I = eInterfaceKindBULK);

    // Opens, sends the enter-loader request, closes. False when already in loader mode.
    bool SwitchToBLMode() override;
    // The board leaves its loader by itself: false, nothing sent.
    bool SwitchFromBLMode() override;
    // Open and not in loader mode: the liveness request.
    bool IsConnected() override;
    // Open and not in loader mode: the reset request.
    bool SendReset() override;
    // Exactly 5 bytes describing one control request: bmRequestType, bRequest, wIndex,
    // wValue, wLength (in that order). ReadFeature is the same operation.
    bool WriteFeature(const std::vector<std::uint8_t>& report_I) override;
    bool ReadFeature(std::vector<std::uint8_t>& report_IO) override;

    // One control transfer with this 8-byte setup packet and the 128-byte host buffer;
    // open and not in loader mode required. Both slots are the same operation.
    virtual bool RawWriteFeature(const std::vector<std::uint8_t>& setup_I) = 0;
    virtual bool RawReadFeature(std::vector<std::uint8_t>& setup_IO) = 0;

protected:
    // Whether a control transfer may go out now; platform classes check it before any I/O.
    bool MayTransfer(const std::vector<std::uint8_t>& setup_I);

private:
    bool Request(const UsbSetupPacket& setup_I);
};
