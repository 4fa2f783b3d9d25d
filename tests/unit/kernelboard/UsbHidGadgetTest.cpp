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

using Bytes = std::vector<std::uint8_t>;

// Records what reaches it; answers a GET with the id, then 0xA5 up to the asked-for length.
class CRecordingDevice : public CSimHidDevice
{
public:
    bool SetFeature(const Bytes& report_I) override
    {
        sets.push_back(report_I);
        return true;
    }
    bool GetFeature(const Bytes& request_I, Bytes& answer_O) override
    {
        gets.push_back(request_I);
        answer_O.assign(request_I.size(), 0xA5);
        answer_O[0] = request_I[0];
        return true;
    }
    std::vector<Bytes> sets;
    std::vector<Bytes> gets;
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

// The wrapped form: 0xDC, big-endian inner length, the inner report, zeros up to 1024 bytes.
Bytes Wrapped(const Bytes& inner_I)
{
    Bytes w(1024, 0);
    w[0] = 0xDC;
    w[1] = static_cast<std::uint8_t>(inner_I.size() >> 8);
    w[2] = static_cast<std::uint8_t>(inner_I.size() & 0xFF);
    std::copy(inner_I.begin(), inner_I.end(), w.begin() + 3);
    return w;
}

void Le(Bytes& out_IO, std::uint32_t value_I, int bytes_I)
{
    for (int i = 0; i < bytes_I; ++i)
        out_IO.push_back(static_cast<std::uint8_t>(value_I >> (8 * i)));
}

struct Fixture
{
    std::shared_ptr<CSimHost> host = std::make_shared<CSimHost>();
    std::shared_ptr<CRecordingDevice> device = std::make_shared<CRecordingDevice>();
};

// A GET carries only the report id on a real wire (a fault found on the real kernel): a read on
// the vendor page is named by the wrapped SET before it, and without one there is nothing to answer.
TEST(SimKernelBoard, VendorPageReadRequestsNameTheNextWrapperGet)
{
    Fixture f;
    const SimHidNodeInfo info = Node("loader", 0x0094, 0xFF00);
    f.host->AddNode(info, f.device);
    CSimKernelBoard board(f.host, info);
    ASSERT_TRUE(board.IsOpen());
    Bytes answer;
    EXPECT_FALSE(board.GetFeature(eBL_HID_REP_VENDOR_WRAPPER_ID, answer));

    const Bytes read = {eBL_HID_REP_LOADER_PARAMETERS_ID, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_TRUE(board.SetFeature(Wrapped(read)));
    EXPECT_TRUE(f.device->sets.empty()) << "a read request is not a command for the board";
    ASSERT_TRUE(board.GetFeature(eBL_HID_REP_VENDOR_WRAPPER_ID, answer));
    EXPECT_EQ(f.device->gets, std::vector<Bytes>{read});
    Bytes expected(read.size(), 0xA5);
    expected[0] = read[0];
    EXPECT_EQ(answer, Wrapped(expected));

    // A command goes to the board unwrapped, as the firmware does.
    const Bytes erase = {eBL_HID_REP_ERASE_BLOCK_ID, 3, 0, 0, 0};
    ASSERT_TRUE(board.SetFeature(Wrapped(erase)));
    EXPECT_EQ(f.device->sets, std::vector<Bytes>{erase});
}

TEST(SimKernelBoard, OutsideTheVendorPageAGetAsksForTheDeclaredLength)
{
    Fixture f;
    const SimHidNodeInfo info = Node("pen", 0x0100, 0xFF0D);
    f.host->AddNode(info, f.device);
    CSimKernelBoard board(f.host, info);
    Bytes answer;
    for (const SimFeatureReport& report : SimNormalModeFeatures()) {
        ASSERT_TRUE(board.GetFeature(report.id, answer)) << int(report.id);
        ASSERT_EQ(answer.size(), report.length) << int(report.id);
        EXPECT_EQ(answer[0], report.id);
    }
    EXPECT_FALSE(board.GetFeature(0x7E, answer)) << "a report the descriptor does not declare";
    EXPECT_FALSE(board.GetFeature(eBL_HID_REP_VENDOR_WRAPPER_ID, answer));
    // A board whose node has gone answers nothing.
    CSimKernelBoard gone(f.host, Node("gone", 0x0100, 0xFF0D));
    EXPECT_FALSE(gone.IsOpen());
    EXPECT_FALSE(gone.GetFeature(eBL_HID_REP_PING_ID, answer));
    EXPECT_FALSE(gone.SetFeature({eBL_HID_REP_PING_ID, 0}));
}

// The chunk written from the USB and FunctionFS definitions: header (magic 3, length, full and
// high speed, counts), then per speed and board an interface (HID class, one endpoint), a 9-byte
// HID descriptor naming the report descriptor's length, an interrupt IN endpoint of its own
// polled every 1 ms (bInterval 1 frame, or 4 = 2^3 microframes).
TEST(UsbHidGadget, DescriptorsDeclareOneHidInterfacePerBoard)
{
    for (const std::vector<std::size_t>& lengths : {std::vector<std::size_t>{75}, {75, 300}, {1}}) {
        Bytes speeds[2];
        for (int high = 0; high < 2; ++high)
            for (std::size_t i = 0; i < lengths.size(); ++i) {
                const auto n = static_cast<std::uint8_t>(i);
                Bytes& d = speeds[high];
                d.insert(d.end(), {9, 0x04, n, 0, 1, 0x03, 0, 0, 0, 9, 0x21, 0x11, 0x01, 0, 1, 0x22});
                Le(d, static_cast<std::uint32_t>(lengths[i]), 2);
                d.insert(d.end(), {7, 0x05, static_cast<std::uint8_t>(0x81 + n), 0x03, 64, 0});
                d.push_back(high ? 4 : 1);
            }
        Bytes expected;
        const auto count = static_cast<std::uint32_t>(3 * lengths.size());
        for (std::uint32_t v : {3u, static_cast<std::uint32_t>(20 + 2 * speeds[0].size()), 3u, count, count})
            Le(expected, v, 4);
        expected.insert(expected.end(), speeds[0].begin(), speeds[0].end());
        expected.insert(expected.end(), speeds[1].begin(), speeds[1].end());
        EXPECT_EQ(FfsHidDescriptors(lengths), expected) << lengths.size() << " boards";
    }
    EXPECT_EQ(FfsNoStrings(), (Bytes{2, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(UsbHidGadget, ControlRequestsOnEp0)
{
    Fixture f;
    const SimHidNodeInfo info = Node("pen", 0x0100, 0xFF0D);
    f.host->AddNode(info, f.device);
    CSimKernelBoard board(f.host, info);
    const Bytes& rd = board.ReportDescriptor();
    ASSERT_GT(rd.size(), 20u);
    const Bytes hid = {9, 0x21, 0x11, 0x01, 0, 1, 0x22, static_cast<std::uint8_t>(rd.size() & 0xFF),
                       static_cast<std::uint8_t>(rd.size() >> 8)};
    std::size_t pingLength = 0;
    for (const SimFeatureReport& r : SimNormalModeFeatures())
        pingLength = r.id == eBL_HID_REP_PING_ID ? r.length : pingLength;
    ASSERT_GT(pingLength, 1u);
    Bytes pingAnswer(pingLength, 0xA5);
    pingAnswer[0] = eBL_HID_REP_PING_ID;
    const auto ping = static_cast<std::uint16_t>(0x0300 | eBL_HID_REP_PING_ID);

    using A = UsbSetupAnswer;
    struct Case
    {
        const char* what;
        UsbSetup setup;
        A::EAction action;
        Bytes data;
    };
    const std::vector<Case> cases = {
        {"report descriptor", {0x81, 0x06, 0x2200, 0, 4096}, A::eSend, rd},
        {"report descriptor, cut to wLength", {0x81, 0x06, 0x2200, 0, 10}, A::eSend, {rd.begin(), rd.begin() + 10}},
        {"HID descriptor", {0x81, 0x06, 0x2100, 0, 9}, A::eSend, hid},
        {"a string descriptor is not the interface's", {0x81, 0x06, 0x0300, 0, 255}, A::eStall, {}},
        {"no such interface", {0x81, 0x06, 0x2200, 1, 4096}, A::eStall, {}},
        {"device recipient", {0x80, 0x06, 0x2200, 0, 4096}, A::eStall, {}},
        {"feature GET_REPORT", {0xA1, 0x01, ping, 0, 64}, A::eSend, pingAnswer},
        {"feature GET_REPORT, cut to wLength", {0xA1, 0x01, ping, 0, 1}, A::eSend, {eBL_HID_REP_PING_ID}},
        {"undeclared feature report", {0xA1, 0x01, 0x037E, 0, 64}, A::eStall, {}},
        {"input GET_REPORT", {0xA1, 0x01, 0x0103, 0, 64}, A::eStall, {}},
        {"feature SET_REPORT", {0x21, 0x09, ping, 0, 2}, A::eReceiveSetReport, {}},
        {"output SET_REPORT", {0x21, 0x09, 0x0203, 0, 2}, A::eStall, {}},
        {"SET_REPORT without data", {0x21, 0x09, 0x0302, 0, 0}, A::eStall, {}},
        {"SET_IDLE", {0x21, 0x0A, 0, 0, 0}, A::eStall, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::size_t getsBefore = f.device->gets.size();
        const A answer = AnswerUsbHidSetup(c.setup, {&board});
        EXPECT_EQ(answer.action, c.action);
        EXPECT_EQ(answer.data, c.data);
        if (c.action == A::eReceiveSetReport) {
            EXPECT_EQ(answer.board, c.setup.index);
        }
        const bool asksTheBoard = c.action == A::eSend && c.setup.request == 0x01;
        EXPECT_EQ(f.device->gets.size(), getsBefore + (asksTheBoard ? 1 : 0));
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
