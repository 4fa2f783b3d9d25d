#pragma once
// The simulator's node under every platform class: a handle of the simulated host, opened on the
// interface's path, standing where the Windows node's CreateFileA handle stands. The HID node
// (HID and I2C classes) adds the HID class driver's calls, the USB node (bulk class) the WinUSB
// claim and its calls. Not copyable; closes on destruction.

#include "CSimHost.h"
#include "FWUpdater/CNodeFLDeviceInterface.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CSimNode
{
public:
    explicit CSimNode(std::shared_ptr<CSimHost> host_I) : mHost(std::move(host_I)) {}
    ~CSimNode() { Close(); }
    CSimNode(const CSimNode&) = delete;
    CSimNode& operator=(const CSimNode&) = delete;

    bool Open(const std::string& path_I);
    void Close();
    bool IsOpen() const { return mHandle != 0; }
    std::string ParentId(const std::string& path_I, std::uint8_t levels_I) const;

protected:
    std::shared_ptr<CSimHost> mHost;
    CSimHost::Handle mHandle = 0;
};

class CSimHidNode : public CSimNode
{
public:
    using CSimNode::CSimNode;

    // Ids (HidD_GetAttributes), then usage and page (HidP_GetCaps).
    bool ReadAttributes(const std::string& path_I, NodeAttributes& attributes_O);
    bool SetFeature(std::vector<std::uint8_t>& buffer_IO);
    // The simulated host hands a GET's whole buffer to the board, so a wrapped request needs
    // nothing before it.
    static constexpr bool kGetCarriesOnlyReportId = false;
    bool GetFeature(std::vector<std::uint8_t>& buffer_IO);

private:
    SimFeatureScratch mScratch;
};

class CSimUsbNode : public CSimNode
{
public:
    using CSimNode::CSimNode;
    ~CSimUsbNode() { Close(); }

    // Opens the path and claims the interface; a refused claim leaves the file handle until
    // Close.
    bool Open(const std::string& path_I);
    void Close();
    bool IsOpen() const { return mUsbHandle != 0; }
    // The 18-byte device descriptor: vendor, product, release.
    bool ReadAttributes(const std::string& path_I, NodeAttributes& attributes_O);
    bool ControlTransfer(const std::vector<std::uint8_t>& setup_I);

private:
    CSimHost::UsbHandle mUsbHandle = 0;
};
