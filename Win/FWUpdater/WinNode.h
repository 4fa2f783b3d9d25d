#pragma once
// The Windows nodes under the platform classes (see CNodeFLDeviceInterface.h): one file handle
// on the interface path (CreateFileA, read and write access, shared read and write, open
// existing) and the parent id from the configuration manager's device tree. The HID node (HID
// and I2C classes) adds the HID class driver's calls (hid.dll), the USB node (bulk class) the
// WinUSB claim of the tablet's own interface. Not copyable; close on destruction.

#include "FWUpdater/CNodeFLDeviceInterface.h"

#include <windows.h>

#include <winusb.h>

#include <cstdint>
#include <string>
#include <vector>

class CWinNode
{
public:
    explicit CWinNode(DWORD flags_I = 0) : mFlags(flags_I) {}
    ~CWinNode() { Close(); }
    CWinNode(const CWinNode&) = delete;
    CWinNode& operator=(const CWinNode&) = delete;

    bool Open(const std::string& path_I);
    void Close();
    bool IsOpen() const { return mHandle != INVALID_HANDLE_VALUE; }
    std::string ParentId(const std::string& path_I, std::uint8_t levels_I) const;

protected:
    HANDLE mHandle = INVALID_HANDLE_VALUE;

private:
    DWORD mFlags;
};

class CWinHidNode : public CWinNode
{
public:
    // HidD_GetAttributes, then the capabilities' usage and page (preparsed data always freed).
    bool ReadAttributes(const std::string& path_I, NodeAttributes& attributes_O);
    // HidD_GetFeature sends the device the report id alone (a GET_REPORT request), whatever the
    // buffer holds.
    static constexpr bool kGetCarriesOnlyReportId = true;
    // One feature SET/GET on a whole buffer (byte 0 = report id).
    bool SetFeature(std::vector<std::uint8_t>& buffer_IO);
    bool GetFeature(std::vector<std::uint8_t>& buffer_IO);
};

class CWinUsbNode : public CWinNode
{
public:
    CWinUsbNode() : CWinNode(FILE_FLAG_OVERLAPPED) {}
    ~CWinUsbNode() { Close(); }

    // Opens the path (overlapped) and claims the interface; a refused claim leaves the file
    // handle until Close.
    bool Open(const std::string& path_I);
    void Close();
    bool IsOpen() const { return mUsbHandle != nullptr; }
    // The 18-byte device descriptor: vendor, product, bcdDevice.
    bool ReadAttributes(const std::string& path_I, NodeAttributes& attributes_O);
    bool ControlTransfer(const std::vector<std::uint8_t>& setup_I);

private:
    WINUSB_INTERFACE_HANDLE mUsbHandle = nullptr;
};
