#include "BridgeFixture.h"

using I2CUpdate = BridgeFixture;

TEST_F(I2CUpdate, SRecordUpdateBehindTheBridge)
{
    for (int type = 0; type <= 1; ++type) {
        SCOPED_TRACE(type);
        CFLProtocol::Instance()->SetProtocolType(type);
        // Blocks of 256 bytes (261 with the header: the most the tunnel carries); a protocol type 1
        // loader checks each 4 KiB flash block.
        auto loader = std::make_shared<CSimSRecLoader>(
            Loader({{0, 0x1000, 0x8004}, {0x1000, 0x1000, 4}, {0x2000, 0x1000, 4}, {0x3000, 0x1000, 4}}, 256, type));
        SimI2CBridgeConfig config;
        config.busyPolls = 2 * type; // a slow bridge still delivers the image
        MakeBridge(config, loader);
        const std::vector<SRecBlock> image = {{0x1010, Pattern(700, 1)}, {0x3000, Pattern(36, 2)}};
        device->SetDataSourceFormat(eFormatPen);
        ASSERT_TRUE(device->InitializeProgrammingData(image) && device->ProgramBoard());
        ExpectFlashHolds(*loader, image, 0x1000, 0x4000);
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
