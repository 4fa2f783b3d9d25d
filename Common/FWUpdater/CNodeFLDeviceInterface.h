#pragma once
// The transport slots every platform class fills the same way, written once over the node of
// its operating system. A platform class (CWinHIDFLDeviceInterface, CLinuxI2CFLDeviceInterface,
// CSimBulkFLDeviceInterface, ...) is a thin face: it names its node and passes its constructor
// arguments on; open, close, attributes, the parent id and the raw transfers live here and in
// the node, once per operating system, instead of once per class.
//
// A node holds the OS handle(s) of one interface and closes them when destroyed. Every node has
//   bool Open(const std::string& path_I);   // the interface's path as discovery reports it
//   void Close();
//   bool IsOpen() const;
//   bool ReadAttributes(const std::string& path_I, NodeAttributes& attributes_O); // needs Open
//   std::string ParentId(const std::string& path_I, std::uint8_t levels_I);
// a HID node (the HID and I2C classes of one system share it) also
//   static constexpr bool kGetCarriesOnlyReportId;  // see NodeGetFeature
//   bool SetFeature(std::vector<std::uint8_t>& buffer_IO);
//   bool GetFeature(std::vector<std::uint8_t>& buffer_IO);  // never lengthens the buffer
// and a USB node (the bulk class) one control transfer on a checked 8-byte setup packet:
//   bool ControlTransfer(const std::vector<std::uint8_t>& setup_I);

#include "FWUpdater/CBulkFLDeviceInterface.h"
#include "FWUpdater/CHIDFLDeviceInterface.h"
#include "FWUpdater/CI2CFLDeviceInterface.h"
#include "FWUpdater/HIDVendorWrapper.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// What a node reads of its interface. A USB node knows no usages: hasUsages false leaves the
// interface's usage and usage page as they are.
struct NodeAttributes
{
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t version = 0;
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    bool hasUsages = false;
};

template <class TVariant, class TNode>
class CNodeFLDeviceInterface : public TVariant
{
public:
    // The arguments after the interface kind construct the node.
    template <class... TNodeArgs>
    CNodeFLDeviceInterface(const std::string& path_I, int interfaceKind_I, TNodeArgs&&... nodeArgs_I)
        : TVariant(path_I, interfaceKind_I), mNode(std::forward<TNodeArgs>(nodeArgs_I)...)
    {
    }

    // Already usable (the liveness check answers) → true; otherwise close and open the path.
    bool Open() override
    {
        if (this->IsConnected())
            return true;
        Close();
        this->isOpen = mNode.Open(this->path);
        return this->isOpen;
    }

    void Close() override
    {
        mNode.Close();
        this->isOpen = false;
    }

    // Opens, reads ids, version (and usages where the node has them), closes. Nothing is
    // changed when the node cannot read them all.
    bool ReadAttributes() override
    {
        if (!Open())
            return false;
        NodeAttributes attributes;
        const bool read = mNode.ReadAttributes(this->path, attributes);
        if (read) {
            this->vendorId = attributes.vendorId;
            this->productId = attributes.productId;
            this->version = attributes.version;
            if (attributes.hasUsages) {
                this->usage = attributes.usage;
                this->usagePage = attributes.usagePage;
            }
        }
        Close();
        return read;
    }

    // The id of the ancestor levels_I up the OS's device tree; empty when there is none.
    std::string GetParentDeviceId(std::uint8_t levels_I) override { return mNode.ParentId(this->path, levels_I); }

protected:
    // One feature SET/GET on a HID node, through the vendor-page wrapper; false when not open.
    bool NodeSetFeature(const std::vector<std::uint8_t>& report_I)
    {
        if (!mNode.IsOpen())
            return false;
        return HIDSetFeature(this->usagePage, report_I,
                             [this](std::vector<std::uint8_t>& buffer) { return mNode.SetFeature(buffer); },
                             &mFeatureBuffers);
    }

    // A GET on a real wire (USB GET_REPORT, the kernel's request to any HID transport, and so
    // the HID class drivers above them) carries only the report id. On the vendor page every
    // report has the wrapper's id, so a node of such a system first SETs the wrapped request:
    // it names the inner report the board answers the GET with.
    bool NodeGetFeature(std::vector<std::uint8_t>& report_IO)
    {
        if (!mNode.IsOpen())
            return false;
        return HIDGetFeature(this->usagePage, report_IO, [this](std::vector<std::uint8_t>& buffer) {
            if (TNode::kGetCarriesOnlyReportId && this->usagePage == kVendorWrapperUsagePage) {
                // The OS may use the SET's buffer as it likes; the GET's stays the request.
                mFeatureBuffers.request.assign(buffer.begin(), buffer.end());
                if (!mNode.SetFeature(mFeatureBuffers.request))
                    return false;
            }
            return mNode.GetFeature(buffer);
        }, &mFeatureBuffers);
    }

    TNode mNode;
    HIDFeatureBuffers mFeatureBuffers;
};

// A board reached through HID feature reports, over the system's HID node.
template <class TNode>
class CHIDNodeFLDeviceInterface : public CNodeFLDeviceInterface<CHIDFLDeviceInterface, TNode>
{
public:
    using CNodeFLDeviceInterface<CHIDFLDeviceInterface, TNode>::CNodeFLDeviceInterface;

    bool WriteFeature(const std::vector<std::uint8_t>& report_I) override { return this->NodeSetFeature(report_I); }
    bool ReadFeature(std::vector<std::uint8_t>& report_IO) override { return this->NodeGetFeature(report_IO); }
};

// A board behind an I2C bridge: the bridge is a HID interface like any other, so its reports go
// through the same HID node.
template <class TNode>
class CI2CNodeFLDeviceInterface : public CNodeFLDeviceInterface<CI2CFLDeviceInterface, TNode>
{
public:
    using CNodeFLDeviceInterface<CI2CFLDeviceInterface, TNode>::CNodeFLDeviceInterface;

    bool RawWriteFeature(const std::vector<std::uint8_t>& report_I) override { return this->NodeSetFeature(report_I); }
    bool RawReadFeature(std::vector<std::uint8_t>& report_IO) override { return this->NodeGetFeature(report_IO); }
};

// A board driven by vendor control requests, over the system's USB node. Both raw slots are the
// same control transfer; MayTransfer is checked before the node is touched.
template <class TNode>
class CBulkNodeFLDeviceInterface : public CNodeFLDeviceInterface<CBulkFLDeviceInterface, TNode>
{
public:
    using CNodeFLDeviceInterface<CBulkFLDeviceInterface, TNode>::CNodeFLDeviceInterface;

    bool RawWriteFeature(const std::vector<std::uint8_t>& setup_I) override
    {
        return this->MayTransfer(setup_I) && this->mNode.ControlTransfer(setup_I);
    }
    bool RawReadFeature(std::vector<std::uint8_t>& setup_IO) override { return RawWriteFeature(setup_IO); }
};
