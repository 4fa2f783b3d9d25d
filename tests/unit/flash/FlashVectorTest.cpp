// Building and filling the flash vector, and what the host refuses to program.

#include "FlashFixture.h"

namespace {

SimSRecLoaderConfig Loader(std::vector<SimLoaderBlock> blocks, std::uint16_t blockSize = 16, std::uint16_t wordSize = 4,
                           int protocolType = 0)
{
    SimSRecLoaderConfig c;
    c.protocolType = protocolType;
    c.blockSize = blockSize;
    c.wordSize = wordSize;
    c.blocks = std::move(blocks);
    return c;
}

class FlashVector : public FlashFixture
{
protected:
    bool Init(const std::vector<SRecBlock>& image, int format = eFormatPen)
    {
        device->SetDataSourceFormat(format);
        return device->InitializeProgrammingData(image);
    }
    std::vector<FlashBlock> Blocks()
    {
        std::uint32_t total = 0;
        return device->GetFlashVector(total);
    }
    std::uint32_t Total()
    {
        std::uint32_t total = 0;
        device->GetFlashVector(total);
        return total;
    }
};

} // namespace

TEST_F(FlashVector, UsedRangeIsTrimmedToWholeWords)
{
    MakeBoard(Loader({{0, 4096, 4}}));
    std::vector<std::uint8_t> data(4096, 0xFF);
    data[5] = 0x00;
    ASSERT_TRUE(Init({{0, data}}));
    EXPECT_EQ(Blocks()[0].dataStart, 4u);
    EXPECT_EQ(Blocks()[0].dataLength, 4u);
    EXPECT_EQ(Total(), 4u);
}

TEST_F(FlashVector, SegmentSpanningTwoBlocksFillsBoth)
{
    MakeBoard(Loader({{0x100, 0x10, 2}, {0x110, 0x10, 2}}));
    ASSERT_TRUE(Init({{0x10C, Pattern(8)}}));
    const auto b = Blocks();
    EXPECT_EQ(b[0].dataStart, 0xCu);
    EXPECT_EQ(b[0].dataLength, 4u);
    EXPECT_EQ(b[1].dataStart, 0u);
    EXPECT_EQ(b[1].dataLength, 4u);
    EXPECT_EQ(Total(), 8u);
}

TEST_F(FlashVector, BlockOfOnlyErasedBytesIsErasedNotWrittenAndCounts)
{
    MakeBoard(Loader({{0, 0x40, 4}, {0x40, 0x40, 4}}));
    ASSERT_TRUE(Init({{0, std::vector<std::uint8_t>(0x10, 0xFF)}, {0x40, Pattern(4)}}));
    EXPECT_EQ(Blocks()[0].dataLength, 0u);
    EXPECT_EQ(Blocks()[0].data.size(), 0x40u);
    char line[64];
    std::snprintf(line, sizeof line, "Checksum Block [0x00000000] = 0x%08X", 0x40 * 0xFF);
    EXPECT_TRUE(notifier.HasLog(line));
    host->ClearTranscript();
    ASSERT_TRUE(device->ProgramBoard());
    std::vector<std::string> blockZero;
    for (const WireReport& r : Wire())
        if ((r.id == 0x12 && r.bytes[1] == 0) || ((r.id == 0x11 || r.id == 0x16) && r.bytes[1] < 0x40 && r.bytes[2] == 0))
            blockZero.push_back(Describe(r));
    EXPECT_EQ(blockZero, (std::vector<std::string>{"SET 12"}));
    // Erased words count as 0xFFFFFFFF: the expected sum covers block 0 too.
    EXPECT_EQ(device->GetChecksumExpected(), loader->FlashChecksum(0) + loader->FlashChecksum(1));
    EXPECT_EQ(device->GetChecksumNew(), device->GetChecksumExpected());
}

TEST_F(FlashVector, ByteOutsideEveryBlockIsRefused)
{
    MakeBoard(Loader({{0x100, 0x100, 4}}));
    EXPECT_FALSE(Init({{0x1F0, Pattern(0x20)}}));
    EXPECT_TRUE(notifier.HasError("Address space from SREC file does not correspond to that of the connected CPU!"));
    EXPECT_TRUE(notifier.HasError("Failed to load SRec data to flash"));
}

