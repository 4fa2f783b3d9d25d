#include "FWUpdater/CBulkFLDeviceInterface.h"

#include "FWUpdater/ByteOrder.h"

std::vector<std::uint8_t> UsbSetupPacket::Bytes() const
{
    std::vector<std::uint8_t> bytes(kUsbSetupPacketLength, 0);
    bytes[0] = requestType;
    bytes[1] = request;
    PutU16LE(bytes, 2, value);
    PutU16LE(bytes, 4, index);
    PutU16LE(bytes, 6, length);
    return bytes;
}

bool UsbSetupPacket::FromBytes(const std::vector<std::uint8_t>& bytes_I, UsbSetupPacket& packet_O)
{
    if (bytes_I.size() != kUsbSetupPacketLength)
        return false;
    packet_O.requestType = bytes_I[0];
    packet_O.request = bytes_I[1];
    packet_O.value = GetU16LE(&bytes_I[2]);
    packet_O.index = GetU16LE(&bytes_I[4]);
    packet_O.length = GetU16LE(&bytes_I[6]);
    return true;
}

UsbSetupPacket BulkEnterLoaderRequest() { return UsbSetupPacket{0x41, 0xF0, 0xFFFF, 0, 0}; }
UsbSetupPacket BulkLivenessRequest() { return UsbSetupPacket{0xC1, 0x01, 0, 0, 2}; }
UsbSetupPacket BulkResetRequest() { return UsbSetupPacket{0x41, 0xF5, 0xFFFF, 0, 0}; }

CBulkFLDeviceInterface::CBulkFLDeviceInterface(const std::string& path_I, int interfaceKind_I)
    : CFLDeviceInterface(path_I, interfaceKind_I)
{
}

bool CBulkFLDeviceInterface::MayTransfer(const std::vector<std::uint8_t>& setup_I)
{
    UsbSetupPacket setup;
    // A data stage longer than the host buffer would let the device write past it.
    return IsOpen() && !IsFirmwareLoader() && UsbSetupPacket::FromBytes(setup_I, setup) &&
           setup.length <= kBulkControlBufferLength;
}

bool CBulkFLDeviceInterface::Request(const UsbSetupPacket& setup_I)
{
    return RawWriteFeature(setup_I.Bytes());
}

bool CBulkFLDeviceInterface::SwitchToBLMode()
{
    if (IsFirmwareLoader()) {
        Close();
        return false;
    }
    bool sent = false;
    if (Open())
        sent = Request(BulkEnterLoaderRequest());
    Close();
    return sent;
}

bool CBulkFLDeviceInterface::SwitchFromBLMode()
{
    return false;
}

bool CBulkFLDeviceInterface::IsConnected()
{
    if (!IsOpen() || IsFirmwareLoader())
        return false;
    return Request(BulkLivenessRequest());
}

bool CBulkFLDeviceInterface::SendReset()
{
    if (!IsOpen() || IsFirmwareLoader())
        return false;
    return Request(BulkResetRequest());
}

bool CBulkFLDeviceInterface::WriteFeature(const std::vector<std::uint8_t>& report_I)
{
    if (!IsOpen() || IsFirmwareLoader() || report_I.size() != 5)
        return false;
    UsbSetupPacket setup;
    setup.requestType = report_I[0];
    setup.request = report_I[1];
    setup.value = report_I[3];
    setup.index = report_I[2];
    setup.length = report_I[4];
    return Request(setup);
}

bool CBulkFLDeviceInterface::ReadFeature(std::vector<std::uint8_t>& report_IO)
{
    return WriteFeature(report_IO);
}
