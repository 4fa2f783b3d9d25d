#include "UsbHidGadget.h"

#include <algorithm>

namespace {

constexpr std::uint8_t kInterfaceDescriptorType = 0x04;
constexpr std::uint8_t kEndpointDescriptorType = 0x05;
constexpr std::uint8_t kHidDescriptorType = 0x21;
constexpr std::uint8_t kReportDescriptorType = 0x22;
constexpr std::uint8_t kHidInterfaceClass = 0x03;
constexpr std::uint8_t kVendorInterfaceClass = 0xFF;
constexpr std::uint8_t kInterruptTransfer = 0x03;
constexpr std::uint8_t kDirectionIn = 0x80;
constexpr std::uint8_t kTypeMask = 0x60;
constexpr std::uint8_t kTypeStandard = 0x00;
constexpr std::uint8_t kTypeClass = 0x20;
constexpr std::uint8_t kTypeVendor = 0x40;
constexpr std::uint8_t kRecipientMask = 0x1F;
constexpr std::uint8_t kRecipientInterface = 0x01;
constexpr std::uint8_t kGetDescriptor = 0x06;
constexpr std::uint8_t kHidGetReport = 0x01;
constexpr std::uint8_t kHidSetReport = 0x09;
constexpr std::uint8_t kFeatureReportType = 0x03;
// FunctionFS chunk headers.
constexpr std::uint32_t kFfsDescriptorsMagicV2 = 3;
constexpr std::uint32_t kFfsStringsMagic = 2;
constexpr std::uint32_t kFfsHasFullSpeed = 1;
constexpr std::uint32_t kFfsHasHighSpeed = 2;

void PutLe16(std::vector<std::uint8_t>& out_IO, std::uint16_t value_I)
{
    out_IO.push_back(static_cast<std::uint8_t>(value_I & 0xFF));
    out_IO.push_back(static_cast<std::uint8_t>(value_I >> 8));
}

void PutLe32(std::vector<std::uint8_t>& out_IO, std::uint32_t value_I)
{
    PutLe16(out_IO, static_cast<std::uint16_t>(value_I & 0xFFFF));
    PutLe16(out_IO, static_cast<std::uint16_t>(value_I >> 16));
}

// Returns the number of descriptors put.
std::uint32_t PutInterface(std::vector<std::uint8_t>& out_IO, std::uint8_t number_I,
                           const UsbFunctionInterface& interface_I, bool highSpeed_I)
{
    if (interface_I.vendor) {
        out_IO.insert(out_IO.end(), {9, kInterfaceDescriptorType, number_I, 0, 0, kVendorInterfaceClass, 0, 0, 0});
        return 1;
    }
    out_IO.insert(out_IO.end(), {9, kInterfaceDescriptorType, number_I, 0, 1, kHidInterfaceClass, 0, 0, 0});
    const std::vector<std::uint8_t> hid = UsbHidClassDescriptor(interface_I.reportLength);
    out_IO.insert(out_IO.end(), hid.begin(), hid.end());
    out_IO.insert(out_IO.end(), {7, kEndpointDescriptorType, static_cast<std::uint8_t>(kDirectionIn | (number_I + 1)),
                                 kInterruptTransfer});
    PutLe16(out_IO, 64);
    out_IO.push_back(highSpeed_I ? 4 : 1); // every millisecond: 2^(4-1) microframes, or 1 frame
    return 3;                              // interface, HID, endpoint
}

} // namespace

std::vector<std::uint8_t> UsbHidClassDescriptor(std::size_t reportLength_I)
{
    std::vector<std::uint8_t> d = {9, kHidDescriptorType};
    PutLe16(d, 0x0111); // bcdHID 1.11
    d.push_back(0);     // no country
    d.push_back(1);     // one class descriptor: the report descriptor
    d.push_back(kReportDescriptorType);
    PutLe16(d, static_cast<std::uint16_t>(reportLength_I));
    return d;
}

std::vector<std::uint8_t> FfsDescriptors(const std::vector<UsbFunctionInterface>& interfaces_I)
{
    std::vector<std::uint8_t> fs;
    std::vector<std::uint8_t> hs;
    std::uint32_t count = 0;
    for (std::size_t i = 0; i < interfaces_I.size(); ++i) {
        count += PutInterface(fs, static_cast<std::uint8_t>(i), interfaces_I[i], false);
        PutInterface(hs, static_cast<std::uint8_t>(i), interfaces_I[i], true);
    }
    std::vector<std::uint8_t> out;
    PutLe32(out, kFfsDescriptorsMagicV2);
    PutLe32(out, static_cast<std::uint32_t>(20 + fs.size() + hs.size()));
    PutLe32(out, kFfsHasFullSpeed | kFfsHasHighSpeed);
    PutLe32(out, count);
    PutLe32(out, count);
    out.insert(out.end(), fs.begin(), fs.end());
    out.insert(out.end(), hs.begin(), hs.end());
    return out;
}

