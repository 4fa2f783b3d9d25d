// The simulated boards behind a real kernel: the answers to the kernel's report requests
// (CSimKernelBoard, shared by the uhid and USB gadget tablets), the FunctionFS descriptors of the
// USB gadget and its answer to each control request on ep0.

#include "CSimHost.h"
#include "FWUpdater/CFLProtocol.h"
#include "SimHidDescriptors.h"
#include "UsbHidGadget.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// A board that records what reaches it and answers a GET with the id, then 0xA5 up to the
// asked-for length.
class CRecordingDevice : public CSimHidDevice
{
public:
    bool SetFeature(const std::vector<std::uint8_t>& report_I) override
    {
        sets.push_back(report_I);
        return true;
    }
    bool GetFeature(const std::vector<std::uint8_t>& request_I, std::vector<std::uint8_t>& answer_O) override
    {
        gets.push_back(request_I);
        answer_O.assign(request_I.size(), 0xA5);
        answer_O[0] = request_I[0];
        return true;
    }
    std::vector<std::vector<std::uint8_t>> sets;
    std::vector<std::vector<std::uint8_t>> gets;
};

SimHidNodeInfo Node(const std::string& path_I, std::uint16_t productId_I, std::uint16_t usagePage_I)
{
    SimHidNodeInfo info;
    info.path = path_I;
    info.vendorId = 0xFFFF;
    info.productId = productId_I;
    info.version = 0x0105;
    info.usagePage = usagePage_I;
    info.usage = 0x0001;
    info.parentIds = {"HID\\" + path_I, "USB\\" + path_I};
    return info;
}

// The wrapped form, built here from its description: 0xDC, big-endian inner length, the inner
// report, zeros up to 1024 bytes.
std::vector<std::uint8_t> Wrapped(const std::vector<std::uint8_t>& inner_I)
{
    std::vector<std::uint8_t> w(1024, 0);
    w[0] = 0xDC;
    w[1] = static_cast<std::uint8_t>(inner_I.size() >> 8);
    w[2] = static_cast<std::uint8_t>(inner_I.size() & 0xFF);
    std::copy(inner_I.begin(), inner_I.end(), w.begin() + 3);
    return w;
}

struct Fixture
{
    std::shared_ptr<CSimHost> host = std::make_shared<CSimHost>();
    std::shared_ptr<CRecordingDevice> device = std::make_shared<CRecordingDevice>();
};