TEST_F(FlashVector, TailSplitsIntoBlockAndWordReports)
{
    MakeBoard(Loader({{0, 0x40, 2}}, 8, 2));
    ASSERT_TRUE(Init({{0, Pattern(10)}}));
    host->ClearTranscript();
    ASSERT_TRUE(device->WriteFlashBlock(0));
    const auto wire = Wire();
    ASSERT_EQ(wire.size(), 3u);
    EXPECT_EQ(wire[1].id, 0x11);
    EXPECT_EQ(wire[1].bytes.size(), 13u);
    EXPECT_EQ(wire[2].id, 0x16);
    EXPECT_EQ(wire[2].bytes.size(), 7u);
    EXPECT_EQ(wire[2].bytes[1], 8);
}

TEST_F(FlashVector, TailNotDivisibleByWordSizeIsAnError)
{
    MakeBoard(Loader({{0, 0x40, 4}}, 6, 4));
    ASSERT_TRUE(Init({{0, Pattern(8)}}));
    EXPECT_FALSE(device->WriteFlashBlock(0));
    EXPECT_TRUE(notifier.HasError("Data left to write in block is not divisible by word size"));
}

TEST_F(FlashVector, WordSizeZeroBlockReceivingDataIsRefused)
{
    MakeBoard(Loader({{0, 0x40, 4}, {0x40, 0x40, 0}}));
    EXPECT_FALSE(Init({{0x40, Pattern(4)}}));
    EXPECT_TRUE(notifier.HasError("Block 1 at [0x00000040] has word size 0 and cannot receive image data"));
    // The same block without data is harmless.
    notifier.mEntries.clear();
    EXPECT_TRUE(Init({{0x00, Pattern(4)}}));
}

TEST_F(FlashVector, BlockSizeNotAMultipleOfItsWordSizeIsRefused)
{
    MakeBoard(Loader({{0, 10, 4}}));
    EXPECT_FALSE(Init({{8, Pattern(2)}}));
    EXPECT_TRUE(notifier.HasError("Block 0 at [0x00000000]: size 0xa is not a multiple of its word size 4"));
}

TEST_F(FlashVector, HugeBlockFromALyingDescriptionIsNotAllocated)
{
    MakeBoard(Loader({{0, 0x80000000u, 4}}));
    EXPECT_FALSE(Init({{0, Pattern(4)}}));
    EXPECT_TRUE(notifier.HasError("Block 0 at [0x00000000] is too large (0x80000000 bytes) to hold image data"));
}

TEST_F(FlashVector, BlockWordSizeOtherThanTheLoadersIsRefusedBeforeAWrongWrite)
{
    // Word reports carry the loader's 4 bytes; a block with 2-byte words would lose bytes.
    MakeBoard(Loader({{0, 0x40, 2}}, 16, 4));
    ASSERT_TRUE(Init({{0, Pattern(18)}}));
    EXPECT_FALSE(device->WriteFlashBlock(0));
    EXPECT_TRUE(notifier.HasError("WriteFlashBlock: block word size 2 differs from the loader's word size 4"));
}

TEST_F(FlashVector, MismatchedWordSizeStopsProgrammingBeforeTheBoardIsTouched)
{
    MakeBoard(Loader({{0, 0x40, 2}}, 16, 4));
    ASSERT_TRUE(Init({{0, Pattern(18)}}));
    host->ClearTranscript();
    EXPECT_FALSE(device->ProgramBoard());
    EXPECT_TRUE(notifier.HasError("Block 0 at [0x00000000]: word size 2 differs from the loader's word size 4"));
    EXPECT_TRUE(Wire().empty());
}

TEST_F(FlashVector, FailedReinitialisationLeavesNothingToProgram)
{
    MakeBoard(Loader({{0, 0x40, 4}}));
    ASSERT_TRUE(Init({{0, Pattern(8)}}));
    loader->FailGets(0x17, -1);
    EXPECT_FALSE(Init({{0, Pattern(8)}}));
    std::uint32_t total = 1;
    EXPECT_TRUE(device->GetFlashVector(total).empty());
    EXPECT_EQ(total, 0u);
    EXPECT_FALSE(device->HasChecksumSupport());
    host->ClearTranscript();
    EXPECT_TRUE(device->WriteFlash()); // nothing left to write
    EXPECT_TRUE(Wire().empty());
}

