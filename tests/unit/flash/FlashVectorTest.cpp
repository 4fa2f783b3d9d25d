#include "FlashFixture.h"

namespace {

SimSRecLoaderConfig Loader(std::vector<SimLoaderBlock> blocks_I, std::uint16_t blockSize_I = 16,
                           std::uint16_t wordSize_I = 4, int protocolType_I = 0)
{
    SimSRecLoaderConfig c;
    c.protocolType = protocolType_I;
    c.blockSize = blockSize_I;
    c.wordSize = wordSize_I;
    c.blocks = std::move(blocks_I);
    return c;
}

class FlashVector : public FlashFixture
{
protected:
    bool Init(const std::vector<SRecBlock>& image_I)
    {
        device->SetDataSourceFormat(eFormatPen);
        return device->InitializeProgrammingData(image_I);
    }
    std::vector<FlashBlock> Blocks()
    {
        std::uint32_t total = 0;
        return device->GetFlashVector(total);
    }
};

} // namespace

TEST_F(FlashVector, BlockOfOnlyErasedBytesIsErasedNotWrittenAndCounts)
{
    MakeBoard(Loader({{0, 0x40, 4}, {0x40, 0x40, 4}}));
    ASSERT_TRUE(Init({{0, Bytes(0x10, 0xFF)}, {0x40, Pattern(4)}}));
    EXPECT_EQ(Blocks()[0].dataLength, 0u);
    host->ClearTranscript();
    ASSERT_TRUE(device->ProgramBoard());
    std::vector<std::string> blockZero;
    for (const WireReport& r : Wire())
        if ((r.id == 0x12 && r.bytes[1] == 0) ||
            ((r.id == 0x11 || r.id == 0x16) && r.bytes[1] < 0x40 && r.bytes[2] == 0))
            blockZero.push_back(Describe(r));
    EXPECT_EQ(blockZero, (std::vector<std::string>{"SET 12"}));
    // Erased words count as 0xFFFFFFFF: the expected sum covers block 0 too.
    EXPECT_EQ(device->GetChecksumExpected(), loader->FlashChecksum(0) + loader->FlashChecksum(1));
    EXPECT_EQ(device->GetChecksumNew(), device->GetChecksumExpected());
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
        {"touching blocks", Loader({{0x000, 0x100, 0x8004}, {0x100, 0x100, 4}}), {0x100, Pattern(4)}, eInit, nullptr},
        {"an empty block inside another", Loader({{0x000, 0x200, 4}, {0x100, 0, 4}}), {0x100, Pattern(4)}, eInit,
         nullptr},
        {"a block ending at 4 GiB", Loader({{0x100, 0x100, 4}, {0xFFFFFF00u, 0x100, 4}}), {0xFFFFFF00u, Pattern(4)},
         eInit, nullptr},
        // Word reports carry the loader's 4 bytes; a block with 2-byte words would lose bytes.
        {"block word size other than the loader's", Loader({{0, 0x40, 2}}, 16, 4), {0, Pattern(18)}, eProgram,
         "Block 0 at [0x00000000]: word size 2 differs from the loader's word size 4"},
        {"protocol type 1, bytes beyond the 4096 it checks", Loader({{0, 0x2000, 4}}, 256, 4, 1),
         {0x0F00, Pattern(0x200)}, eProgram,
         "Block 0 at [0x00000000] uses bytes up to offset 0x1100, beyond the 4096 bytes a protocol type 1 loader "
         "checks"},
        {"a tail not divisible by the word size", Loader({{0, 0x40, 4}}, 6, 4), {0, Pattern(8)}, eBlock,
         "Data left to write in block is not divisible by word size"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MakeBoard(c.loader);
        const bool initialised = Init({c.image});
        ASSERT_EQ(initialised, c.stage != eInit || !c.error);
        if (!c.error)
            continue;
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

// Parameters say 3 blocks, the board keeps 4 checksums: only the asked-for bytes arrive.
TEST_F(FlashVector, ChecksumRecordLongerThanAskedIsCutByTheTransport)
{
    SimSRecLoaderConfig c = Loader({{0, 0x40, 4}, {0x40, 0x40, 4}, {0x80, 0x40, 4}, {0xC0, 0x40, 4}});
    c.reportedBlocks = 3;
    MakeBoard(c);
    ASSERT_TRUE(Init({{0, Pattern(4)}}));
    EXPECT_TRUE(notifier.HasLog("Checksum Support: Yes"));
    for (const WireReport& r : Wire())
        EXPECT_TRUE(r.id != 0x19 || r.bytes.size() == 3u * 4 + 5);
}
