#pragma once
// The simulated operating system's view of HID devices: the nodes present by path (with the
// ids and usages the HID class driver reports and the device-tree ids above them), file
// handles on them, one feature SET/GET per call, and a transcript of every report on the wire.
//
// A node's device sees inner reports: on usage page 0xFF00 the node itself removes the
// vendor wrapper from a SET and puts it around a GET answer, as the board's firmware does.
// Nodes come and go (AddNode/RemoveNode, or scheduled on the clock); a handle opened on a node
// that has gone stays dead even when a node with the same path appears again, as a file handle
// on a re-enumerated device does. Listeners hear every arrival and removal.
//
// Besides HID nodes the host offers USB interface nodes of the bulk loader's class, driven the
// way WinUSB drives them: open the path, claim the interface, read the device descriptor, issue
// control transfers. HID calls on a USB node fail and USB calls on a HID node fail, as they do
// on a real system.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// What stands behind a node: a board in one of its modes.
class CSimHidDevice
{
public:
    virtual ~CSimHidDevice() = default;
    // One SET of an inner report (byte 0 = id). False = the device stalls the request.
    virtual bool SetFeature(const std::vector<std::uint8_t>& report_I) = 0;
    // One GET: request_I holds the wanted id and length. The answer may have any length; the
    // host copies what fits into the caller's buffer.
    virtual bool GetFeature(const std::vector<std::uint8_t>& request_I, std::vector<std::uint8_t>& answer_O) = 0;
};

// A USB interface driven by control transfers (the bulk loader's interface class).
class CSimUsbDevice
{
public:
    virtual ~CSimUsbDevice() = default;
    // One control transfer; setup_I is the 8-byte setup packet. For a device-to-host request
    // the device puts its data stage in in_O (the host copies what fits the caller's buffer and
    // the request's wLength). False = the device stalls the request.
    virtual bool ControlTransfer(const std::vector<std::uint8_t>& setup_I, std::vector<std::uint8_t>& in_O) = 0;
};

// The interface class a node is enumerated under.
enum class ESimInterfaceClass
{
    eHid,        // HID class: feature reports
    eBulkLoader, // the bulk loader's USB class: control transfers through WinUSB
};

struct SimHidNodeInfo
{
    std::string path;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t version = 0;
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    // parentIds[0] is the node's own instance id, [1] its parent's, and so on up the tree.
    std::vector<std::string> parentIds;
    // Set by AddNode (HID) and AddUsbNode (bulk loader).
    ESimInterfaceClass interfaceClass = ESimInterfaceClass::eHid;
};

enum class ESimWireDirection
{
    eSet, // host to device
    eGet, // device to host
};

// One report as it crossed the OS boundary: for a SET the bytes sent, for a GET the bytes
// received (the request as sent when the GET failed). Wrapped where the node wraps.
struct SimWireRecord
{
    ESimWireDirection direction = ESimWireDirection::eSet;
    std::string path;
    std::vector<std::uint8_t> bytes;
    bool ok = false;
    // A USB control transfer: bytes are the 8-byte setup packet, followed for a device-to-host
    // request by the data received.
    bool control = false;
};

struct SimHostEvent
{
    enum EKind
    {
        eArrival,
        eRemoval,
    } kind = eArrival;
    SimHidNodeInfo node;
};

// Hold it in a shared pointer: scheduled arrivals and removals keep only a weak reference.
// The buffers of one node's feature calls, kept between reports: without them every report cost
// several allocations (a 1 KiB one on the vendor page), most of a simulated report's time. Kept by
// the caller, not thread_local: the Windows build's thread_local destructors crash at thread exit.
struct SimFeatureScratch
{
    std::vector<std::uint8_t> inner;
    std::vector<std::uint8_t> innerAnswer;
    std::vector<std::uint8_t> answer;
};

class CSimHost : public std::enable_shared_from_this<CSimHost>
{
public:
    using Handle = std::uint64_t; // 0 = invalid, like INVALID_HANDLE_VALUE
    using UsbHandle = std::uint64_t; // 0 = invalid, like a failed WinUsb_Initialize
    using Listener = std::function<void(const SimHostEvent&)>;
    // Sees (and may change) the raw bytes of every GET answer before the caller does, and may
    // turn the result into a failure: for faults of the transport rather than of the device.
    using WireTamper = std::function<void(const std::string& path, std::vector<std::uint8_t>& bytes, bool& ok)>;

    CSimHost() = default;
    CSimHost(const CSimHost&) = delete;
    CSimHost& operator=(const CSimHost&) = delete;

    // Bus side.
    void AddNode(const SimHidNodeInfo& info_I, std::shared_ptr<CSimHidDevice> device_I);
    bool RemoveNode(const std::string& path_I);
    void ScheduleAddNode(std::uint32_t delayMs_I, const SimHidNodeInfo& info_I, std::shared_ptr<CSimHidDevice> device_I);
    void ScheduleRemoveNode(std::uint32_t delayMs_I, const std::string& path_I);
    // A node of the bulk loader's USB class.
    void AddUsbNode(const SimHidNodeInfo& info_I, std::shared_ptr<CSimUsbDevice> device_I);
    void ScheduleAddUsbNode(std::uint32_t delayMs_I, const SimHidNodeInfo& info_I,
                            std::shared_ptr<CSimUsbDevice> device_I);
    bool IsPresent(const std::string& path_I) const;
    // Changes what a present node reports (e.g. its version after a board restarted in place),
    // without a removal or arrival. False when the node is not present.
    bool UpdateNodeInfo(const SimHidNodeInfo& info_I);
    std::vector<SimHidNodeInfo> Nodes() const;
    void AddListener(Listener listener_I);

