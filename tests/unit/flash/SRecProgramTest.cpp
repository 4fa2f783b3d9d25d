#include "FlashFixture.h"

namespace {

class SRecUpdate : public FlashFixture
{
protected:
    bool Init(const std::vector<SRecBlock>& image_I, int format_I = eFormatPen)
    {
        device->SetDataSourceFormat(format_I);
        return device->InitializeProgrammingData(image_I);
    }
    bool Update(const std::vector<SRecBlock>& image_I, int format_I = eFormatPen)
    {
        return Init(image_I, format_I) && device->ProgramBoard();
    }
    std::vector<FlashBlock> Blocks()
    {
        std::uint32_t total = 0;
        return device->GetFlashVector(total);
    }
    // The updated blocks' sums on the board: what the host expected and what the loader reports.
    void ExpectChecksums(const std::vector<std::size_t>& blocks_I)
    {
        std::uint32_t sum = 0;
        for (std::size_t b : blocks_I)
            sum += loader->FlashChecksum(b);
        EXPECT_EQ(device->GetChecksumExpected(), sum);
        EXPECT_EQ(device->GetChecksumNew(), sum);
        EXPECT_TRUE(loader->ApplicationValid());
    }
};
using FlashVector = SRecUpdate;

} // namespace

TEST_F(SRecUpdate, ProtocolType0WireOrderFlashAndChecksums)
{
    MakeBoard(Loader({{0x0000, 0x100, 0x8004}, {0x0100, 0x100, 4}, {0x0200, 0x100, 4}, {0x0300, 0x100, 4}}));
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

    ExpectFlashHolds(*loader, image, 0x100, 0x400);
    EXPECT_EQ(loader->ProtectedEraseAttempts(), 0);
    EXPECT_EQ(loader->EraseCount(3), 0); // empty block: not touched
    EXPECT_EQ(device->GetChecksumOld(), oldSum);
    ExpectChecksums({1, 2});
    EXPECT_TRUE(notifier.mErrors.empty());
    EXPECT_EQ(notifier.mProgress, (std::vector<int>{0, 25, 50, 75}));
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
        MakeBoard(Loader({{0x8000, 0x1000, 0x8004}, {0x9000, 0x1000, 4}, {0xA000, 0x1000, 4}}, 256, 1), usagePage);
        ASSERT_TRUE(Update(image));
        EXPECT_EQ(WireIds(), expected);
        // The per-block SET carries the host's own sum of the 4096-byte block. Its id is 0xDC too:
        // the wrapper stays outside it.
        const Bytes set = Wire().at(16).bytes;
        ASSERT_EQ(set.size(), 3u);
        const Bytes sum = Wire().at(18).bytes;
        ASSERT_EQ(sum.size(), 7u);
        EXPECT_EQ(sum[3] | sum[4] << 8 | sum[5] << 16 | std::uint32_t(sum[6]) << 24, loader->FlashChecksum(1));
        ExpectFlashHolds(*loader, image, 0x9000, 0xB000);
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

// Blocks from 39 on are written but count only for vel files; a block of only erased bytes is
// erased, not written, and counts (erased words as 0xFFFFFFFF); a board without checksum support
// gets no checksum command at all.
TEST_F(SRecUpdate, WhichBlocksTheChecksumsCover)
{
    SimSRecLoaderConfig c = Loader({});
    for (std::uint32_t i = 0; i < 42; ++i)
        c.blocks.push_back({i * 0x40, 0x40, 4});
    const std::vector<SRecBlock> image = {
        {37 * 0x40, Bytes(0x10, 0xFF)}, {38 * 0x40, Pattern(0x80, 7)}, {41 * 0x40 + 8, Pattern(8, 8)}};
    const std::tuple<int, bool, std::vector<std::size_t>> cases[] = {
        {eFormatPen, true, {37, 38}}, {eFormatVel, true, {37, 38, 39, 41}}, {eFormatPen, false, {37, 38}}};
    for (const auto& [format, support, blocks] : cases) {
        SCOPED_TRACE(testing::Message() << format << support);
        c.checksumSupport = support;
        MakeBoard(c);
        ASSERT_TRUE(Update(image, format));
        ExpectFlashHolds(*loader, image, 0, 42 * 0x40);
        EXPECT_EQ((std::vector<int>{loader->EraseCount(37), loader->EraseCount(39), loader->EraseCount(41)}),
                  std::vector<int>(3, 1));
        for (const WireReport& r : Wire()) {
            const bool write = r.id == 0x11 || r.id == 0x16;
            EXPECT_FALSE(write && r.bytes[2] == 0x09 && r.bytes[1] >= 0x40 && r.bytes[1] < 0x80) << "block 37";
            EXPECT_TRUE(support || write || r.direction == ESimWireDirection::eGet || r.id == 0x12) << Describe(r);
        }
        std::uint32_t sum = 0;
        for (std::size_t b : blocks)
            sum += loader->FlashChecksum(b);
        EXPECT_EQ(device->GetChecksumExpected(), sum);
        EXPECT_EQ(device->GetChecksumNew(), support ? sum : 0u);
        EXPECT_EQ(device->GetChecksumOld() == 0u, !support);
        EXPECT_EQ(notifier.HasLog("Checksum Support: No"), !support);
    }
}

// Each refusal comes before the board is touched, and nothing of a refused table is left to program.
TEST_F(FlashVector, RefusedImagesAndLoaderTables)
{
    enum EStage
    {
        eInit,    // InitializeProgrammingData fails
        eProgram, // ProgramBoard fails before any report goes out
        eBlock,   // WriteFlashBlock(0) fails
    };
    struct Case
    {
        const char* what;
        SimSRecLoaderConfig loader;
        SRecBlock image;
        EStage stage;
        const char* error; // null: accepted
    };
    SimSRecLoaderConfig lying = Loader({{0, 0x40, 4}});
    lying.reportedBlocks = 1024;
    SimSRecLoaderConfig shortTable = Loader({{0, 0x40, 4}, {0x40, 0x40, 4}, {0x80, 0x40, 4}, {0xC0, 0x40, 4}});
    shortTable.reportedBlocks = 5;
    SimSRecLoaderConfig longTable = shortTable; // the board keeps 4 checksums: only 3 may arrive
    longTable.reportedBlocks = 3;
    const Case cases[] = {
        {"a byte outside every block", Loader({{0x100, 0x100, 4}}), {0x1F0, Pattern(0x20)}, eInit,
         "Address space from SREC file does not correspond to that of the connected CPU!"},
        {"data for a block of word size 0", Loader({{0, 0x40, 4}, {0x40, 0x40, 0}}), {0x40, Pattern(4)}, eInit,
         "Block 1 at [0x00000040] has word size 0 and cannot receive image data"},
        {"block size not a multiple of its word size", Loader({{0, 10, 4}}), {8, Pattern(2)}, eInit,
         "Block 0 at [0x00000000]: size 0xa is not a multiple of its word size 4"},
        {"a huge block from a lying table", Loader({{0, 0x80000000u, 4}}), {0, Pattern(4)}, eInit,
         "Block 0 at [0x00000000] is too large (0x80000000 bytes) to hold image data"},
        {"more than 1023 blocks", lying, {0, Pattern(4)}, eInit,
         "LoadLoaderParameters: the loader reports 1024 blocks; at most 1023 are supported"},
        {"a table shorter than the parameters claim", shortTable, {0, Pattern(4)}, eInit,
         "Can't get Loader Description"},
        // Overlapping blocks leave open where a byte belongs: a protected block over writable ones
        // made image data look like loader data, be skipped, and pass its own read-back.
        {"protected block over the others", Loader({{0x000, 0x500, 0x8004}, {0x100, 0x100, 4}, {0x200, 0x100, 4}}),
         {0x100, Pattern(4)}, eInit, "LoadLoaderDescription: block 1 at [0x00000100] overlaps block 0 at [0x00000000]"},
        {"out of order, a long block reaching past its neighbour",
         Loader({{0x300, 0x100, 4}, {0x100, 0x100, 4}, {0x000, 0x380, 0x8004}}), {0x100, Pattern(4)}, eInit,
         "LoadLoaderDescription: block 1 at [0x00000100] overlaps block 2 at [0x00000000]"},
        {"a checksum table longer than the parameters claim", longTable, {0, Pattern(4)}, eInit, nullptr},
        {"touching blocks", Loader({{0x000, 0x100, 0x8004}, {0x100, 0x100, 4}}), {0x100, Pattern(4)}, eInit, nullptr},
        {"an empty block inside another", Loader({{0x000, 0x200, 4}, {0x100, 0, 4}}), {0x100, Pattern(4)}, eInit,
         nullptr},
        {"a block ending at 4 GiB", Loader({{0x100, 0x100, 4}, {0xFFFFFF00u, 0x100, 4}}), {0xFFFFFF00u, Pattern(4)},
         eInit, nullptr},
        // Word reports carry the loader's 4 bytes; a block with 2-byte words would lose bytes.
        {"block word size other than the loader's", Loader({{0, 0x40, 2}}), {0, Pattern(18)}, eProgram,
         "Block 0 at [0x00000000]: word size 2 differs from the loader's word size 4"},
        {"protocol type 1, bytes beyond the 4096 it checks", Loader({{0, 0x2000, 4}}, 256, 1),
         {0x0F00, Pattern(0x200)}, eProgram,
         "Block 0 at [0x00000000] uses bytes up to offset 0x1100, beyond the 4096 bytes a protocol type 1 loader "
         "checks"},
        {"a tail not divisible by the word size", Loader({{0, 0x40, 4}}, 6), {0, Pattern(8)}, eBlock,
         "Data left to write in block is not divisible by word size"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MakeBoard(c.loader);
        const bool initialised = Init({c.image});
        ASSERT_EQ(initialised, c.stage != eInit || !c.error);
        if (!c.error) { // a longer checksum record is cut by the transport to the blocks asked for
            const std::size_t size = 4 * Blocks().size() + 5;
            for (const WireReport& r : Wire())
                EXPECT_TRUE(r.id != 0x19 || r.bytes.size() == size);
            continue;
        }
        if (c.stage == eInit) {
            // Nothing of a refused loader table stays behind to be programmed.
            EXPECT_TRUE(std::string(c.error).find("Loader") == std::string::npos || Blocks().empty());
        } else {
            host->ClearTranscript();
            EXPECT_FALSE(c.stage == eProgram ? device->ProgramBoard() : device->WriteFlashBlock(0));
            if (c.stage == eProgram) {
                EXPECT_TRUE(Wire().empty());
                EXPECT_TRUE(loader->ApplicationValid());
            }
        }
        EXPECT_TRUE(notifier.HasError(c.error));
    }
}
