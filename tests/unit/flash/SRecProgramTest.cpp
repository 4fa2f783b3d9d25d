#include "FlashFixture.h"

#include "FWUpdater/SRecBlock.h"

namespace {

SimSRecLoaderConfig Loader(int protocolType_I, std::uint16_t blockSize_I, std::vector<SimLoaderBlock> blocks_I)
{
    SimSRecLoaderConfig c;
    c.protocolType = protocolType_I;
    c.blockSize = blockSize_I;
    c.wordSize = 4;
    c.readSize = 8;
    c.blocks = std::move(blocks_I);
    return c;
}

SimSRecLoaderConfig SmallLoader()
{
    return Loader(0, 16, {{0x0000, 0x100, 0x8004}, {0x0100, 0x100, 4}, {0x0200, 0x100, 4}, {0x0300, 0x100, 4}});
}

class SRecUpdate : public FlashFixture
{
protected:
    bool Update(const std::vector<SRecBlock>& image_I, int format_I = eFormatPen)
    {
        device->SetDataSourceFormat(format_I);
        return device->InitializeProgrammingData(image_I) && device->ProgramBoard();
    }
    // Every image byte is in flash, every other byte of [from, to) is erased.
    void ExpectFlashHolds(const std::vector<SRecBlock>& image_I, std::uint32_t from_I, std::uint32_t to_I)
    {
        std::vector<int> expected(to_I - from_I, 0xFF);
        for (const SRecBlock& s : image_I)
            for (std::size_t i = 0; i < s.data.size(); ++i)
                expected[s.address + i - from_I] = s.data[i];
        for (std::uint32_t a = from_I; a < to_I; ++a)
            ASSERT_EQ(loader->FlashByte(a), expected[a - from_I]) << "address 0x" << std::hex << a;
    }
    // The updated blocks' sums on the board: what the host expected and what the loader reports.
    void ExpectChecksums(std::initializer_list<std::size_t> blocks_I)
    {
        std::uint32_t sum = 0;
        for (std::size_t b : blocks_I)
            sum += loader->FlashChecksum(b);
        EXPECT_EQ(device->GetChecksumExpected(), sum);
        EXPECT_EQ(device->GetChecksumNew(), sum);
        EXPECT_TRUE(loader->ApplicationValid());
    }
};

} // namespace

TEST_F(SRecUpdate, ProtocolType0WireOrderFlashAndChecksums)
{
    MakeBoard(SmallLoader());
    const std::vector<SRecBlock> image = {{0x110, Pattern(40, 1)}, {0x200, Pattern(20, 2)}};
    const std::uint32_t oldSum = loader->ChecksumTable()[1] + loader->ChecksumTable()[2];
    // Image bytes in the protected block 0 are skipped, never erased or written.
    ASSERT_TRUE(Update({{0x080, Pattern(16, 9)}, image[0], image[1]}));
    EXPECT_EQ(loader->FlashByte(0x080), 0xFF);

    const std::vector<std::string> expected = {
        // InitializeProgrammingData (the block table is believed when two reads agree)
        "GET 21", "GET 22", "GET 17", "GET 18", "GET 18", "GET 19",
        // CalculateChecksums, InitializeFlash
        "GET 19", "SET 1C", "SET 1A", "SET 1A", "SET 1A", "SET 1A", "SET 1D",
        // block 1: 40 bytes from 0x110 = two 16-byte blocks, two words; block 2: one block, one word
        "SET 12", "SET 11", "SET 11", "SET 16", "SET 16", "SET 12", "SET 11", "SET 16",
        // FinalizeFlash
        "SET 1B", "SET 1B", "SET 1B", "SET 1B", "SET 1D", "GET 19"};
    EXPECT_EQ(WireIds(), expected);
    // Erases name the block index, writes carry their flash address (little-endian).
    const std::vector<std::pair<std::size_t, Bytes>> starts = {
        {7, {0x1C, 0, 0, 0, 0}}, {8, {0x1A, 0, 0, 0, 0, 0, 0}}, {13, {0x12, 1, 0, 0, 0}},
        {14, {0x11, 0x10, 0x01}}, {15, {0x11, 0x20, 0x01}}, {16, {0x16, 0x30, 0x01}}, {17, {0x16, 0x34, 0x01}}};
    const auto wire = Wire();
    for (const auto& [index, bytes] : starts)
        EXPECT_EQ(Bytes(wire[index].bytes.begin(), wire[index].bytes.begin() + bytes.size()), bytes) << index;
    EXPECT_EQ(wire[14].bytes.size(), 21u);
    EXPECT_EQ(wire[16].bytes.size(), 9u);

    ExpectFlashHolds(image, 0x100, 0x400);
    EXPECT_EQ(loader->ProtectedEraseAttempts(), 0);
    EXPECT_EQ(loader->EraseCount(3), 0); // empty block: not touched
    EXPECT_EQ(device->GetChecksumOld(), oldSum);
    ExpectChecksums({1, 2});
    EXPECT_TRUE(notifier.Errors().empty());
    EXPECT_EQ(notifier.Progress(), (std::vector<int>{0, 25, 50, 75}));
    EXPECT_TRUE(clock->sleeps().empty()); // nothing failed, nothing waited
    EXPECT_TRUE(notifier.HasLog("Protected Block Skipped"));
}