TEST_F(FlashVector, Protocol1UsedRangeBeyond4096IsRefusedBeforeTouchingTheBoard)
{
    CFLProtocol::Instance()->SetProtocolType(1);
    MakeBoard(Loader({{0, 0x2000, 4}}, 256, 4, 1));
    ASSERT_TRUE(Init({{0x0F00, Pattern(0x200)}}));
    host->ClearTranscript();
    EXPECT_FALSE(device->ProgramBoard());
    EXPECT_TRUE(notifier.HasError(
        "Block 0 at [0x00000000] uses bytes up to offset 0x1100, beyond the 4096 bytes a protocol type 1 loader checks"));
    EXPECT_TRUE(Wire().empty());
    EXPECT_TRUE(loader->ApplicationValid());
    // Called directly, the block write refuses before erasing.
    EXPECT_FALSE(device->WriteFlashBlock(0));
    EXPECT_TRUE(Wire().empty());
    EXPECT_EQ(loader->EraseCount(0), 0);
}

TEST_F(FlashVector, MoreThan1023BlocksAreRefused)
{
    SimSRecLoaderConfig c = Loader({{0, 0x40, 4}});
    c.reportedBlocks = 1024;
    MakeBoard(c);
    EXPECT_FALSE(Init({{0, Pattern(4)}}));
    EXPECT_TRUE(notifier.HasError("LoadLoaderParameters: the loader reports 1024 blocks; at most 1023 are supported"));
    EXPECT_TRUE(notifier.HasError("Can't get Loader Parameters"));
    EXPECT_EQ(device->GetLoaderParameters().blocks, 0);
    for (const WireReport& r : Wire())
        EXPECT_NE(r.id, 0x18);
    EXPECT_FALSE(device->InitializeFlashVector());
}

TEST_F(FlashVector, DescriptionShorterThanTheParametersClaimFails)
{
    // Parameters say 5 blocks, the table holds 4: the answer is short and must not be parsed.
    SimSRecLoaderConfig c = Loader({{0, 0x40, 4}, {0x40, 0x40, 4}, {0x80, 0x40, 4}, {0xC0, 0x40, 4}});
    c.reportedBlocks = 5;
    MakeBoard(c);
    EXPECT_FALSE(Init({{0, Pattern(4)}}));
    EXPECT_TRUE(notifier.HasError("Can't get Loader Description"));
}

TEST_F(FlashVector, ChecksumRecordLongerThanAskedIsCutByTheTransport)
{
    // Parameters say 3 blocks, the board keeps 4 checksums: only the asked-for bytes arrive.
    SimSRecLoaderConfig c = Loader({{0, 0x40, 4}, {0x40, 0x40, 4}, {0x80, 0x40, 4}, {0xC0, 0x40, 4}});
    c.reportedBlocks = 3;
    MakeBoard(c);
    ASSERT_TRUE(Init({{0, Pattern(4)}}));
    EXPECT_TRUE(notifier.HasLog("Checksum Support: Yes"));
    for (const WireReport& r : Wire())
        if (r.id == 0x19) {
            EXPECT_EQ(r.bytes.size(), 3u * 4 + 5);
        }
}

TEST_F(FlashVector, GetDataSourceCpuAndCurrentCpuSelection)
{
    SimSRecLoaderConfig c = Loader({{0, 0x40, 4}});
    c.cpuCount = 2;
    c.currentCpu = 0;
    MakeBoard(c);
    device->SetDataSourceFormat(eFormatTouch);
    EXPECT_EQ(device->GetDataSourceCpu(), 1);
    ASSERT_TRUE(device->SetCurrentCpu());
    EXPECT_TRUE(notifier.HasLog("WARNING: Setting currentCpu: [0] to dataSourceCpu: [1]"));
    EXPECT_EQ(loader->CurrentCpu(), 1);

    device->SetDataSourceFormat(eFormatUnknown);
    ASSERT_TRUE(device->SetCurrentCpu());
    EXPECT_TRUE(notifier.HasLog("NOTE: Resetting currentCpu: [1]"));
    EXPECT_EQ(device->GetDataSourceCpu(), 99);
}

