// The I2C variant through the simulated bridge: tunnel framing and limits, statuses, bounded
// busy polling, mode query and switches, and hostile bridge answers.

#include "BridgeFixture.h"

#include "FWUpdater/ByteOrder.h"

namespace {

class I2CTunnel : public BridgeFixture
{
};

} // namespace

TEST_F(I2CTunnel, ReportOf262BytesIsRefusedWithoutIO)
{
    MakeRecordingBridge();
    EXPECT_FALSE(device->WriteFeature(Bytes(262, 0x11)));
    EXPECT_EQ(host->TranscriptSize(), 0u);
    EXPECT_TRUE(clock->sleeps().empty());
}

TEST_F(I2CTunnel, ReportOf261BytesGoesOutInOneWriteRequest)
{
    MakeRecordingBridge();
    Bytes report = Pattern(261, 5);
    report[0] = 0xD2;
    ASSERT_TRUE(device->WriteFeature(report));
    // The board got exactly the report.
    ASSERT_EQ(board->sets.size(), 1u);
    EXPECT_EQ(board->sets[0], report);
    // On the wire (vendor page 0xFF0D: not wrapped): one 265-byte B2 request, one status GET.
    const std::vector<SimWireRecord> wire = Wire();
    ASSERT_EQ(wire.size(), 2u);
    EXPECT_EQ(wire[0].direction, ESimWireDirection::eSet);
    ASSERT_EQ(wire[0].bytes.size(), 265u);
    EXPECT_EQ(Bytes(wire[0].bytes.begin(), wire[0].bytes.begin() + 4), (Bytes{0xB2, 0x01, 0x05, 0x01}));
    EXPECT_EQ(Bytes(wire[0].bytes.begin() + 4, wire[0].bytes.end()), report);
    EXPECT_EQ(wire[1].direction, ESimWireDirection::eGet);
    EXPECT_EQ(wire[1].bytes, (Bytes{0xB2, 0xF2, 0, 0, 0, 0xD2}));
    EXPECT_EQ(clock->sleeps(), (std::vector<std::uint32_t>{20}));
}

