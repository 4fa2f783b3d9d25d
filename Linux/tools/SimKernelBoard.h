#pragma once
// A simulated board's node as a real kernel sees it, shared by the tools that make simulated
// tablets real devices (vfwu-uhid-tablet through /dev/uhid, vfwu-usb-gadget through a USB
// gadget): the report descriptor the kernel parses, and the feature SET/GET requests that
// arrive from the kernel answered by the simulated board behind the node.
//
// A GET on a real wire carries only the report id. On the vendor page the host therefore names
// the inner report it wants with a wrapped SET first (see CLinuxHIDFLDeviceInterface); the board
// keeps that request and answers the next wrapper GET with it.
//
// A node of the bulk loader's USB class (a vendor-class interface) has no report descriptor: it
// is claimed as the operating system claims it and takes control transfers instead.

#include "CSimHost.h"
#include "SimHidDescriptors.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CSimKernelBoard
{
public:
    // Opens a handle on the node; IsOpen() is false when the node has already gone.
    CSimKernelBoard(std::shared_ptr<CSimHost> host_I, const SimHidNodeInfo& info_I);
    ~CSimKernelBoard();
    CSimKernelBoard(const CSimKernelBoard&) = delete;
    CSimKernelBoard& operator=(const CSimKernelBoard&) = delete;

    bool IsOpen() const { return mHandle != 0; }
    const SimHidNodeInfo& Info() const { return mInfo; }
    // A vendor-class USB interface (bulk loader's class) rather than a HID one.
    bool IsVendorInterface() const { return mInfo.interfaceClass == ESimInterfaceClass::eBulkLoader; }
    // The whole report descriptor: the board's collection with its feature reports and, outside
    // the vendor page, a pen collection so the kernel's input layer makes an input device of it.
    const std::vector<std::uint8_t>& ReportDescriptor() const { return mDescriptor; }

    // A GET_REPORT of feature report id_I: answer_O is the whole report, id first.
    bool GetFeature(std::uint8_t id_I, std::vector<std::uint8_t>& answer_O);
    // A SET_REPORT of a feature report (byte 0 = id).
    bool SetFeature(const std::vector<std::uint8_t>& report_I);
    // One control transfer on a vendor-class interface: setup_I is the 8-byte setup packet;
    // in_O is the device-to-host data stage (at most wLength bytes). False = the board stalls.
    bool ControlTransfer(const std::vector<std::uint8_t>& setup_I, std::vector<std::uint8_t>& in_O);

private:
    std::size_t DeclaredLength(std::uint8_t id_I) const;

    std::shared_ptr<CSimHost> mHost;
    SimHidNodeInfo mInfo;
    CSimHost::Handle mHandle = 0;
    CSimHost::UsbHandle mUsb = 0; // the claim on a vendor-class interface
    std::vector<SimFeatureReport> mFeatures;
    std::vector<std::uint8_t> mDescriptor;
    std::vector<std::uint8_t> mPending; // the wrapped read request the next wrapper GET answers
};

// The simulated bus's arrivals and removals of HID nodes (and, with usbNodes_I, of the bulk
// loader's USB nodes too), queued for a poll loop: Fd() becomes readable when events wait;
// Take() empties it and returns them in order.
class CSimKernelBusEvents
{
public:
    explicit CSimKernelBusEvents(CSimHost& host_I, bool usbNodes_I = false);
    ~CSimKernelBusEvents();
    CSimKernelBusEvents(const CSimKernelBusEvents&) = delete;
    CSimKernelBusEvents& operator=(const CSimKernelBusEvents&) = delete;

    int Fd() const { return mWake; }
    std::deque<SimHostEvent> Take();

private:
    int mWake = -1;
    std::mutex mMutex;
    std::deque<SimHostEvent> mEvents;
};