TEST_F(FlashVector, SingleCpuBoardGetsNoCpuSelection)
{
    MakeBoard(Loader({{0, 0x40, 4}}));
    device->SetDataSourceFormat(eFormatTouch);
    ASSERT_TRUE(device->SetCurrentCpu());
    EXPECT_EQ(WireIds(), (std::vector<std::string>{"GET 21", "GET 22"}));
}

TEST_F(FlashVector, UnknownFormatAssertsAndFails)
{
    MakeBoard(Loader({{0, 0x40, 4}}));
    EXPECT_FALSE(device->ProgramBoard());
    device->SetDataSourceFormat(eFormatIntelHex);
    EXPECT_FALSE(device->ProgramBoard());
    EXPECT_TRUE(notifier.HasError("ProgramBoardIntelHex: No IntelHexData"));
    device->SetDataSourceFormat(eFormatAiroFlash);
    EXPECT_FALSE(device->ProgramBoard());
    EXPECT_TRUE(notifier.HasError("ProgramBoardAiroHaBinary: No AiroFlashData"));
    EXPECT_TRUE(Wire().empty());
}

TEST_F(FlashVector, OverlappingBlocksInTheDescriptionAreRefused)
{
    // Blocks that share addresses leave open where an image byte belongs and whether it may be
    // written; a protected block over the writable ones made an image look like loader data, be
    // skipped, and the update pass its own read-back.
    struct Case
    {
        const char* name;
        std::vector<SimLoaderBlock> blocks;
        const char* error; // null: accepted
    };
    const Case cases[] = {
        {"protected block over the others",
         {{0x000, 0x500, 0x8004}, {0x100, 0x100, 4}, {0x200, 0x100, 4}},
         "LoadLoaderDescription: block 1 at [0x00000100] overlaps block 0 at [0x00000000]"},
        {"neighbours sharing their last and first bytes",
         {{0x000, 0x100, 0x8004}, {0x0F0, 0x100, 4}},
         "LoadLoaderDescription: block 1 at [0x000000F0] overlaps block 0 at [0x00000000]"},
        {"same start",
         {{0x100, 0x100, 4}, {0x100, 0x40, 4}},
         "LoadLoaderDescription: block 1 at [0x00000100] overlaps block 0 at [0x00000100]"},
        {"listed out of order, a long block reaching past its neighbour",
         {{0x300, 0x100, 4}, {0x100, 0x100, 4}, {0x000, 0x380, 0x8004}},
         "LoadLoaderDescription: block 1 at [0x00000100] overlaps block 2 at [0x00000000]"},
        {"touching blocks", {{0x000, 0x100, 0x8004}, {0x100, 0x100, 4}, {0x200, 0x100, 4}}, nullptr},
        {"listed out of order, apart", {{0x200, 0x100, 4}, {0x000, 0x100, 0x8004}, {0x100, 0x80, 4}}, nullptr},
        {"an empty block inside another", {{0x000, 0x200, 4}, {0x100, 0, 4}}, nullptr},
        {"a block ending at 4 GiB", {{0x100, 0x100, 4}, {0xFFFFFF00u, 0x100, 4}}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host = std::make_shared<CSimHost>();
        notifier.mEntries.clear();
        MakeBoard(Loader(c.blocks));
        const std::uint32_t target = c.blocks[1].address;
        const bool initialised = Init({{target, Pattern(4)}});
        if (!c.error) {
            EXPECT_TRUE(initialised);
            continue;
        }
        EXPECT_FALSE(initialised);
        EXPECT_TRUE(notifier.HasError(c.error));
        EXPECT_TRUE(notifier.HasError("Can't get Loader Description"));
        // Nothing of the refused table stays behind to be programmed.
        EXPECT_EQ(device->GetLoaderDescription()[0].size, 0u);
        EXPECT_TRUE(Blocks().empty());
    }
}
