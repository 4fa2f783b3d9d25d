// The bulk variant and its simulated platform class against a simulated USB node.

#include "BridgeFixture.h"

namespace {

SimHidNodeInfo NodeAt(const std::string& path_I)
{
    SimHidNodeInfo info;
    info.path = path_I;
    return info;
}

class Bulk : public ::testing::Test
{
protected:
    static constexpr const char* kPath = "\\\\?\\usb#vid_2d1f&pid_0520#6&1f2e3d&0&3#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

    void SetUp() override
    {
        board = std::make_shared<CSimBulkDevice>();
        SimHidNodeInfo info;
        info.path = kPath;
        info.vendorId = 0x2D1F;
        info.productId = 0x0520;
        info.version = 0x0213;
        info.parentIds = {"USB\\VID_2D1F&PID_0520\\6&1F2E3D&0&3", "USB\\ROOT_HUB30\\4&1C2B&0&0"};
        host->AddUsbNode(info, board);
        device = std::make_shared<CSimBulkFLDeviceInterface>(kPath, host);
    }

    std::vector<SimWireRecord> Wire() const { return host->Transcript(); }

    std::shared_ptr<CVirtualClock> clock = std::make_shared<CVirtualClock>();
    CScopedClock scopedClock{clock};
    std::shared_ptr<CSimHost> host = std::make_shared<CSimHost>();
    std::shared_ptr<CSimBulkDevice> board;
    std::shared_ptr<CSimBulkFLDeviceInterface> device;
};

} // namespace

TEST_F(Bulk, NodeIsReportedWithTheBulkLoaderClass)
{
    const std::vector<SimHidNodeInfo> nodes = host->Nodes();
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(nodes[0].interfaceClass, ESimInterfaceClass::eBulkLoader);
    host->AddNode(NodeAt("hid-node"), std::make_shared<CRecordingBoard>());
    for (const SimHidNodeInfo& n : host->Nodes())
        EXPECT_EQ(n.interfaceClass, n.path == kPath ? ESimInterfaceClass::eBulkLoader : ESimInterfaceClass::eHid);
}

TEST_F(Bulk, AttributesComeFromTheDeviceDescriptor)
{
    ASSERT_TRUE(device->ReadAttributes());
    EXPECT_EQ(device->GetVendorId(), 0x2D1F);
    EXPECT_EQ(device->GetProductId(), 0x0520);
    EXPECT_EQ(device->GetVersion(), 0x0213);
    EXPECT_EQ(device->GetUsagePage(), 0);
    EXPECT_EQ(device->GetUsage(), 0);
    EXPECT_FALSE(device->IsOpen());
    EXPECT_EQ(host->OpenHandles(), 0);
    EXPECT_EQ(host->ClaimedUsbHandles(), 0);
    EXPECT_EQ(device->GetParentDeviceId(1), "USB\\ROOT_HUB30\\4&1C2B&0&0");
}

TEST_F(Bulk, OpenWhereWinUsbRefusesTheClaim)
{
    host->RefuseUsbClaims(kPath, true);
    EXPECT_FALSE(device->Open());
    EXPECT_FALSE(device->IsOpen());
    EXPECT_EQ(host->OpenHandles(), 1); // the file handle stays until Close
    device->Close();
    EXPECT_EQ(host->OpenHandles(), 0);
    host->RefuseUsbClaims(kPath, false);
    EXPECT_TRUE(device->Open());
    EXPECT_EQ(host->ClaimedUsbHandles(), 1);
    // A second interface cannot claim the same USB interface.
    CSimBulkFLDeviceInterface other(kPath, host);
    EXPECT_FALSE(other.Open());
    device->Close();
    EXPECT_EQ(host->ClaimedUsbHandles(), 0);
}

TEST_F(Bulk, SwitchToLoaderSendsTheEnterRequestAndCloses)
{
    ASSERT_TRUE(device->SwitchToBLMode());
    EXPECT_EQ(board->EnterLoaderCount(), 1);
    EXPECT_FALSE(device->IsOpen());
    EXPECT_EQ(host->OpenHandles(), 0);
    const std::vector<SimWireRecord> wire = Wire();
    ASSERT_EQ(wire.size(), 1u);
    EXPECT_TRUE(wire[0].control);
    EXPECT_EQ(wire[0].direction, ESimWireDirection::eSet);
    EXPECT_EQ(wire[0].bytes, (Bytes{0x41, 0xF0, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00}));
}

TEST_F(Bulk, SwitchToLoaderFails)
{
    board->FailRequests(1);
    EXPECT_FALSE(device->SwitchToBLMode());
    EXPECT_FALSE(device->IsOpen());
    // Already a loader: nothing sent.
    device->SetFirmwareLoader(true);
    host->ClearTranscript();
    EXPECT_FALSE(device->SwitchToBLMode());
    EXPECT_EQ(host->TranscriptSize(), 0u);
    // A node that is gone.
    device->SetFirmwareLoader(false);
    host->RemoveNode(kPath);
    EXPECT_FALSE(device->SwitchToBLMode());
}

