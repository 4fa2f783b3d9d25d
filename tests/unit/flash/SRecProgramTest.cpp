// Complete S-record updates through the real device interface against the simulated loader.

#include "FlashFixture.h"

#include "FWUpdater/SRecBlock.h"

namespace {

SimSRecLoaderConfig SmallLoader(int protocolType = 0)
{
    SimSRecLoaderConfig c;
    c.protocolType = protocolType;
    c.blockSize = 16;
    c.wordSize = 4;
    c.readSize = 8;
    c.blocks = {{0x0000, 0x100, 0x8004}, {0x0100, 0x100, 4}, {0x0200, 0x100, 4}, {0x0300, 0x100, 4}};
    return c;
}

// Every image byte is in flash, every other byte of the writable blocks is erased.
void ExpectFlashHolds(const CSimSRecLoader& loader, const std::vector<SRecBlock>& image, std::uint32_t from,
                      std::uint32_t to)
{
    std::vector<int> expected(to - from, 0xFF);
    for (const SRecBlock& s : image)
        for (std::size_t i = 0; i < s.data.size(); ++i)
            expected[s.address + i - from] = s.data[i];
    for (std::uint32_t a = from; a < to; ++a)
        ASSERT_EQ(loader.FlashByte(a), expected[a - from]) << "address 0x" << std::hex << a;
}

class SRecUpdate : public FlashFixture
{
protected:
    bool Update(const std::vector<SRecBlock>& image, int format = eFormatPen)
    {
        device->SetDataSourceFormat(format);
        if (!device->InitializeProgrammingData(image))
            return false;
        return device->ProgramBoard();
    }
};

} // namespace

