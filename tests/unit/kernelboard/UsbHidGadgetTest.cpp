// What the QEMU runs of the kernel boards cannot show: the wrapped GET's request that never reaches
// a real wire, and the FunctionFS descriptor chunk byte by byte.

#include "../bridge/BridgeFixture.h"
#include "FWUpdater/HIDVendorWrapper.h"
#include "UsbHidGadget.h"

namespace {

// The wrapped form (checked byte by byte in the flash tests).
Bytes Wrapped(const Bytes& inner_I)
{
    Bytes w;
    EXPECT_TRUE(WrapVendorReport(inner_I, w));
    return w;
}

void Le(Bytes& out_IO, std::uint32_t value_I, int bytes_I)
{
    for (int i = 0; i < bytes_I; ++i)
        out_IO.push_back(static_cast<std::uint8_t>(value_I >> (8 * i)));
}

// A GET carries only the report id on a real wire (a fault found on the real kernel): a read on
// the vendor page is named by the wrapped SET before it, and without one there is nothing to answer.
TEST(SimKernelBoard, VendorPageReadRequestsNameTheNextWrapperGet)
{
    auto host = std::make_shared<CSimHost>();
    auto device = std::make_shared<CRecordingBoard>();
    SimHidNodeInfo info;
    info.path = "loader";
    info.vendorId = 0xFFFF;
    info.productId = 0x0094;
    info.usagePage = 0xFF00;
    info.usage = 0x0001;
    host->AddNode(info, device);
    CSimKernelBoard board(host, info);
    ASSERT_TRUE(board.IsOpen());
    Bytes answer;
    EXPECT_FALSE(board.GetFeature(eBL_HID_REP_VENDOR_WRAPPER_ID, answer));

    const Bytes read = {eBL_HID_REP_LOADER_PARAMETERS_ID, 0, 0, 0, 0, 0, 0, 0};
    device->answer.assign(read.size(), 0xA5);
    ASSERT_TRUE(board.SetFeature(Wrapped(read)));
    EXPECT_TRUE(device->sets.empty()) << "a read request is not a command for the board";
    ASSERT_TRUE(board.GetFeature(eBL_HID_REP_VENDOR_WRAPPER_ID, answer));
    EXPECT_EQ(device->gets, std::vector<Bytes>{read});
    device->answer[0] = read[0];
    EXPECT_EQ(answer, Wrapped(device->answer));

    // A command goes to the board unwrapped, as the firmware does.
    const Bytes erase = {eBL_HID_REP_ERASE_BLOCK_ID, 3, 0, 0, 0};
    ASSERT_TRUE(board.SetFeature(Wrapped(erase)));
    EXPECT_EQ(device->sets, std::vector<Bytes>{erase});
}

// The chunk written from the USB and FunctionFS definitions: header (magic 3, length, full and
// high speed, counts), then per speed and board an interface (HID class, one endpoint), a 9-byte
// HID descriptor naming the report descriptor's length, an interrupt IN endpoint of its own
// polled every 1 ms (bInterval 1 frame, or 4 = 2^3 microframes).
TEST(UsbHidGadget, DescriptorsDeclareOneHidInterfacePerBoard)
{
    for (const std::vector<std::size_t>& lengths : {std::vector<std::size_t>{75}, {75, 300}}) {
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

} // namespace
