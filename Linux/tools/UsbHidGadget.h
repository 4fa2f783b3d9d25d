#pragma once
// What a USB function made of simulated boards says on the wire, apart from the FunctionFS and
// configfs calls that carry it (vfwu-usb-gadget): the descriptors FunctionFS is given, and the
// answer to each control request that reaches the function's ep0. An interface is a HID one, or
// a vendor-class one for a board whose normal interface is of the bulk loader's class.

#include "SimKernelBoard.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The HID class descriptor (9 bytes) announcing one report descriptor of reportLength_I bytes.
std::vector<std::uint8_t> UsbHidClassDescriptor(std::size_t reportLength_I);

// One interface of the function.
struct UsbFunctionInterface
{
    bool vendor = false;          // vendor class (0xFF), driven by control requests only
    std::size_t reportLength = 0; // HID: the report descriptor's length
};

// The FunctionFS descriptor chunk (format version 2) with full- and high-speed copies of the
// interfaces: interface i has local number i; a HID one has interrupt IN endpoint i + 1 and the
// HID descriptor between them (where usbhid looks for it); a vendor one has no endpoint (its
// requests all go through ep0).
std::vector<std::uint8_t> FfsDescriptors(const std::vector<UsbFunctionInterface>& interfaces_I);

// The FunctionFS strings chunk with no strings (every iInterface is 0).
std::vector<std::uint8_t> FfsNoStrings();

// One SETUP packet as FunctionFS hands it over (interface numbers already local), host order.
struct UsbSetup
{
    std::uint8_t requestType = 0;
    std::uint8_t request = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
    std::uint16_t length = 0;
};

struct UsbSetupAnswer
{
    enum EAction
    {
        eStall,            // not this function's request, or the board refuses it
        eSend,             // device-to-host data stage: data (at most the request's length)
        eReceiveSetReport, // host-to-device SET_REPORT of a feature report for boards[board]
        eAcknowledge,      // host-to-device request without data stage that the board accepted
        eReceiveVendorOut, // host-to-device vendor request with a data stage for boards[board]
    } action = eStall;
    std::vector<std::uint8_t> data;
    std::size_t board = 0;
};

// The answer to a request addressed to interface setup_I.index, whose board is boards_I[index].
// HID interface: the report descriptor and HID descriptor on GET_DESCRIPTOR, the board's answer
// on a feature GET_REPORT; a feature SET_REPORT is to be received and given to the board.
// Vendor interface: a vendor request is the board's control transfer, done here unless it has a
// host-to-device data stage (then it is to be received first); anything else stalls.
UsbSetupAnswer AnswerUsbSetup(const UsbSetup& setup_I, const std::vector<CSimKernelBoard*>& boards_I);

// The 8-byte setup packet (little-endian words) of a request.
std::vector<std::uint8_t> UsbSetupPacketBytes(const UsbSetup& setup_I);

// The boards a composite gadget follows, each through its normal node and its loader node
// (empty when it switches in place). The first board is the device's own: the device is
// connected while that board has a node, with its ids, and has one interface per followed board
// present, in the order they were followed.
class CUsbGadgetSlots
{
public:
    void Follow(const std::string& normalPath_I, const std::string& loaderPath_I);
    // True when the event changed what the device presents.
    bool Apply(const SimHostEvent& event_I);
    // The nodes of the device's interfaces; empty while the first board has no node, only the
    // first board's loader while it runs its loader.
    std::vector<SimHidNodeInfo> Interfaces() const;

private:
    struct Slot
    {
        std::string normalPath;
        std::string loaderPath;
        SimHidNodeInfo node;
        bool present = false;
    };
    std::vector<Slot> mSlots;
};