TEST_F(SRecUpdate, ProtocolType0WireOrderFlashAndChecksums)
{
    MakeBoard(SmallLoader(0));
    const std::vector<SRecBlock> image = {{0x110, Pattern(40, 1)}, {0x200, Pattern(20, 2)}};
    const std::uint32_t oldSum = loader->ChecksumTable()[1] + loader->ChecksumTable()[2];
    ASSERT_TRUE(Update(image));

    const std::vector<std::string> expected = {
        // InitializeProgrammingData (the block table is read twice: it is believed when two reads agree)
        "GET 21", "GET 22", "GET 17", "GET 18", "GET 18", "GET 19",
        // CalculateChecksums, InitializeFlash
        "GET 19", "SET 1C", "SET 1A", "SET 1A", "SET 1A", "SET 1A", "SET 1D",
        // block 1: 40 bytes from 0x110 = two 16-byte blocks, two words
        "SET 12", "SET 11", "SET 11", "SET 16", "SET 16",
        // block 2: 20 bytes = one block, one word
        "SET 12", "SET 11", "SET 16",
        // FinalizeFlash
        "SET 1B", "SET 1B", "SET 1B", "SET 1B", "SET 1D", "GET 19"};
    EXPECT_EQ(WireIds(), expected);

    const auto wire = Wire();
    // Erases name the block index, writes carry their flash address.
    EXPECT_EQ(wire[13].bytes, (std::vector<std::uint8_t>{0x12, 1, 0, 0, 0}));
    EXPECT_EQ(wire[14].bytes.size(), 21u);
    EXPECT_EQ(wire[14].bytes[1], 0x10);
    EXPECT_EQ(wire[14].bytes[2], 0x01);
    EXPECT_EQ(wire[15].bytes[1], 0x20);
    EXPECT_EQ(wire[16].bytes.size(), 9u);
    EXPECT_EQ(wire[16].bytes[1], 0x30);
    EXPECT_EQ(wire[17].bytes[1], 0x34);
    EXPECT_EQ(wire[8].bytes, (std::vector<std::uint8_t>{0x1A, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(wire[7].bytes, (std::vector<std::uint8_t>{0x1C, 0, 0, 0, 0}));

    ExpectFlashHolds(*loader, image, 0x100, 0x400);
    EXPECT_EQ(loader->ProtectedEraseAttempts(), 0);
    EXPECT_EQ(loader->EraseCount(0), 0);
    EXPECT_EQ(loader->EraseCount(3), 0); // empty block: not touched

    EXPECT_EQ(device->GetChecksumOld(), oldSum);
    EXPECT_EQ(device->GetChecksumNew(), loader->FlashChecksum(1) + loader->FlashChecksum(2));
    EXPECT_EQ(device->GetChecksumNew(), device->GetChecksumExpected());
    EXPECT_TRUE(loader->ApplicationValid());
    EXPECT_TRUE(notifier.Errors().empty());
    EXPECT_TRUE(notifier.HasLog("ProgramBoardSRec done!"));
    EXPECT_EQ(notifier.Progress(), (std::vector<int>{0, 25, 50, 75}));
    EXPECT_TRUE(clock->sleeps().empty()); // nothing failed, nothing waited
}

TEST_F(SRecUpdate, ProtocolType1VerifiesEveryBlockOnTheWay)
{
    CFLProtocol::Instance()->SetProtocolType(1);
    SimSRecLoaderConfig c;
    c.protocolType = 1;
    c.blockSize = 256;
    c.wordSize = 4;
    c.blocks = {{0x8000, 0x1000, 0x8004}, {0x9000, 0x1000, 4}, {0xA000, 0x1000, 4}};
    MakeBoard(c);
    const std::vector<SRecBlock> image = {{0x9010, Pattern(0x204, 3)}, {0xA000, Pattern(0x100, 4)}};
    ASSERT_TRUE(Update(image));

    std::vector<std::string> expected = {"GET E2", "GET E3", "GET D8", "GET D9", "GET D9", "GET DA",
                                         "GET DA", "SET DD", "SET DB", "SET DB", "SET DB", "SET DE"};
    // block 1: 0x204 bytes = two 256-byte blocks and one word, then the loader's checksum check
    for (const char* id : {"SET D3", "SET D2", "SET D2", "SET D7", "SET DC", "GET DA", "SET DB"})
        expected.push_back(id);
    for (const char* id : {"SET D3", "SET D2", "SET DC", "GET DA", "SET DB"})
        expected.push_back(id);
    for (const char* id : {"SET DC", "SET DC", "SET DC", "SET DE", "GET DA"})
        expected.push_back(id);
    EXPECT_EQ(WireIds(), expected);

    // The per-block SET carries the host's own sum of the 4096-byte block.
    const auto wire = Wire();
    const WireReport& set = wire[18];
    ASSERT_EQ(set.bytes.size(), 7u);
    const std::uint32_t sent = set.bytes[3] | set.bytes[4] << 8 | set.bytes[5] << 16 | std::uint32_t(set.bytes[6]) << 24;
    EXPECT_EQ(sent, loader->FlashChecksum(1));

    ExpectFlashHolds(*loader, image, 0x9000, 0xB000);
    EXPECT_EQ(device->GetChecksumNew(), device->GetChecksumExpected());
    EXPECT_EQ(device->GetChecksumNew(), loader->FlashChecksum(1) + loader->FlashChecksum(2));
    EXPECT_TRUE(loader->ApplicationValid());
}

TEST_F(SRecUpdate, VendorPageCarriesEveryReportWrappedIn1024Bytes)
{
    CFLProtocol::Instance()->SetProtocolType(1);
    SimSRecLoaderConfig c;
    c.protocolType = 1;
    c.blockSize = 64;
    c.blocks = {{0x0000, 0x1000, 4}, {0x1000, 0x1000, 4}};
    wrapped = true;
    MakeBoard(c, 0xFF00);
    const std::vector<SRecBlock> image = {{0x0F80, Pattern(0x100, 5)}};
    ASSERT_TRUE(Update(image));

    const auto raw = host->Transcript();
    ASSERT_FALSE(raw.empty());
    for (const SimWireRecord& r : raw) {
        ASSERT_EQ(r.bytes.size(), 1024u);
        ASSERT_EQ(r.bytes[0], 0xDC);
    }
    // The parameters GET: 13 bytes inside, announced as 00 0D.
    EXPECT_EQ(raw[2].bytes[1], 0x00);
    EXPECT_EQ(raw[2].bytes[2], 0x0D);
    EXPECT_EQ(raw[2].bytes[3], 0xD8);
    // The checksum calculation's own id is also 0xDC: the wrapper stays outside it.
    bool sawCalc = false;
    for (const WireReport& r : Wire())
        sawCalc = sawCalc || (r.direction == ESimWireDirection::eSet && r.id == 0xDC && r.bytes.size() == 3);
    EXPECT_TRUE(sawCalc);
    ExpectFlashHolds(*loader, image, 0x0000, 0x2000);
    EXPECT_EQ(device->GetChecksumNew(), device->GetChecksumExpected());
}

TEST_F(SRecUpdate, BoardWithoutChecksumSupportGetsNoChecksumCommands)
{
    SimSRecLoaderConfig c = SmallLoader(0);
    c.checksumSupport = false;
    MakeBoard(c);
    const std::vector<SRecBlock> image = {{0x100, Pattern(32, 6)}};
    ASSERT_TRUE(Update(image));

    EXPECT_TRUE(notifier.HasLog("Checksum Support: No"));
    for (const WireReport& r : Wire()) {
        if (r.direction == ESimWireDirection::eSet) {
            EXPECT_TRUE(r.id == 0x12 || r.id == 0x11 || r.id == 0x16) << Describe(r);
        }
    }
    ExpectFlashHolds(*loader, image, 0x100, 0x400);
    EXPECT_EQ(device->GetChecksumOld(), 0u);
    EXPECT_EQ(device->GetChecksumNew(), 0u);
    EXPECT_EQ(device->GetChecksumExpected(), loader->FlashChecksum(1));
}

TEST_F(SRecUpdate, BlocksFrom39OnAreWrittenButCountOnlyForVel)
{
    SimSRecLoaderConfig c;
    c.blockSize = 16;
    for (std::uint32_t i = 0; i < 42; ++i)
        c.blocks.push_back({i * 0x40, 0x40, 4});
    const std::vector<SRecBlock> image = {{38 * 0x40, Pattern(0x80, 7)}, {41 * 0x40 + 8, Pattern(8, 8)}};

    for (int format : {eFormatPen, eFormatVel}) {
        SCOPED_TRACE(format);
        host = std::make_shared<CSimHost>();
        MakeBoard(c);
        ASSERT_TRUE(Update(image, format));
        ExpectFlashHolds(*loader, image, 0, 42 * 0x40);
        EXPECT_EQ(loader->EraseCount(39), 1);
        EXPECT_EQ(loader->EraseCount(41), 1);
        std::uint32_t counted = loader->FlashChecksum(38);
        if (format == eFormatVel)
            counted += loader->FlashChecksum(39) + loader->FlashChecksum(41);
        EXPECT_EQ(device->GetChecksumNew(), counted);
        EXPECT_EQ(device->GetChecksumExpected(), counted);
        EXPECT_TRUE(loader->ApplicationValid());
    }
}

TEST_F(SRecUpdate, InitializeProgrammingDataReportsTheLoader)
{
    MakeBoard(SmallLoader(0));
    device->SetDataSourceFormat(eFormatPen);
    ASSERT_TRUE(device->InitializeProgrammingData({{0x100, {1, 2, 3}}}));
    EXPECT_TRUE(notifier.HasLog("Device Loader Parameters loaded:\n\tBlocks: 4\n\tRead Size: 8\n\tBlock Size: 16\n\tWord Size: 4\n"));
    EXPECT_TRUE(notifier.HasLog("Device Loader Description loaded\tBlock 0\t(0 - ff) size (100) [PROTECTED]"
                                "\tBlock 1\t(100 - 1ff) size (100)\tBlock 2\t(200 - 2ff) size (100)"
                                "\tBlock 3\t(300 - 3ff) size (100)"));
    EXPECT_TRUE(notifier.HasLog("Checksum Support: Yes"));
    EXPECT_TRUE(notifier.HasLog("Checksum Block [0x00000100] = 0x" + [] {
        char t[16];
        std::snprintf(t, sizeof t, "%08X", 1 + 2 + 3 + 253 * 0xFF);
        return std::string(t);
    }()));
    EXPECT_TRUE(notifier.HasLog("Total size: 4"));
    std::uint32_t total = 0;
    const auto flash = device->GetFlashVector(total);
    ASSERT_EQ(flash.size(), 4u);
    EXPECT_TRUE(flash[0].isProtected);
    EXPECT_EQ(flash[1].dataStart, 0u);
    EXPECT_EQ(flash[1].dataLength, 4u);
    EXPECT_TRUE(flash[2].data.empty());
}

TEST_F(SRecUpdate, ImageDataInAProtectedBlockIsNeverErasedOrWritten)
{
    MakeBoard(SmallLoader(0));
    const std::vector<SRecBlock> image = {{0x080, Pattern(16, 9)}, {0x100, Pattern(16, 10)}};
    ASSERT_TRUE(Update(image));
    EXPECT_TRUE(notifier.HasLog("Protected Block Skipped"));
    EXPECT_EQ(loader->ProtectedEraseAttempts(), 0);
    EXPECT_EQ(loader->FlashByte(0x080), 0xFF);
    for (const WireReport& r : Wire())
        if (r.id == 0x12) {
            EXPECT_NE(r.bytes[1], 0);
        }
}

TEST_F(SRecUpdate, CorruptedWriteIsCaughtByTheBoardsChecksums)
{
    // Flash that loses its contents after the write: the loader's new sum no longer matches
    // what the host expects, which is what the controller compares.
    MakeBoard(SmallLoader(0));
    const std::vector<SRecBlock> image = {{0x100, Pattern(64, 11)}};
    device->SetDataSourceFormat(eFormatPen);
    ASSERT_TRUE(device->InitializeProgrammingData(image));
    ASSERT_TRUE(device->CalculateChecksums());
    ASSERT_TRUE(device->InitializeFlash());
    ASSERT_TRUE(device->WriteFlash());
    loader->SetBlockContents(1, {});
    ASSERT_TRUE(device->FinalizeFlash());
    EXPECT_NE(device->GetChecksumNew(), device->GetChecksumExpected());
}
