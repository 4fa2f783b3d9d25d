// Complete updates of a board behind the simulated I2C bridge through CSimI2CFLDeviceInterface.

#include "BridgeFixture.h"

#include "CSimImageLoader.h"
#include "FWUpdater/CIntelHex.h"
#include "FWUpdater/SRecBlock.h"
#include "TestSupport.h"

namespace {

class I2CUpdate : public BridgeFixture
{
protected:
    SimSRecLoaderConfig Board(int protocolType_I)
    {
        SimSRecLoaderConfig c;
        c.protocolType = protocolType_I;
        c.readSize = 64;
        c.wordSize = 4;
        c.blockSize = 256; // 261 bytes with its header: the most the tunnel carries
        // 4 KiB blocks: a protocol type 1 loader checks each block as 4096 bytes.
        c.blocks = {{0x0000, 0x1000, 0x8004}, {0x1000, 0x1000, 4}, {0x2000, 0x1000, 4}, {0x3000, 0x1000, 4}};
        return c;
    }

    bool Update(const std::vector<SRecBlock>& image_I)
    {
        device->SetDataSourceFormat(eFormatPen);
        if (!device->InitializeProgrammingData(image_I))
            return false;
        return device->ProgramBoard();
    }

    void ExpectFlashHolds(const CSimSRecLoader& loader_I, const std::vector<SRecBlock>& image_I)
    {
        std::vector<int> expected(0x4000, 0xFF);
        for (const SRecBlock& s : image_I)
            for (std::size_t i = 0; i < s.data.size(); ++i)
                expected[s.address + i] = s.data[i];
        for (std::uint32_t a = 0x1000; a < 0x4000; ++a)
            ASSERT_EQ(loader_I.FlashByte(a), expected[a]) << "address 0x" << std::hex << a;
    }
};

} // namespace

TEST_F(I2CUpdate, SRecordUpdateBehindTheBridge)
{
    for (int type = 0; type <= 1; ++type) {
        SCOPED_TRACE(type);
        CFLProtocol::Instance()->SetProtocolType(type);
        auto loader = std::make_shared<CSimSRecLoader>(Board(type));
        notifier.mEntries.clear();
        MakeBridge(loader);
        const std::vector<SRecBlock> image = {{0x1010, Pattern(700, 1)}, {0x3000, Pattern(36, 2)}};
        ASSERT_TRUE(Update(image)) << (notifier.Errors().empty() ? "" : notifier.Errors().back());
        ExpectFlashHolds(*loader, image);
        EXPECT_TRUE(loader->ApplicationValid());
        EXPECT_EQ(loader->RefusedCount(), 0);
        EXPECT_EQ(device->GetChecksumNew(), device->GetChecksumExpected());
        EXPECT_TRUE(notifier.Errors().empty());
        EXPECT_GT(bridge->TunnelledWrites(), 10);
        EXPECT_GT(bridge->TunnelledReads(), 5);
        // Nothing but bridge reports crossed the OS boundary.
        for (const SimWireRecord& r : host->Transcript())
            ASSERT_TRUE(r.bytes[0] == 0xB0 || r.bytes[0] == 0xB1 || r.bytes[0] == 0xB2) << int(r.bytes[0]);
        EXPECT_TRUE(device->SwitchFromBLMode());
        EXPECT_FALSE(bridge->InLoader());
        device.reset();
        host = std::make_shared<CSimHost>();
    }
}

TEST_F(I2CUpdate, SlowBridgeStillDeliversTheImage)
{
    SimI2CBridgeConfig config;
    config.busyPolls = 2;
    auto loader = std::make_shared<CSimSRecLoader>(Board(1));
    CFLProtocol::Instance()->SetProtocolType(1);
    MakeBridge(loader, config);
    const std::vector<SRecBlock> image = {{0x2000, Pattern(300, 4)}};
    ASSERT_TRUE(Update(image));
    ExpectFlashHolds(*loader, image);
    EXPECT_TRUE(loader->ApplicationValid());
}

TEST_F(I2CUpdate, BlockTooLargeForTheTunnelFailsWithoutWriting)
{
    SimSRecLoaderConfig config = Board(0);
    config.blockSize = 512; // a 517-byte write report cannot be tunnelled
    auto loader = std::make_shared<CSimSRecLoader>(config);
    MakeBridge(loader);
    const std::vector<SRecBlock> image = {{0x1000, Pattern(600, 5)}};
    EXPECT_FALSE(Update(image));
    EXPECT_EQ(loader->FlashByte(0x1000), 0xFF);
    // The refused reports never reached the bridge.
    for (const SimWireRecord& r : host->Transcript())
        if (r.direction == ESimWireDirection::eSet && r.bytes[0] == 0xB2) {
            EXPECT_NE(r.bytes[4], 0x11);
        }
}

TEST_F(I2CUpdate, WholeImageReportDoesNotFitTheTunnel)
{
    CFLProtocol::Instance()->SetProtocolType(1);
    auto loader = std::make_shared<CSimImageLoader>();
    MakeBridge(loader);
    CTempDir dir;
    Bytes data = Pattern(512, 2);
    std::string text;
    for (std::size_t o = 0; o < data.size(); o += 16) {
        char line[64];
        const unsigned address = 0x8000 + static_cast<unsigned>(o);
        unsigned sum = 16 + (address >> 8) + (address & 0xFF);
        std::snprintf(line, sizeof line, ":10%04X00", address);
        text += line;
        for (std::size_t i = 0; i < 16; ++i) {
            std::snprintf(line, sizeof line, "%02X", data[o + i]);
            text += line;
            sum += data[o + i];
        }
        std::snprintf(line, sizeof line, "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
        text += line;
    }
    text += ":00000001FF\r\n";
    WriteFile(dir.File("t.hex"), text);
    auto hex = std::make_shared<CIntelHex>();
    ASSERT_TRUE(hex->Load(dir.File("t.hex")));
    device->SetDataSourceFormat(eFormatIntelHex);
    device->SetIntelHexData(hex);
    host->ClearTranscript();
    EXPECT_FALSE(device->ProgramBoard());
    EXPECT_TRUE(notifier.HasError("ProgramBoardIntelHex: Programming error happens - device not responding"));
    // A 512-byte report is refused by the tunnel itself: no bridge write request went out.
    EXPECT_EQ(CountOnWire(ESimWireDirection::eSet, 0xB2), 0);
    EXPECT_FALSE(loader->Started());
}
