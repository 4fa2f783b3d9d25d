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
class CSimHost : public std::enable_shared_from_this<CSimHost>
{
public:
    using Handle = std::uint64_t; // 0 = invalid, like INVALID_HANDLE_VALUE
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
    bool SetFeature(Handle handle_I, const std::vector<std::uint8_t>& buffer_I);        // HidD_SetFeature
    bool GetFeature(Handle handle_I, std::vector<std::uint8_t>& buffer_IO);             // HidD_GetFeature

    // Test side.
    std::vector<SimWireRecord> Transcript() const;
    std::size_t TranscriptSize() const;
    void ClearTranscript();
    void SetTranscriptEnabled(bool enabled_I);
    void SetWireTamper(WireTamper tamper_I);
    int OpenCount(const std::string& path_I) const; // successful opens so far
    int OpenHandles() const;

private:
    struct Node
    {
        SimHidNodeInfo info;
        std::shared_ptr<CSimHidDevice> device;
        bool present = true;
    };
    std::shared_ptr<Node> NodeOf(Handle handle_I) const;
    void Record(ESimWireDirection direction_I, const std::string& path_I, const std::vector<std::uint8_t>& bytes_I,
                bool ok_I);
    void Notify(const SimHostEvent& event_I);

    mutable std::mutex mMutex;
    std::map<std::string, std::shared_ptr<Node>> mNodes;
    std::map<Handle, std::shared_ptr<Node>> mHandles;
    Handle mNextHandle = 1;
    std::map<std::string, int> mOpenCounts;
    std::vector<Listener> mListeners;
    std::vector<SimWireRecord> mTranscript;
    bool mTranscriptEnabled = true;
    WireTamper mTamper;
};

// The device-side framing of the vendor page, written apart from the host's own so that a
// fault in one cannot hide in the other.
bool SimUnwrapVendorReport(const std::vector<std::uint8_t>& wrapped_I, std::vector<std::uint8_t>& inner_O);
std::vector<std::uint8_t> SimWrapVendorReport(const std::vector<std::uint8_t>& inner_I);