std::vector<std::uint8_t> FfsNoStrings()
{
    std::vector<std::uint8_t> out;
    PutLe32(out, kFfsStringsMagic);
    PutLe32(out, 16);
    PutLe32(out, 0); // strings
    PutLe32(out, 0); // languages
    return out;
}

std::vector<std::uint8_t> UsbSetupPacketBytes(const UsbSetup& setup_I)
{
    std::vector<std::uint8_t> packet = {setup_I.requestType, setup_I.request};
    PutLe16(packet, setup_I.value);
    PutLe16(packet, setup_I.index);
    PutLe16(packet, setup_I.length);
    return packet;
}

UsbSetupAnswer AnswerUsbSetup(const UsbSetup& setup_I, const std::vector<CSimKernelBoard*>& boards_I)
{
    UsbSetupAnswer answer;
    const bool in = (setup_I.requestType & kDirectionIn) != 0;
    const std::uint8_t kind = setup_I.requestType & kTypeMask;
    if ((setup_I.requestType & kRecipientMask) != kRecipientInterface || setup_I.index >= boards_I.size() ||
        boards_I[setup_I.index] == nullptr)
        return answer;
    CSimKernelBoard& board = *boards_I[setup_I.index];
    if (board.IsVendorInterface()) {
        if (kind != kTypeVendor)
            return answer; // the interface has no class and no descriptors of its own
        if (!in && setup_I.length != 0) {
            answer.action = UsbSetupAnswer::eReceiveVendorOut;
            answer.board = setup_I.index;
            return answer;
        }
        if (!board.ControlTransfer(UsbSetupPacketBytes(setup_I), answer.data))
            return answer;
        answer.action = in ? UsbSetupAnswer::eSend : UsbSetupAnswer::eAcknowledge;
        if (answer.data.size() > setup_I.length)
            answer.data.resize(setup_I.length);
        return answer;
    }
    const std::uint8_t high = static_cast<std::uint8_t>(setup_I.value >> 8);
    const std::uint8_t low = static_cast<std::uint8_t>(setup_I.value & 0xFF);
    if (kind == kTypeStandard && in && setup_I.request == kGetDescriptor) {
        if (high == kReportDescriptorType)
            answer.data = board.ReportDescriptor();
        else if (high == kHidDescriptorType)
            answer.data = UsbHidClassDescriptor(board.ReportDescriptor().size());
        else
            return answer;
        answer.action = UsbSetupAnswer::eSend;
    } else if (kind == kTypeClass && in && setup_I.request == kHidGetReport && high == kFeatureReportType) {
        if (!board.GetFeature(low, answer.data))
            return answer;
        answer.action = UsbSetupAnswer::eSend;
    } else if (kind == kTypeClass && !in && setup_I.request == kHidSetReport && high == kFeatureReportType &&
               setup_I.length != 0) {
        answer.action = UsbSetupAnswer::eReceiveSetReport;
        answer.board = setup_I.index;
        return answer;
    } else {
        return answer; // SET_IDLE, SET_PROTOCOL, input and output reports: not these boards'
    }
    if (answer.data.size() > setup_I.length)
        answer.data.resize(setup_I.length);
    return answer;
}

void CUsbGadgetSlots::Follow(const std::string& normalPath_I, const std::string& loaderPath_I)
{
    mSlots.push_back(Slot {normalPath_I, loaderPath_I, {}, false});
}

bool CUsbGadgetSlots::Apply(const SimHostEvent& event_I)
{
    bool changed = false;
    for (Slot& slot : mSlots) {
        const std::string& path = event_I.node.path;
        if (path != slot.normalPath && (slot.loaderPath.empty() || path != slot.loaderPath))
            continue;
        if (event_I.kind == SimHostEvent::eArrival) {
            slot.node = event_I.node;
            slot.present = true;
            changed = true;
        } else if (slot.present && slot.node.path == path) {
            slot.present = false; // a late removal of the node it had before is not this one's
            changed = true;
        }
    }
    return changed;
}

std::vector<SimHidNodeInfo> CUsbGadgetSlots::Interfaces() const
{
    std::vector<SimHidNodeInfo> nodes;
    if (mSlots.empty() || !mSlots.front().present)
        return nodes;
    // A device whose first board runs its boot loader is that loader alone: the other interfaces
    // are the application firmware's (the touch board's bridge among them), and USB ids belong to
    // the device, so beside the loader they would carry the loader's ids and pass for loaders.
    const Slot& first = mSlots.front();
    if (!first.loaderPath.empty() && first.node.path == first.loaderPath) {
        nodes.push_back(first.node);
        return nodes;
    }
    for (const Slot& slot : mSlots)
        if (slot.present)
            nodes.push_back(slot.node);
    return nodes;
}