TEST(SimKernelBoard, VendorPageReadRequestsNameTheNextWrapperGet)
{
    Fixture f;
    const SimHidNodeInfo info = Node("loader", 0x0094, 0xFF00);
    f.host->AddNode(info, f.device);
    CSimKernelBoard board(f.host, info);
    ASSERT_TRUE(board.IsOpen());

    std::vector<std::uint8_t> answer;
    // A GET carries only the report id on a real wire: with no request named, nothing to answer.
    EXPECT_FALSE(board.GetFeature(eBL_HID_REP_VENDOR_WRAPPER_ID, answer));

    const std::vector<std::uint8_t> read = {eBL_HID_REP_LOADER_PARAMETERS_ID, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_TRUE(board.SetFeature(Wrapped(read)));
    EXPECT_TRUE(f.device->sets.empty()) << "a read request is not a command for the board";
    ASSERT_TRUE(board.GetFeature(eBL_HID_REP_VENDOR_WRAPPER_ID, answer));
    ASSERT_EQ(f.device->gets.size(), 1u);
    EXPECT_EQ(f.device->gets[0], read);
    std::vector<std::uint8_t> expected = read;
    std::fill(expected.begin() + 1, expected.end(), 0xA5);
    EXPECT_EQ(answer, Wrapped(expected));

    // A command goes to the board as it is (unwrapped by the node, as the firmware does).
    const std::vector<std::uint8_t> erase = {eBL_HID_REP_ERASE_BLOCK_ID, 3, 0, 0, 0};
    ASSERT_TRUE(board.SetFeature(Wrapped(erase)));
    ASSERT_EQ(f.device->sets.size(), 1u);
    EXPECT_EQ(f.device->sets[0], erase);
}

TEST(SimKernelBoard, OutsideTheVendorPageAGetAsksForTheDeclaredLength)
{
    Fixture f;
    const SimHidNodeInfo info = Node("pen", 0x0100, 0xFF0D);
    f.host->AddNode(info, f.device);
    CSimKernelBoard board(f.host, info);
    for (const SimFeatureReport& report : SimNormalModeFeatures()) {
        std::vector<std::uint8_t> answer;
        ASSERT_TRUE(board.GetFeature(report.id, answer)) << int(report.id);
        ASSERT_EQ(answer.size(), report.length) << int(report.id);
        EXPECT_EQ(answer[0], report.id);
    }
    std::vector<std::uint8_t> answer;
    EXPECT_FALSE(board.GetFeature(0x7E, answer)) << "a report the descriptor does not declare";
    EXPECT_FALSE(board.GetFeature(eBL_HID_REP_VENDOR_WRAPPER_ID, answer));
}

TEST(SimKernelBoard, ABoardThatHasGoneAnswersNothing)
{
    Fixture f;
    const SimHidNodeInfo info = Node("pen", 0x0100, 0xFF0D);
    CSimKernelBoard board(f.host, info); // never added
    EXPECT_FALSE(board.IsOpen());
    std::vector<std::uint8_t> answer;
    EXPECT_FALSE(board.GetFeature(eBL_HID_REP_PING_ID, answer));
    EXPECT_FALSE(board.SetFeature({eBL_HID_REP_PING_ID, 0}));
}

// An independent reader of the FunctionFS chunk: header fields, then per speed the descriptors
// as (type, bytes) by their bLength.
struct Parsed
{
    std::uint32_t magic = 0, length = 0, flags = 0, fsCount = 0, hsCount = 0;
    std::vector<std::vector<std::uint8_t>> fs, hs;
};

std::uint32_t Le32(const std::vector<std::uint8_t>& b_I, std::size_t at_I)
{
    return b_I[at_I] | (b_I[at_I + 1] << 8) | (b_I[at_I + 2] << 16) | (static_cast<std::uint32_t>(b_I[at_I + 3]) << 24);
}

bool Parse(const std::vector<std::uint8_t>& b_I, Parsed& p_O)
{
    if (b_I.size() < 20)
        return false;
    p_O.magic = Le32(b_I, 0);
    p_O.length = Le32(b_I, 4);
    p_O.flags = Le32(b_I, 8);
    p_O.fsCount = Le32(b_I, 12);
    p_O.hsCount = Le32(b_I, 16);
    std::size_t at = 20;
    for (auto* list : {&p_O.fs, &p_O.hs}) {
        const std::uint32_t count = list == &p_O.fs ? p_O.fsCount : p_O.hsCount;
        for (std::uint32_t i = 0; i < count; ++i) {
            if (at >= b_I.size() || b_I[at] < 2 || at + b_I[at] > b_I.size())
                return false;
            list->emplace_back(b_I.begin() + static_cast<std::ptrdiff_t>(at),
                               b_I.begin() + static_cast<std::ptrdiff_t>(at + b_I[at]));
            at += b_I[at];
        }
    }
    return at == b_I.size();
}

TEST(UsbHidGadget, DescriptorsDeclareOneHidInterfacePerBoard)
{
    const std::vector<std::vector<std::size_t>> cases = {{75}, {75, 300}, {1}};
    for (const auto& lengths : cases) {
        Parsed p;
        const std::vector<std::uint8_t> chunk = FfsHidDescriptors(lengths);
        ASSERT_TRUE(Parse(chunk, p)) << lengths.size();
        EXPECT_EQ(p.magic, 3u);
        EXPECT_EQ(p.length, chunk.size());
        EXPECT_EQ(p.flags, 3u) << "full and high speed";
        for (const auto* list : {&p.fs, &p.hs}) {
            const bool high = list == &p.hs;
            ASSERT_EQ(list->size(), 3 * lengths.size());
            for (std::size_t i = 0; i < lengths.size(); ++i) {
                const auto& intf = (*list)[3 * i];
                const auto& hid = (*list)[3 * i + 1];
                const auto& ep = (*list)[3 * i + 2];
                ASSERT_EQ(intf.size(), 9u);
                EXPECT_EQ(intf[1], 0x04);
                EXPECT_EQ(intf[2], i) << "local interface number";
                EXPECT_EQ(intf[4], 1) << "one endpoint";
                EXPECT_EQ(intf[5], 0x03) << "HID class";
                ASSERT_EQ(hid.size(), 9u) << "FunctionFS takes a HID descriptor of exactly 9 bytes";
                EXPECT_EQ(hid[1], 0x21);
                EXPECT_EQ(hid[5], 1);
                EXPECT_EQ(hid[6], 0x22);
                EXPECT_EQ(hid[7] | (hid[8] << 8), lengths[i]);
                ASSERT_EQ(ep.size(), 7u);
                EXPECT_EQ(ep[1], 0x05);
                EXPECT_EQ(ep[2], 0x80 | (i + 1)) << "an IN endpoint of its own";
                EXPECT_EQ(ep[3], 0x03) << "interrupt";
                EXPECT_EQ(ep[6], high ? 4 : 1) << "1 ms in either speed's units";
            }
        }
    }
    const std::vector<std::uint8_t> strings = FfsNoStrings();
    ASSERT_EQ(strings.size(), 16u);
    EXPECT_EQ(Le32(strings, 0), 2u);
    EXPECT_EQ(Le32(strings, 4), 16u);
}

TEST(UsbHidGadget, ControlRequestsOnEp0)
{
    Fixture f;
    const SimHidNodeInfo info = Node("pen", 0x0100, 0xFF0D);
    f.host->AddNode(info, f.device);
    CSimKernelBoard board(f.host, info);
    const std::vector<std::uint8_t>& rd = board.ReportDescriptor();
    ASSERT_GT(rd.size(), 20u);
    std::vector<std::uint8_t> hid = {9, 0x21, 0x11, 0x01, 0, 1, 0x22, static_cast<std::uint8_t>(rd.size() & 0xFF),
                                     static_cast<std::uint8_t>(rd.size() >> 8)};
    const SimFeatureReport ping = [] {
        for (const SimFeatureReport& r : SimNormalModeFeatures())
            if (r.id == eBL_HID_REP_PING_ID)
                return r;
        return SimFeatureReport {};
    }();
    ASSERT_EQ(ping.id, eBL_HID_REP_PING_ID);
    std::vector<std::uint8_t> pingAnswer(ping.length, 0xA5);
    pingAnswer[0] = ping.id;

    using A = UsbSetupAnswer;
    struct Case
    {
        const char* what;
        UsbSetup setup;
        A::EAction action;
        std::vector<std::uint8_t> data;
    };
    const std::vector<Case> cases = {
        {"report descriptor", {0x81, 0x06, 0x2200, 0, 4096}, A::eSend, rd},
        {"report descriptor, cut to wLength", {0x81, 0x06, 0x2200, 0, 10}, A::eSend, {rd.begin(), rd.begin() + 10}},
        {"HID descriptor", {0x81, 0x06, 0x2100, 0, 9}, A::eSend, hid},
        {"a string descriptor is not the interface's", {0x81, 0x06, 0x0300, 0, 255}, A::eStall, {}},
        {"no such interface", {0x81, 0x06, 0x2200, 1, 4096}, A::eStall, {}},
        {"device recipient", {0x80, 0x06, 0x2200, 0, 4096}, A::eStall, {}},
        {"feature GET_REPORT", {0xA1, 0x01, static_cast<std::uint16_t>(0x0300 | ping.id), 0, 64}, A::eSend,
         pingAnswer},
        {"feature GET_REPORT, cut to wLength", {0xA1, 0x01, static_cast<std::uint16_t>(0x0300 | ping.id), 0, 1},
         A::eSend, {ping.id}},
        {"undeclared feature report", {0xA1, 0x01, 0x037E, 0, 64}, A::eStall, {}},
        {"input GET_REPORT", {0xA1, 0x01, 0x0103, 0, 64}, A::eStall, {}},
        {"feature SET_REPORT", {0x21, 0x09, static_cast<std::uint16_t>(0x0300 | ping.id), 0, 2}, A::eReceiveSetReport,
         {}},
        {"output SET_REPORT", {0x21, 0x09, 0x0203, 0, 2}, A::eStall, {}},
        {"SET_REPORT without data", {0x21, 0x09, 0x0302, 0, 0}, A::eStall, {}},
        {"SET_IDLE", {0x21, 0x0A, 0, 0, 0}, A::eStall, {}},
    };
    for (const Case& c : cases) {
        const std::size_t getsBefore = f.device->gets.size();
        const A answer = AnswerUsbHidSetup(c.setup, {&board});
        EXPECT_EQ(answer.action, c.action) << c.what;
        EXPECT_EQ(answer.data, c.data) << c.what;
        EXPECT_LE(answer.data.size(), c.setup.length) << c.what;
        if (c.action == A::eReceiveSetReport) {
            EXPECT_EQ(answer.board, c.setup.index) << c.what;
        }
        if (c.action != A::eSend || c.setup.request != 0x01) {
            EXPECT_EQ(f.device->gets.size(), getsBefore) << c.what << ": the board was asked";
        }
    }
    // Interface 1 is the second board's.
    const SimHidNodeInfo touchInfo = Node("touch", 0x0101, 0xFF0E);
    f.host->AddNode(touchInfo, std::make_shared<CRecordingDevice>());
    CSimKernelBoard touch(f.host, touchInfo);
    const A second = AnswerUsbHidSetup({0x81, 0x06, 0x2200, 1, 4096}, {&board, &touch});
    EXPECT_EQ(second.action, A::eSend);
    EXPECT_EQ(second.data, touch.ReportDescriptor());
    EXPECT_NE(touch.ReportDescriptor(), rd);
}

// The device's interfaces through a pen board's trip to its loader, with the touch board (which
// switches in place) as the second interface.
TEST(UsbHidGadget, InterfacesFollowTheBoardsNodes)
{
    const SimHidNodeInfo pen = Node("pen", 0x0100, 0xFF0D);
    const SimHidNodeInfo loader = Node("loader", 0x0094, 0xFF00);
    const SimHidNodeInfo touch = Node("touch", 0x0101, 0xFF0E);
    const SimHidNodeInfo other = Node("other-tablet-pen", 0x0100, 0xFF0D);
    auto arrival = [](const SimHidNodeInfo& n) { return SimHostEvent {SimHostEvent::eArrival, n}; };
    auto removal = [](const SimHidNodeInfo& n) { return SimHostEvent {SimHostEvent::eRemoval, n}; };
    struct Step
    {
        const char* what;
        SimHostEvent event;
        bool changed;
        std::vector<std::string> interfaces; // paths, in interface order
    };
    const std::vector<Step> steps = {
        {"touch first: no device without the pen board", arrival(touch), true, {}},
        {"pen arrives: the device with both", arrival(pen), true, {"pen", "touch"}},
        {"another tablet's node", arrival(other), false, {"pen", "touch"}},
        {"pen leaves for its loader: disconnected", removal(pen), true, {}},
        {"the loader arrives: its device, touch still behind it", arrival(loader), true, {"loader", "touch"}},
        {"a late removal of the pen's old node", removal(pen), false, {"loader", "touch"}},
        {"touch leaves", removal(touch), true, {"loader"}},
        {"touch comes back", arrival(touch), true, {"loader", "touch"}},
        {"the loader leaves", removal(loader), true, {}},
        {"the application is back", arrival(pen), true, {"pen", "touch"}},
    };
    CUsbGadgetSlots slots;
    slots.Follow(pen.path, loader.path);
    slots.Follow(touch.path, "");
    for (const Step& step : steps) {
        EXPECT_EQ(slots.Apply(step.event), step.changed) << step.what;
        std::vector<std::string> paths;
        for (const SimHidNodeInfo& n : slots.Interfaces())
            paths.push_back(n.path);
        EXPECT_EQ(paths, step.interfaces) << step.what;
    }
    // The device's ids are the first interface's node's.
    ASSERT_FALSE(slots.Interfaces().empty());
    EXPECT_EQ(slots.Interfaces().front().productId, 0x0100);
}

} // namespace
