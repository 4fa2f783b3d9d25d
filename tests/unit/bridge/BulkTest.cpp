#include "BridgeFixture.h"

#include "CSimBulkDevice.h"
#include "CSimBulkFLDeviceInterface.h"

namespace {

class Bulk : public ::testing::Test
{
protected:
    static constexpr const char* kPath = "\\\\?\\usb#vid_2d1f&pid_0520#6&1f2e3d&0&3#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

    void SetUp() override
    {
        SimHidNodeInfo info;
        info.path = kPath;
        host->AddUsbNode(info, board);
    }

    std::shared_ptr<CVirtualClock> clock = std::make_shared<CVirtualClock>();
    CScopedClock scopedClock{clock};
    std::shared_ptr<CSimHost> host = std::make_shared<CSimHost>();
    std::shared_ptr<CSimBulkDevice> board = std::make_shared<CSimBulkDevice>();
    std::shared_ptr<CSimBulkFLDeviceInterface> device = std::make_shared<CSimBulkFLDeviceInterface>(kPath, host);
};

} // namespace

// Setup packets on the wire: bmRequestType, bRequest, wValue, wIndex, wLength (little-endian).
TEST_F(Bulk, EnterLivenessAndResetRequestsAndNoneFromALoader)
{
    ASSERT_TRUE(device->SwitchToBLMode());
    EXPECT_FALSE(device->IsOpen());
    EXPECT_EQ(host->OpenHandles(), 0);
    ASSERT_TRUE(device->Open());
    EXPECT_TRUE(device->IsConnected());
    EXPECT_TRUE(device->SendReset());
    EXPECT_FALSE(device->SwitchFromBLMode());
    std::vector<Bytes> wire;
    for (const SimWireRecord& r : host->Transcript())
        wire.push_back(r.bytes);
    EXPECT_EQ(wire, (std::vector<Bytes>{{0x41, 0xF0, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00},
                                          {0xC1, 0x01, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x01, 0x00},
                                          {0x41, 0xF5, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00}}));
    EXPECT_EQ(board->EnterLoaderCount() + board->LivenessCount() + board->ResetCount(), 3);
    // Failed, or a loader already: false, and nothing sent for the loader.
    device->Close();
    board->FailRequests(1);
    EXPECT_FALSE(device->SwitchToBLMode());
    device->SetFirmwareLoader(true);
    EXPECT_FALSE(device->SwitchToBLMode());
    // A loader's reports cannot go through the bulk interface: every transfer is refused.
    ASSERT_TRUE(device->Open());
    std::uint32_t status = 0;
    EXPECT_FALSE(device->IsConnected() || device->SendReset() || device->WriteFeature({0x41, 0xF5, 0, 0xFF, 0}) ||
                 device->RawWriteFeature(BulkResetRequest().Bytes()) || device->ReadStatus(status));
    EXPECT_EQ(host->TranscriptSize(), 4u);
}

// A feature report describes one request: bmRequestType, bRequest, wIndex, wValue, wLength.
TEST_F(Bulk, WriteFeatureDescribesOneControlRequest)
{
    ASSERT_TRUE(device->Open());
    for (const Bytes& bad : {Bytes{0x41, 0xF5, 0x00, 0xFF}, Bytes{0x41, 0xF5, 0x00, 0xFF, 0, 0}})
        EXPECT_FALSE(device->WriteFeature(bad)); // not 5 bytes
    // A data stage longer than the host's 128-byte buffer, or no setup packet: refused without I/O.
    EXPECT_FALSE(device->WriteFeature({0xC1, 0x01, 0x00, 0x00, 129}));
    Bytes longSetup = UsbSetupPacket{0xC1, 0x01, 0, 0, 0x200}.Bytes();
    EXPECT_FALSE(device->RawReadFeature(longSetup));
    EXPECT_FALSE(device->RawWriteFeature({0xC1, 0x01, 0, 0}));
    EXPECT_EQ(host->TranscriptSize(), 0u);

    EXPECT_FALSE(device->WriteFeature({0x41, 0xF5, 0x03, 0xFF, 0x00})); // wIndex 3: the board stalls
    Bytes report{0xC1, 0x01, 0x00, 0x00, 0x02};
    EXPECT_TRUE(device->ReadFeature(report));
    const std::vector<SimWireRecord> wire = host->Transcript();
    ASSERT_EQ(wire.size(), 2u);
    EXPECT_EQ(wire[0].bytes, (Bytes{0x41, 0xF5, 0xFF, 0x00, 0x03, 0x00, 0x00, 0x00}));
    EXPECT_FALSE(wire[0].ok);
    EXPECT_EQ(Bytes(wire[1].bytes.begin(), wire[1].bytes.begin() + 8), (Bytes{0xC1, 0x01, 0, 0, 0, 0, 0x02, 0}));
    EXPECT_EQ(report, (Bytes{0xC1, 0x01, 0x00, 0x00, 0x02})); // the data stage is not handed back
}