TEST_F(I2CTunnel, ShortReportIsPaddedWithZeros)
{
    MakeRecordingBridge();
    ASSERT_TRUE(device->WriteFeature({0x12, 1, 2, 3, 4}));
    const Bytes request = Wire()[0].bytes;
    ASSERT_EQ(request.size(), 265u);
    EXPECT_EQ(Bytes(request.begin(), request.begin() + 9), (Bytes{0xB2, 0x01, 0x05, 0x00, 0x12, 1, 2, 3, 4}));
    EXPECT_TRUE(std::all_of(request.begin() + 9, request.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST_F(I2CTunnel, WriteStatuses)
{
    MakeRecordingBridge();
    // F2 whose echo is another id: false.
    bridge->SetAnswerTamper(0xB2, [](Bytes& a) { a[5] = 0x99; });
    EXPECT_FALSE(device->WriteFeature({0x12, 0, 0, 0, 0}));
    // F0: done without echo.
    bridge->SetAnswerTamper(0xB2, nullptr);
    bridge->Config().writeEcho = false;
    EXPECT_TRUE(device->WriteFeature({0x12, 0, 0, 0, 0}));
    // F3: the board refused.
    board->acceptSets = false;
    EXPECT_FALSE(device->WriteFeature({0x12, 0, 0, 0, 0}));
    // An unknown status: false.
    board->acceptSets = true;
    bridge->SetAnswerTamper(0xB2, [](Bytes& a) { a[1] = 0x42; });
    EXPECT_FALSE(device->WriteFeature({0x12, 0, 0, 0, 0}));
    // A status answer with another id in byte 0: false.
    bridge->SetAnswerTamper(0xB2, [](Bytes& a) { a[0] = 0xB1; });
    EXPECT_FALSE(device->WriteFeature({0x12, 0, 0, 0, 0}));
}

TEST_F(I2CTunnel, WriteRequestNotSentFailsAfterItsPause)
{
    MakeRecordingBridge();
    bridge->FailSets(0xB2, 1);
    EXPECT_FALSE(device->WriteFeature({0x12, 0, 0, 0, 0}));
    EXPECT_EQ(CountOnWire(ESimWireDirection::eGet, 0xB2), 0);
    EXPECT_EQ(clock->sleeps(), (std::vector<std::uint32_t>{20}));
}

TEST_F(I2CTunnel, ReadCopiesTheAnswerOfTheRequestedLength)
{
    MakeRecordingBridge();
    Bytes report(13, 0);
    report[0] = 0x17;
    ASSERT_TRUE(device->ReadFeature(report));
    Bytes expected(board->answer.begin(), board->answer.begin() + 13);
    expected[0] = 0x17;
    EXPECT_EQ(report, expected);
    const std::vector<SimWireRecord> wire = Wire();
    ASSERT_EQ(wire.size(), 2u);
    EXPECT_EQ(wire[0].bytes, (Bytes{0xB1, 0x01, 0x17, 0x0D, 0x00}));
    ASSERT_EQ(wire[1].bytes.size(), 266u);
    EXPECT_EQ(wire[1].bytes[1], 0xF2);
    ASSERT_EQ(board->gets.size(), 1u);
    EXPECT_EQ(board->gets[0].size(), 13u);
}

TEST_F(I2CTunnel, ReadWithWrongLengthOrIdFailsAndLeavesTheBuffer)
{
    MakeRecordingBridge();
    const Bytes request{0x17, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Bytes report = request;
    bridge->SetAnswerTamper(0xB1, [](Bytes& a) { PutU16LE(a, 3, 12); });
    EXPECT_FALSE(device->ReadFeature(report));
    EXPECT_EQ(report, request);
    // A length far beyond the answer must not be copied either.
    bridge->SetAnswerTamper(0xB1, [](Bytes& a) { PutU16LE(a, 3, 0xFFFF); });
    EXPECT_FALSE(device->ReadFeature(report));
    EXPECT_EQ(report, request);
    bridge->SetAnswerTamper(0xB1, [](Bytes& a) { a[5] = 0x18; });
    EXPECT_FALSE(device->ReadFeature(report));
    EXPECT_EQ(report, request);
    // The board gave fewer bytes than asked: the bridge reports its true length.
    bridge->SetAnswerTamper(0xB1, nullptr);
    board->answer.resize(7);
    EXPECT_FALSE(device->ReadFeature(report));
    EXPECT_EQ(report, request);
}

TEST_F(I2CTunnel, ReadAnsweredDoneLeavesTheBuffer)
{
    MakeRecordingBridge();
    bridge->SetAnswerTamper(0xB1, [](Bytes& a) {
        a.assign(266, 0x5A);
        a[0] = 0xB1;
        a[1] = 0xF0;
    });
    Bytes report{0x14, 0, 0, 0, 0};
    EXPECT_TRUE(device->ReadFeature(report));
    EXPECT_EQ(report, (Bytes{0x14, 0, 0, 0, 0}));
}

TEST_F(I2CTunnel, ReadFailedOrShortAnswers)
{
    MakeRecordingBridge();
    Bytes report{0x14, 0, 0, 0, 0};
    board->answerGets = false; // F3
    EXPECT_FALSE(device->ReadFeature(report));
    board->answerGets = true;
    // A bridge that answers fewer bytes than its report holds.
    bridge->SetAnswerTamper(0xB1, [](Bytes& a) { a.resize(6); });
    EXPECT_FALSE(device->ReadFeature(report));
    bridge->SetAnswerTamper(0xB2, [](Bytes& a) { a.resize(2); });
    EXPECT_FALSE(device->WriteFeature(report));
    EXPECT_EQ(report, (Bytes{0x14, 0, 0, 0, 0}));
}

TEST_F(I2CTunnel, LongerReadIsRequestedWith261Bytes)
{
    MakeRecordingBridge();
    Bytes report(300, 0);
    report[0] = 0x18;
    ASSERT_TRUE(device->ReadFeature(report));
    EXPECT_EQ(Wire()[0].bytes, (Bytes{0xB1, 0x01, 0x18, 0x05, 0x01}));
    ASSERT_EQ(report.size(), 300u);
    EXPECT_EQ(Bytes(report.begin() + 1, report.begin() + 261), Bytes(board->answer.begin() + 1, board->answer.end()));
    EXPECT_TRUE(std::all_of(report.begin() + 261, report.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST_F(I2CTunnel, BusyBridgeIsPolledEveryTwentyMilliseconds)
{
    SimI2CBridgeConfig config;
    config.busyPolls = 3;
    MakeRecordingBridge(config);
    ASSERT_TRUE(device->WriteFeature({0x12, 0, 0, 0, 0}));
    EXPECT_EQ(CountOnWire(ESimWireDirection::eGet, 0xB2), 4);
    EXPECT_EQ(clock->sleeps(), (std::vector<std::uint32_t>{20, 20, 20, 20}));
    clock->clearSleeps();
    Bytes report{0x14, 0, 0, 0, 0};
    ASSERT_TRUE(device->ReadFeature(report));
    EXPECT_EQ(clock->sleeps(), (std::vector<std::uint32_t>{20, 20, 20, 20}));
}

TEST_F(I2CTunnel, StuckBridgeIsGivenUpAfterSixtyPolls)
{
    SimI2CBridgeConfig config;
    config.busyPolls = -1;
    MakeRecordingBridge(config);
    EXPECT_FALSE(device->WriteFeature({0x12, 0, 0, 0, 0}));
    EXPECT_EQ(CountOnWire(ESimWireDirection::eGet, 0xB2), 60);
    EXPECT_EQ(clock->sleeps(), std::vector<std::uint32_t>(60, 20)); // after the request, between polls
    host->ClearTranscript();
    Bytes report{0x14, 0, 0, 0, 0};
    EXPECT_FALSE(device->ReadFeature(report));
    EXPECT_EQ(CountOnWire(ESimWireDirection::eGet, 0xB1), 60);
}

TEST_F(I2CTunnel, LoaderModeIsAskedOnEveryCall)
{
    MakeRecordingBridge();
    const int before = bridge->ModeQueries();
    EXPECT_TRUE(device->IsFirmwareLoader());
    EXPECT_TRUE(device->IsFirmwareLoader());
    EXPECT_EQ(bridge->ModeQueries(), before + 2);
    EXPECT_EQ(Wire().back().bytes, (Bytes{0xB0, 0x00, 0x00}));
    // The mode query goes out as B0 FF FF.
    EXPECT_EQ(bridge->LastModeQuery(), (Bytes{0xB0, 0xFF, 0xFF}));
    bridge->SetAnswerTamper(0xB0, [](Bytes& a) { a[2] = 0x01; }); // anything but 00 00 = normal
    EXPECT_FALSE(device->IsFirmwareLoader());
    bridge->SetAnswerTamper(0xB0, [](Bytes& a) { a.resize(1); }); // a short answer proves nothing
    EXPECT_FALSE(device->IsFirmwareLoader());
    bridge->SetAnswerTamper(0xB0, nullptr);
    bridge->FailGets(0xB0, 1);
    EXPECT_FALSE(device->IsFirmwareLoader());
    EXPECT_TRUE(device->IsFirmwareLoader());
}

TEST_F(I2CTunnel, SwitchToLoaderWithABridgeThatNeverSwitches)
{
    SimI2CBridgeConfig config;
    config.startInLoader = false;
    config.enterAfterWrites = -1;
    MakeRecordingBridge(config);
    device->Close();
    host->ClearTranscript();
    EXPECT_FALSE(device->SwitchToBLMode());
    EXPECT_EQ(bridge->EnterRequests(), 60);
    EXPECT_EQ(clock->sleeps(), std::vector<std::uint32_t>(60, 500));
    EXPECT_FALSE(device->IsOpen());
    EXPECT_EQ(host->OpenHandles(), 0);
    // Every switch request is B0 00 00.
    for (const SimWireRecord& r : Wire())
        if (r.direction == ESimWireDirection::eSet) {
            EXPECT_EQ(r.bytes, (Bytes{0xB0, 0x00, 0x00}));
        }
}

TEST_F(I2CTunnel, SwitchToLoaderWaitsForTheBoard)
{
    SimI2CBridgeConfig config;
    config.startInLoader = false;
    config.enterAfterWrites = 3;
    MakeRecordingBridge(config);
    device->Close();
    EXPECT_TRUE(device->SwitchToBLMode());
    EXPECT_EQ(bridge->EnterRequests(), 3);
    EXPECT_EQ(clock->sleeps(), std::vector<std::uint32_t>(3, 500));
    EXPECT_FALSE(device->IsOpen());
    EXPECT_TRUE(bridge->InLoader());
    // Already in loader mode: nothing to switch.
    clock->clearSleeps();
    EXPECT_TRUE(device->SwitchToBLMode());
    EXPECT_EQ(bridge->EnterRequests(), 3);
    EXPECT_TRUE(clock->sleeps().empty());
}

TEST_F(I2CTunnel, SwitchToLoaderWhenTheBridgeCannotBeOpened)
{
    MakeRecordingBridge();
    device->Close();
    host->RemoveNode(kPath);
    EXPECT_FALSE(device->SwitchToBLMode());
    EXPECT_FALSE(device->IsOpen());
}

TEST_F(I2CTunnel, SwitchFromLoader)
{
    SimI2CBridgeConfig config;
    config.leaveAfterWrites = 2;
    MakeRecordingBridge(config);
    device->Close();
    EXPECT_FALSE(device->SwitchFromBLMode()); // needs an open interface
    ASSERT_TRUE(device->Open());
    clock->clearSleeps();
    EXPECT_TRUE(device->SwitchFromBLMode());
    EXPECT_EQ(bridge->LeaveRequests(), 2);
    EXPECT_TRUE(clock->sleeps().empty());
    EXPECT_FALSE(bridge->InLoader());
    EXPECT_TRUE(device->SwitchFromBLMode()); // already out: nothing sent
    EXPECT_EQ(bridge->LeaveRequests(), 2);
}

TEST_F(I2CTunnel, SwitchFromLoaderWithABridgeThatNeverLeaves)
{
    SimI2CBridgeConfig config;
    config.leaveAfterWrites = -1;
    MakeRecordingBridge(config);
    clock->clearSleeps();
    EXPECT_FALSE(device->SwitchFromBLMode());
    EXPECT_EQ(bridge->LeaveRequests(), 60);
    EXPECT_TRUE(clock->sleeps().empty()); // no pause between the tries
}

TEST_F(I2CTunnel, LivenessAndReset)
{
    SimI2CBridgeConfig config;
    config.startInLoader = false;
    MakeRecordingBridge(config);
    // Normal mode: a raw ping to the bridge, never tunnelled.
    EXPECT_TRUE(device->IsConnected());
    EXPECT_EQ(Wire().back().bytes, (Bytes{0x02, 0x00}));
    EXPECT_EQ(bridge->TunnelledWrites(), 0);
    // Loader mode: the status report through the tunnel.
    bridge->Config().enterAfterWrites = 1;
    ASSERT_TRUE(device->RawWriteFeature({0xB0, 0x00, 0x00}));
    host->ClearTranscript();
    EXPECT_TRUE(device->IsConnected());
    ASSERT_FALSE(board->gets.empty());
    EXPECT_EQ(board->gets.back(), (Bytes{0x14, 0, 0, 0, 0}));
    // No reset through a bridge.
    host->ClearTranscript();
    EXPECT_FALSE(device->SendReset());
    EXPECT_EQ(host->TranscriptSize(), 0u);
    device->Close();
    EXPECT_FALSE(device->IsConnected());
}

TEST_F(I2CTunnel, VendorPageBridgeWrapsItsOwnReports)
{
    board = std::make_shared<CRecordingBoard>();
    MakeBridge(board, SimI2CBridgeConfig(), 0xFF00);
    ASSERT_TRUE(device->WriteFeature({0x12, 7, 0, 0, 0}));
    const std::vector<SimWireRecord> wire = Wire();
    ASSERT_EQ(wire.size(), 2u);
    ASSERT_EQ(wire[0].bytes.size(), 1024u);
    EXPECT_EQ(Bytes(wire[0].bytes.begin(), wire[0].bytes.begin() + 9), (Bytes{0xDC, 0x01, 0x09, 0xB2, 0x01, 0x05, 0x00, 0x12, 7}));
    ASSERT_EQ(board->sets.size(), 1u);
    EXPECT_EQ(board->sets[0], (Bytes{0x12, 7, 0, 0, 0}));
}

// Leaving the loader ends an update as a success, so one garbled mode answer must not count: the
// board must answer "normal" twice in a row, and an answer to another report is no answer.
TEST_F(I2CTunnel, OneGarbledModeAnswerDoesNotPassTheLoaderForLeft)
{
    struct Case
    {
        const char* what;
        std::function<void(Bytes&)> garble;
    };
    const Case cases[] = {
        {"a bit of 00 00 flipped", [](Bytes& a) { a[1] ^= 0x04; }},
        {"another report's answer", [](Bytes& a) { a = {0xB1, 0x01, 0x01}; }},
    };
    // A garbled answer followed by a failed query: the mode remembered from the garbled one must
    // not count as the second answer.
    {
        SimI2CBridgeConfig config;
        config.leaveAfterWrites = -1;
        MakeRecordingBridge(config);
        int queries = 0;
        bridge->SetAnswerTamper(0xB0, [&](Bytes& a) {
            if (queries++ % 2 == 0)
                a[2] ^= 0x01;
        });
        // The query after the first garbled answer fails on the link.
        bridge->FailGets(0xB0, 1, 1);
        EXPECT_FALSE(device->SwitchFromBLMode());
        EXPECT_TRUE(bridge->InLoader());
        bridge->SetAnswerTamper(0xB0, nullptr);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimI2CBridgeConfig config;
        config.leaveAfterWrites = -1; // the board stays in its loader whatever it is told
        MakeRecordingBridge(config);
        int queries = 0;
        // Every other answer garbled: never two true "normal" answers in a row.
        bridge->SetAnswerTamper(0xB0, [&](Bytes& a) {
            if (queries++ % 2 == 0)
                c.garble(a);
        });
        EXPECT_FALSE(device->SwitchFromBLMode());
        EXPECT_TRUE(bridge->InLoader());
        bridge->SetAnswerTamper(0xB0, nullptr);
    }
}