    // OS side, one call per platform function the HID class uses.
    Handle OpenPath(const std::string& path_I);                                        // CreateFileA
    void CloseHandle(Handle handle_I);                                                  // CloseHandle
    bool GetAttributes(Handle handle_I, std::uint16_t& vendorId_O, std::uint16_t& productId_O,
                       std::uint16_t& version_O);                                       // HidD_GetAttributes
    bool GetCaps(Handle handle_I, std::uint16_t& usage_O, std::uint16_t& usagePage_O); // HidP_GetCaps
    std::string GetDeviceId(const std::string& path_I, std::uint8_t levels_I) const;    // CM_Get_Parent walk
    // The feature calls take the caller's scratch buffers (kept between reports by the node) or,
    // without them, use their own.
    bool SetFeature(Handle handle_I, const std::vector<std::uint8_t>& buffer_I,
                    SimFeatureScratch* scratch_IO = nullptr);                           // HidD_SetFeature
    bool GetFeature(Handle handle_I, std::vector<std::uint8_t>& buffer_IO,
                    SimFeatureScratch* scratch_IO = nullptr);                           // HidD_GetFeature
    // WinUSB: claim the interface behind an open file handle (one claim per node at a time).
    UsbHandle UsbInitialize(Handle handle_I);                                          // WinUsb_Initialize
    void UsbFree(UsbHandle usb_I);                                                      // WinUsb_Free
    // Descriptor type 1 (device), index 0: the 18-byte device descriptor, built from the node's
    // ids. transferred_O = bytes copied into buffer_IO (its size is the caller's buffer).
    bool UsbGetDescriptor(UsbHandle usb_I, std::uint8_t type_I, std::uint8_t index_I, std::uint16_t language_I,
                          std::vector<std::uint8_t>& buffer_IO, std::size_t& transferred_O); // WinUsb_GetDescriptor
    // One control transfer: setup_I is the 8-byte setup packet; buffer_IO is the caller's data
    // buffer (never written past its size or past wLength).
    bool UsbControlTransfer(UsbHandle usb_I, const std::vector<std::uint8_t>& setup_I,
                            std::vector<std::uint8_t>& buffer_IO, std::size_t& transferred_O); // WinUsb_ControlTransfer

    // Test side.
    std::vector<SimWireRecord> Transcript() const;
    std::size_t TranscriptSize() const;
    void ClearTranscript();
    void SetTranscriptEnabled(bool enabled_I);
    void SetWireTamper(WireTamper tamper_I);
    int OpenCount(const std::string& path_I) const; // successful opens so far
    int OpenHandles() const;
    int ClaimedUsbHandles() const;
    // Makes WinUsb_Initialize fail on a path (a driver that does not bind).
    void RefuseUsbClaims(const std::string& path_I, bool refuse_I);

private:
    struct Node
    {
        SimHidNodeInfo info;
        std::shared_ptr<CSimHidDevice> device;    // HID nodes
        std::shared_ptr<CSimUsbDevice> usbDevice; // bulk loader nodes
        bool present = true;
        bool claimed = false;
    };
    void AddAnyNode(const SimHidNodeInfo& info_I, std::shared_ptr<CSimHidDevice> device_I,
                    std::shared_ptr<CSimUsbDevice> usbDevice_I);
    std::shared_ptr<Node> NodeOfUsb(UsbHandle usb_I) const;
    std::shared_ptr<Node> NodeOf(Handle handle_I) const;
    void Record(ESimWireDirection direction_I, const std::string& path_I, const std::vector<std::uint8_t>& bytes_I,
                bool ok_I, bool control_I = false);
    void Notify(const SimHostEvent& event_I);

    mutable std::mutex mMutex;
    std::map<std::string, std::shared_ptr<Node>> mNodes;
    std::map<Handle, std::shared_ptr<Node>> mHandles;
    Handle mNextHandle = 1;
    struct UsbClaim
    {
        Handle file = 0;
        std::shared_ptr<Node> node;
    };
    std::map<UsbHandle, UsbClaim> mUsbHandles;
    UsbHandle mNextUsbHandle = 1;
    std::map<std::string, bool> mRefusedClaims;
    std::map<std::string, int> mOpenCounts;
    std::vector<Listener> mListeners;
    std::vector<SimWireRecord> mTranscript;
    // Read without the lock on every report: a harness sending millions keeps both off.
    std::atomic<bool> mTranscriptEnabled{true};
    std::atomic<bool> mTampered{false};
    std::shared_ptr<const WireTamper> mTamper; // shared: a report copies a pointer, not the function
};

// The device-side framing of the vendor page, written apart from the host's own so that a
// fault in one cannot hide in the other.
bool SimUnwrapVendorReport(const std::vector<std::uint8_t>& wrapped_I, std::vector<std::uint8_t>& inner_O);
void SimWrapVendorReport(const std::vector<std::uint8_t>& inner_I, std::vector<std::uint8_t>& wrapped_O);
