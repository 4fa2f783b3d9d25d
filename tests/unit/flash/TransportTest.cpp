// Report ids, the vendor-page wrapper, and the HID variant's mode switches, liveness check and
// reset through the simulated platform class.

#include "FlashFixture.h"
#include "TestSupport.h"

#include "FWUpdater/HIDVendorWrapper.h"

using Bytes = std::vector<std::uint8_t>;

TEST(ReportIds, Protocol1AddsC1ExceptTheLoaderByte)
{
    EXPECT_EQ(BLReportIdFor(eBL_HID_REP_READ_ID, 0), 0x10);
    EXPECT_EQ(BLReportIdFor(eBL_HID_REP_READ_ID, 1), 0xD1);
    EXPECT_EQ(BLReportIdFor(eBL_HID_REP_CPU_COUNT_ID, 1), 0xE3);
    EXPECT_EQ(BLReportIdFor(eBL_HID_REP_CALC_BLOCK_CHECKSUM_ID, 1), 0xDC);
    EXPECT_EQ(BLReportIdFor(eBL_HID_REP_LOADER_BYTE_ID, 0), 0x1F);
    EXPECT_EQ(BLReportIdFor(eBL_HID_REP_LOADER_BYTE_ID, 1), 0x1F);
    EXPECT_EQ(BLReportIdFor(eBL_HID_REP_INTELHEX_PROGRAMMING_ID, 1), 0xE4);
}

TEST(ReportIds, IntelHexReportInProtocol0AssertsAndIsZero)
{
    CDiagnosticCapture capture;
    auto protocol = CFLProtocol::Instance();
    protocol->SetProtocolType(0);
    EXPECT_EQ(protocol->ReportId(eBL_HID_REP_INTELHEX_PROGRAMMING_ID), 0);
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_EQ(capture.Lines()[0],
              "Assert:(\"eBL_HID_REP_INTELHEX_PROGRAMMING_ID NOT SUPPORTED FOR CURRENT PROTOCOL\") in FLProtocol at 71\n");
    protocol->SetProtocolType(1);
    EXPECT_EQ(protocol->ReportId(eBL_HID_REP_INTELHEX_PROGRAMMING_ID), 0xE4);
    EXPECT_EQ(capture.Lines().size(), 1u);
    protocol->SetProtocolType(0);
}