TEST_F(Bulk, LivenessAndReset)
{
    EXPECT_FALSE(device->IsConnected()); // not open
    ASSERT_TRUE(device->Open());
    host->ClearTranscript();
    EXPECT_TRUE(device->IsConnected());
    EXPECT_TRUE(device->SendReset());
    const std::vector<SimWireRecord> wire = Wire();
    ASSERT_EQ(wire.size(), 2u);
    EXPECT_EQ(wire[0].direction, ESimWireDirection::eGet);
    EXPECT_EQ(wire[0].bytes, (Bytes{0xC1, 0x01, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x01, 0x00}));
    EXPECT_EQ(wire[1].bytes, (Bytes{0x41, 0xF5, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(board->LivenessCount(), 1);
    EXPECT_EQ(board->ResetCount(), 1);
    EXPECT_FALSE(device->SwitchFromBLMode());
    EXPECT_EQ(host->TranscriptSize(), 2u);
}

TEST_F(Bulk, LoaderModeRefusesEveryTransfer)
{
    ASSERT_TRUE(device->Open());
    device->SetFirmwareLoader(true);
    host->ClearTranscript();
    EXPECT_FALSE(device->IsConnected());
    EXPECT_FALSE(device->SendReset());
    EXPECT_FALSE(device->WriteFeature({0x41, 0xF5, 0, 0xFF, 0}));
    EXPECT_FALSE(device->RawWriteFeature(BulkResetRequest().Bytes()));
    EXPECT_FALSE(device->SwitchFromBLMode());
    // And so every loader report, which the bulk interface cannot carry.
    std::uint32_t status = 0;
    EXPECT_FALSE(device->ReadStatus(status));
    EXPECT_EQ(host->TranscriptSize(), 0u);
}

TEST_F(Bulk, WriteFeatureDescribesOneControlRequest)
{
    ASSERT_TRUE(device->Open());
    host->ClearTranscript();
    EXPECT_FALSE(device->WriteFeature({0x41, 0xF5, 0x00, 0xFF}));      // 4 bytes
    EXPECT_FALSE(device->WriteFeature({0x41, 0xF5, 0x00, 0xFF, 0, 0})); // 6 bytes
    EXPECT_EQ(host->TranscriptSize(), 0u);
    // bmRequestType, bRequest, wIndex, wValue, wLength
    EXPECT_FALSE(device->WriteFeature({0x41, 0xF5, 0x03, 0xFF, 0x00})); // wIndex 3: the board stalls
    Bytes report{0xC1, 0x01, 0x00, 0x00, 0x02};
    EXPECT_TRUE(device->ReadFeature(report));
    const std::vector<SimWireRecord> wire = Wire();
    ASSERT_EQ(wire.size(), 2u);
    EXPECT_EQ(wire[0].bytes, (Bytes{0x41, 0xF5, 0xFF, 0x00, 0x03, 0x00, 0x00, 0x00}));
    EXPECT_FALSE(wire[0].ok);
    EXPECT_EQ(Bytes(wire[1].bytes.begin(), wire[1].bytes.begin() + 8), (Bytes{0xC1, 0x01, 0, 0, 0, 0, 0x02, 0}));
    EXPECT_EQ(report, (Bytes{0xC1, 0x01, 0x00, 0x00, 0x02})); // the data stage is not handed back
}

TEST_F(Bulk, DataStageLongerThanTheHostBufferIsRefused)
{
    ASSERT_TRUE(device->Open());
    host->ClearTranscript();
    EXPECT_FALSE(device->WriteFeature({0xC1, 0x01, 0x00, 0x00, 129}));
    Bytes longSetup = UsbSetupPacket{0xC1, 0x01, 0, 0, 0x200}.Bytes();
    EXPECT_FALSE(device->RawReadFeature(longSetup));
    EXPECT_FALSE(device->RawWriteFeature({0xC1, 0x01, 0, 0})); // not a setup packet
    EXPECT_EQ(host->TranscriptSize(), 0u);
    EXPECT_TRUE(device->WriteFeature({0xC1, 0x01, 0x00, 0x00, 2}));
}

TEST_F(Bulk, HidAndUsbCallsDoNotCross)
{
    const CSimHost::Handle file = host->OpenPath(kPath);
    ASSERT_NE(file, 0u);
    Bytes report{0x02, 0x00};
    EXPECT_FALSE(host->SetFeature(file, report));
    EXPECT_FALSE(host->GetFeature(file, report));
    std::uint16_t a = 0, b = 0, c = 0;
    EXPECT_FALSE(host->GetAttributes(file, a, b, c));
    host->CloseHandle(file);

    host->AddNode(NodeAt("hid-node"), std::make_shared<CRecordingBoard>());
    const CSimHost::Handle hid = host->OpenPath("hid-node");
    EXPECT_EQ(host->UsbInitialize(hid), 0u);
    host->CloseHandle(hid);
}

TEST_F(Bulk, ClaimDiesWithItsNode)
{
    ASSERT_TRUE(device->Open());
    host->RemoveNode(kPath);
    EXPECT_FALSE(device->SendReset());
    host->AddUsbNode(NodeAt(kPath), board);
    EXPECT_FALSE(device->SendReset()); // the old handles stay dead
    EXPECT_TRUE(device->Open());        // a fresh open reaches the new node
    EXPECT_TRUE(device->SendReset());
}