// On the vendor page every report is wrapped in 1024 bytes; inside, the wire is the same.
TEST_F(SRecUpdate, ProtocolType1VerifiesEveryBlockOnTheWay)
{
    const std::vector<std::string> expected = {
        "GET E2", "GET E3", "GET D8", "GET D9", "GET D9", "GET DA", "GET DA", "SET DD", "SET DB", "SET DB", "SET DB",
        "SET DE",
        // block 1: 0x204 bytes = two 256-byte blocks and one word, then the loader's checksum check
        "SET D3", "SET D2", "SET D2", "SET D7", "SET DC", "GET DA", "SET DB",
        "SET D3", "SET D2", "SET DC", "GET DA", "SET DB",
        "SET DC", "SET DC", "SET DC", "SET DE", "GET DA"};
    const std::vector<SRecBlock> image = {{0x9010, Pattern(0x204, 3)}, {0xA000, Pattern(0x100, 4)}};
    for (std::uint16_t usagePage : {0x000D, 0xFF00}) {
        SCOPED_TRACE(usagePage);
        MakeBoard(Loader(1, 256, {{0x8000, 0x1000, 0x8004}, {0x9000, 0x1000, 4}, {0xA000, 0x1000, 4}}), usagePage);
        ASSERT_TRUE(Update(image));
        EXPECT_EQ(WireIds(), expected);
        // The per-block SET carries the host's own sum of the 4096-byte block. Its id is 0xDC too:
        // the wrapper stays outside it.
        const Bytes set = Wire().at(16).bytes;
        ASSERT_EQ(set.size(), 3u);
        const Bytes sum = Wire().at(18).bytes;
        ASSERT_EQ(sum.size(), 7u);
        EXPECT_EQ(sum[3] | sum[4] << 8 | sum[5] << 16 | std::uint32_t(sum[6]) << 24, loader->FlashChecksum(1));
        ExpectFlashHolds(image, 0x9000, 0xB000);
        ExpectChecksums({1, 2});
        if (!wrapped)
            continue;
        const auto raw = host->Transcript();
        for (const SimWireRecord& r : raw) {
            ASSERT_EQ(r.bytes.size(), 1024u);
            ASSERT_EQ(r.bytes[0], 0xDC);
        }
        // The parameters GET: 13 bytes inside, announced big-endian as 00 0D.
        EXPECT_EQ(Bytes(raw.at(2).bytes.begin(), raw[2].bytes.begin() + 4), (Bytes{0xDC, 0x00, 0x0D, 0xD8}));
    }
}

TEST_F(SRecUpdate, BoardWithoutChecksumSupportGetsNoChecksumCommands)
{
    SimSRecLoaderConfig c = SmallLoader();
    c.checksumSupport = false;
    MakeBoard(c);
    const std::vector<SRecBlock> image = {{0x100, Pattern(32, 6)}};
    ASSERT_TRUE(Update(image));
    EXPECT_TRUE(notifier.HasLog("Checksum Support: No"));
    for (const WireReport& r : Wire())
        EXPECT_TRUE(r.direction == ESimWireDirection::eGet || r.id == 0x12 || r.id == 0x11 || r.id == 0x16)
            << Describe(r);
    ExpectFlashHolds(image, 0x100, 0x400);
    EXPECT_EQ(device->GetChecksumOld(), 0u);
    EXPECT_EQ(device->GetChecksumNew(), 0u);
    EXPECT_EQ(device->GetChecksumExpected(), loader->FlashChecksum(1));
}

TEST_F(SRecUpdate, BlocksFrom39OnAreWrittenButCountOnlyForVel)
{
    SimSRecLoaderConfig c = Loader(0, 16, {});
    for (std::uint32_t i = 0; i < 42; ++i)
        c.blocks.push_back({i * 0x40, 0x40, 4});
    const std::vector<SRecBlock> image = {{38 * 0x40, Pattern(0x80, 7)}, {41 * 0x40 + 8, Pattern(8, 8)}};
    for (int format : {eFormatPen, eFormatVel}) {
        SCOPED_TRACE(format);
        MakeBoard(c);
        ASSERT_TRUE(Update(image, format));
        ExpectFlashHolds(image, 0, 42 * 0x40);
        EXPECT_EQ(loader->EraseCount(39), 1);
        EXPECT_EQ(loader->EraseCount(41), 1);
        if (format == eFormatVel)
            ExpectChecksums({38, 39, 41});
        else
            ExpectChecksums({38});
    }
}