TEST(VendorWrapper, ShortReportIsPaddedTo1024)
{
    Bytes wrapped;
    ASSERT_TRUE(WrapVendorReport({0x14, 1, 2, 3, 4}, wrapped));
    ASSERT_EQ(wrapped.size(), 1024u);
    EXPECT_EQ(Bytes(wrapped.begin(), wrapped.begin() + 8), (Bytes{0xDC, 0x00, 0x05, 0x14, 1, 2, 3, 4}));
    EXPECT_TRUE(std::all_of(wrapped.begin() + 8, wrapped.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST(VendorWrapper, LongReportIsNotCutAndHugeOneIsRefused)
{
    Bytes wrapped;
    ASSERT_TRUE(WrapVendorReport(Bytes(1100, 0x11), wrapped));
    EXPECT_EQ(wrapped.size(), 1103u);
    EXPECT_EQ(wrapped[1], 0x04);
    EXPECT_EQ(wrapped[2], 0x4C);
    EXPECT_FALSE(WrapVendorReport(Bytes(0x10000, 0x11), wrapped));
    EXPECT_FALSE(WrapVendorReport(Bytes(), wrapped));
}

TEST(VendorWrapper, UnwrapChecksTheLengthFieldAgainstTheBytesPresent)
{
    Bytes inner;
    EXPECT_TRUE(UnwrapVendorReport({0xDC, 0x00, 0x02, 0x21, 0x01, 0x00}, inner));
    EXPECT_EQ(inner, (Bytes{0x21, 0x01}));
    inner = {9};
    EXPECT_FALSE(UnwrapVendorReport({0xDC, 0x00, 0x04, 0x21, 0x01, 0x00}, inner));
    EXPECT_FALSE(UnwrapVendorReport({0xDC, 0xFF}, inner));
    EXPECT_FALSE(UnwrapVendorReport({0x21, 0x00, 0x01, 0x21}, inner));
    EXPECT_EQ(inner, (Bytes{9}));
}

TEST(VendorWrapper, GetAnswerOfTheWrongLengthLeavesTheRequestAlone)
{
    Bytes report{0x17, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const Bytes original = report;
    // The device claims 12 inner bytes for a 13-byte request.
    auto claims = [](std::uint16_t length) {
        return [length](Bytes& buffer) {
            buffer.assign(1024, 0x77);
            buffer[0] = 0xDC;
            buffer[1] = static_cast<std::uint8_t>(length >> 8);
            buffer[2] = static_cast<std::uint8_t>(length);
            return true;
        };
    };
    EXPECT_FALSE(HIDGetFeature(0xFF00, report, claims(12)));
    EXPECT_FALSE(HIDGetFeature(0xFF00, report, claims(0xFFFF)));
    EXPECT_EQ(report, original);
    EXPECT_TRUE(HIDGetFeature(0xFF00, report, claims(13)));
    EXPECT_EQ(report, Bytes(13, 0x77));
}

TEST(VendorWrapper, OtherPagesPassTheReportThrough)
{
    Bytes seen;
    EXPECT_TRUE(HIDSetFeature(0x000D, {0x02, 0x00}, [&](Bytes& b) {
        seen = b;
        return true;
    }));
    EXPECT_EQ(seen, (Bytes{0x02, 0x00}));
    Bytes report{0x14, 0, 0, 0, 0};
    // A transport must not hand back more than was asked for.
    EXPECT_FALSE(HIDGetFeature(0x000D, report, [](Bytes& b) {
        b.resize(9, 1);
        return true;
    }));
}

namespace {

class HIDVariant : public FlashFixture
{
protected:
    SimSRecLoaderConfig Board(bool inLoader)
    {
        SimSRecLoaderConfig c;
        c.blocks = {{0, 0x100, 4}};
        c.startInLoader = inLoader;
        return c;
    }
};

} // namespace

TEST_F(HIDVariant, AttributesUsageAndParentIdsComeFromTheHost)
{
    MakeBoard(Board(false), 0x000D, false);
    EXPECT_EQ(device->GetVendorId(), 0x2D1F);
    EXPECT_EQ(device->GetProductId(), 0x0200);
    EXPECT_EQ(device->GetVersion(), 0x0110);
    EXPECT_EQ(device->GetUsagePage(), 0x000D);
    EXPECT_EQ(device->GetUsage(), 0x0002);
    EXPECT_FALSE(device->IsOpen());
    EXPECT_EQ(device->GetParentDeviceId(0), "HID\\VID_2D1F&PID_0200\\7&1A2B3C&0&0000");
    EXPECT_EQ(device->GetParentDeviceId(1), "USB\\VID_2D1F&PID_0200\\5&2F3D&0&2");
    EXPECT_EQ(device->GetParentDeviceId(7), "");
    EXPECT_EQ(host->OpenHandles(), 0);
}

TEST_F(HIDVariant, MissingPathDoesNotOpen)
{
    CSimHIDFLDeviceInterface absent("\\\\?\\hid#nothing#here#{guid}", host);
    EXPECT_FALSE(absent.Open());
    EXPECT_FALSE(absent.IsOpen());
    EXPECT_FALSE(absent.ReadAttributes());
    EXPECT_EQ(absent.GetParentDeviceId(0), "");
}

TEST_F(HIDVariant, SwitchToLoaderSendsBothReportsAndCloses)
{
    MakeBoard(Board(false), 0x000D, false);
    EXPECT_TRUE(device->SwitchToBLMode());
    const auto wire = Wire();
    ASSERT_EQ(wire.size(), 2u);
    EXPECT_EQ(wire[0].bytes, (Bytes{0xCC, 0x05, 0x6A}));
    EXPECT_EQ(wire[1].bytes, (Bytes{0xCC, 0x6A, 0x05}));
    EXPECT_FALSE(device->IsOpen());
    EXPECT_TRUE(loader->InLoader());
}

TEST_F(HIDVariant, SwitchToLoaderWhenAlreadyThereSendsNothing)
{
    MakeBoard(Board(true));
    EXPECT_FALSE(device->SwitchToBLMode());
    EXPECT_TRUE(Wire().empty());
    EXPECT_FALSE(device->IsOpen());
}

TEST_F(HIDVariant, SwitchFromLoaderSendsExitLoader)
{
    MakeBoard(Board(true));
    EXPECT_TRUE(device->SwitchFromBLMode());
    EXPECT_EQ(Wire().at(0).bytes, (Bytes{0x15, 0, 0, 0, 0}));
    EXPECT_FALSE(loader->InLoader()); // its image checks out, so it starts the application
    device->Close();
    EXPECT_FALSE(device->SwitchFromBLMode());
}

TEST_F(HIDVariant, LivenessCheckPerMode)
{
    MakeBoard(Board(false), 0x000D, false);
    EXPECT_FALSE(device->IsConnected()); // closed: nothing sent
    EXPECT_TRUE(Wire().empty());
    ASSERT_TRUE(device->Open());
    EXPECT_TRUE(device->IsConnected());
    EXPECT_EQ(Wire().back().bytes, (Bytes{0x02, 0x00}));

    host = std::make_shared<CSimHost>();
    MakeBoard(Board(true));
    EXPECT_TRUE(device->IsConnected());
    EXPECT_EQ(WireIds(), (std::vector<std::string>{"GET 14"}));
}

TEST_F(HIDVariant, ResetOnlyInNormalMode)
{
    MakeBoard(Board(false));
    EXPECT_TRUE(device->SendReset());
    EXPECT_EQ(Wire().back().bytes, (Bytes{0x08, 0x01, 0x00, 0xAA, 0xAA}));
    EXPECT_EQ(loader->ResetCount(), 1);
    device->SetFirmwareLoader(true);
    host->ClearTranscript();
    EXPECT_FALSE(device->SendReset());
    EXPECT_TRUE(Wire().empty());
}

TEST_F(HIDVariant, WrappedFiveByteWriteOnTheVendorPage)
{
    wrapped = true;
    MakeBoard(Board(true), 0xFF00);
    EXPECT_TRUE(device->SendValue(0x04030201));
    const auto raw = host->Transcript();
    ASSERT_EQ(raw.size(), 1u);
    ASSERT_EQ(raw[0].bytes.size(), 1024u);
    EXPECT_EQ(Bytes(raw[0].bytes.begin(), raw[0].bytes.begin() + 8), (Bytes{0xDC, 0x00, 0x05, 0x13, 1, 2, 3, 4}));
}

TEST_F(HIDVariant, LyingWrapperLengthIsAFailedReadNotAnOverrun)
{
    wrapped = true;
    MakeBoard(Board(true), 0xFF00);
    int tampered = 0;
    host->SetWireTamper([&](const std::string&, Bytes& bytes, bool&) {
        ++tampered;
        bytes[1] = 0xFF;
        bytes[2] = 0xFF;
    });
    std::uint32_t status = 0;
    EXPECT_FALSE(device->ReadStatus(status));
    // 100 attempts, the reopen's own liveness read, the last attempt.
    EXPECT_EQ(tampered, 102);
    host->SetWireTamper(nullptr);
    EXPECT_TRUE(device->ReadStatus(status));
}

TEST_F(HIDVariant, DeviceInfoIsHexadecimalThroughout)
{
    MakeBoard(Board(true));
    EXPECT_EQ(device->GetDeviceInfo(), "\tVendor ID = 0x2d1f\n\tProduct ID = 0x200\n\tFirmware Loader = YES\n"
                                       "\tIs Open = YES\n\tInterface = HID\n\tPath = " +
                                           std::string(kPath) +
                                           "\n\tUsagePage (Actual) = d\n\tUsage (Actual) = 2\n\tVersion = 110\n");
}

TEST(DeviceInterfaceBasics, PathNumbersChecksumsAndChecksumBlocks)
{
    auto host = std::make_shared<CSimHost>();
    CSimHIDFLDeviceInterface device("12", host);
    EXPECT_EQ(device.GetPathNumber(), 12);
    device.SetPathNumber(4000000000u);
    EXPECT_THROW(device.GetPathNumber(), std::out_of_range);
    device.SetPath("abc");
    EXPECT_THROW(device.GetPathNumber(), std::invalid_argument);
    EXPECT_EQ(device.CalculateChecksum({}), 0u);
    EXPECT_EQ(device.CalculateChecksum({0xFF, 0xFF}), 0x1FEu);
    for (int format : {eFormatPen, eFormatTouch, eFormatVel, eFormatIntelHex, eFormatAiroFlash}) {
        device.SetDataSourceFormat(format);
        EXPECT_TRUE(device.IsChecksumBlock(38));
        EXPECT_EQ(device.IsChecksumBlock(39), format != eFormatPen && format != eFormatTouch);
    }
    CRecordingNotifier notifier;
    device.SetNotifier(&notifier);
    device.LogCommand({0x0A, 0xFF});
    EXPECT_EQ(notifier.Logs(), (std::vector<std::string>{"cmd: 0A FF "}));
}

TEST(DeviceInterfaceBasics, UnknownFormatAsserts)
{
    CDiagnosticCapture capture;
    auto host = std::make_shared<CSimHost>();
    CSimHIDFLDeviceInterface device("x", host);
    EXPECT_FALSE(device.ProgramBoard());
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_EQ(capture.Lines()[0], "Assert:(\"Unsupported data source format\") in CFLDeviceInterface at 198\n");
}
