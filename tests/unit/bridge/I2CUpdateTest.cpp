#include "BridgeFixture.h"

#include "FWUpdater/SRecBlock.h"

namespace {

SimSRecLoaderConfig Board(int protocolType_I)
{
    SimSRecLoaderConfig c;
    c.protocolType = protocolType_I;
    c.readSize = 64;
    c.blockSize = 256; // 261 bytes with its header: the most the tunnel carries
    // 4 KiB blocks: a protocol type 1 loader checks each block as 4096 bytes.
    c.blocks = {{0x0000, 0x1000, 0x8004}, {0x1000, 0x1000, 4}, {0x2000, 0x1000, 4}, {0x3000, 0x1000, 4}};
    return c;
}

class I2CUpdate : public BridgeFixture
{
protected:
    bool Update(const std::vector<SRecBlock>& image_I)
    {
        device->SetDataSourceFormat(eFormatPen);
        return device->InitializeProgrammingData(image_I) && device->ProgramBoard();
    }
};

} // namespace

TEST_F(I2CUpdate, SRecordUpdateBehindTheBridge)
{
    for (int type = 0; type <= 1; ++type) {
        SCOPED_TRACE(type);
        CFLProtocol::Instance()->SetProtocolType(type);
        auto loader = std::make_shared<CSimSRecLoader>(Board(type));
        notifier.Clear();
        SimI2CBridgeConfig config;
        config.busyPolls = 2 * type; // a slow bridge still delivers the image
        MakeBridge(config, loader);
        const std::vector<SRecBlock> image = {{0x1010, Pattern(700, 1)}, {0x3000, Pattern(36, 2)}};
        ASSERT_TRUE(Update(image)) << testing::PrintToString(notifier.Errors());
        std::vector<int> expected(0x4000, 0xFF);
        for (const SRecBlock& s : image)
            std::copy(s.data.begin(), s.data.end(), expected.begin() + s.address);
        for (std::uint32_t a = 0x1000; a < 0x4000; ++a)
            ASSERT_EQ(loader->FlashByte(a), expected[a]) << "address 0x" << std::hex << a;
        EXPECT_TRUE(loader->ApplicationValid());
        EXPECT_EQ(loader->RefusedCount(), 0);
        EXPECT_EQ(device->GetChecksumNew(), device->GetChecksumExpected());
        // Nothing but bridge reports crossed the OS boundary.
        for (const SimWireRecord& r : host->Transcript())
            ASSERT_TRUE(r.bytes[0] >= 0xB0 && r.bytes[0] <= 0xB2) << int(r.bytes[0]);
        EXPECT_TRUE(device->SwitchFromBLMode());
        EXPECT_FALSE(bridge->InLoader());
    }
}
