// The two retry layers: SafeRead/SafeWrite with their growing waits and the reopen, and the
// coarser attempts of the report operations, all timed on the virtual clock.

#include "FlashFixture.h"

namespace {

SimSRecLoaderConfig Loader()
{
    SimSRecLoaderConfig c;
    c.blockSize = 16;
    c.wordSize = 4;
    c.readSize = 8;
    c.blocks = {{0x0000, 0x100, 0x8004}, {0x0100, 0x100, 4}};
    return c;
}

std::vector<std::uint32_t> Concat(std::initializer_list<std::vector<std::uint32_t>> parts)
{
    std::vector<std::uint32_t> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

class SafeTransfer : public FlashFixture
{
protected:
    void SetUp() override
    {
        FlashFixture::SetUp();
        MakeBoard(Loader());
        ASSERT_TRUE(device->LoadLoaderParameters());
        ASSERT_TRUE(device->LoadLoaderDescription());
        host->ClearTranscript();
        notifier.mEntries.clear();
    }
    int Count(ESimWireDirection direction, std::uint8_t id)
    {
        int n = 0;
        for (const WireReport& r : Wire())
            n += (r.direction == direction && r.id == id) ? 1 : 0;
        return n;
    }
    const std::vector<std::uint32_t> kHundredWaits = Range(10, 109);
};

} // namespace

TEST_F(SafeTransfer, WriteThatFailsTwiceWaits10Then11)
{
    loader->FailSets(0x13, 2);
    EXPECT_TRUE(device->SendValue(7));
    EXPECT_EQ(notifier.Logs(), (std::vector<std::string>{"Write error: retrying...", "Write error: retrying..."}));
    EXPECT_EQ(clock->sleeps(), (std::vector<std::uint32_t>{10, 11}));
    EXPECT_EQ(Count(ESimWireDirection::eSet, 0x13), 3);
}

TEST_F(SafeTransfer, ReadThatNeverSucceedsReopensOnceAndFails)
{
    loader->FailGets(0x10, -1);
    const int opensBefore = host->OpenCount(kPath);
    std::vector<std::uint8_t> buffer{0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_FALSE(device->SafeRead(buffer));

    std::vector<std::string> expected(100, "Read error: retrying...");
    expected.push_back("Attempting to reopen connection.");
    // The reopen first asks whether the interface still answers; that read is the nested one.
    expected.push_back("Prevent SafeRead from recursing... returning immediately.");
    expected.push_back("Read failed.");
    EXPECT_EQ(notifier.Logs(), expected);
    EXPECT_EQ(clock->sleeps(), Concat({kHundredWaits, {1000}}));
    EXPECT_EQ(Count(ESimWireDirection::eGet, 0x10), 101);
    EXPECT_EQ(host->OpenCount(kPath), opensBefore); // the status still answered: no new handle
    EXPECT_EQ(buffer, (std::vector<std::uint8_t>{0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(SafeTransfer, WriteThatNeverSucceeds)
{
    loader->FailSets(0x13, -1);
    EXPECT_FALSE(device->SendValue(1));
    std::vector<std::string> expected(100, "Write error: retrying...");
    expected.push_back("Attempting to reopen connection.");
    expected.push_back("Write failed.");
    EXPECT_EQ(notifier.Logs(), expected);
    EXPECT_EQ(clock->sleeps(), Concat({kHundredWaits, {1000}}));
    EXPECT_EQ(Count(ESimWireDirection::eSet, 0x13), 101);
}

TEST_F(SafeTransfer, ReopenFindsTheBoardAgainAfterItReenumerated)
{
    // The board drops off the bus and is back a second later: the old handle stays dead, the
    // reopen opens the new node and the write goes through.
    host->RemoveNode(kPath);
    SimHidNodeInfo info;
    info.path = kPath;
    info.usagePage = 0x000D;
    host->ScheduleAddNode(1000, info, loader);
    const int opensBefore = host->OpenCount(kPath);
    EXPECT_TRUE(device->SendValue(3));
    EXPECT_EQ(host->OpenCount(kPath), opensBefore + 1);
    // 100 write retries; the reopen's liveness read retries 100 times and reopens itself.
    EXPECT_EQ(clock->sleeps(), Concat({kHundredWaits, kHundredWaits, {1000, 1000}}));
    EXPECT_EQ(notifier.Count('L', "Prevent SafeRead from recursing... returning immediately."), 1);
    EXPECT_EQ(notifier.Count('L', "Attempting to reopen connection."), 2);
    EXPECT_TRUE(device->IsOpen());
}

TEST_F(SafeTransfer, ReentryFromTheMessageSinkGetsOnePlainAttempt)
{
    loader->FailSets(0x13, 1);
    int reentries = 0;
    bool nestedResult = false;
    notifier.mOnLog = [&](const std::string& text) {
        if (text == "Write error: retrying..." && reentries++ == 0) {
            loader->FailSets(0x1C, 1);
            nestedResult = device->SafeWrite({0x1C, 0, 0, 0, 0});
        }
    };
    EXPECT_TRUE(device->SendValue(9));
    EXPECT_FALSE(nestedResult); // its single attempt failed and was not retried
    EXPECT_EQ(notifier.Count('L', "Prevent SafeWrite from recursing... returning immediately."), 1);
    EXPECT_EQ(Count(ESimWireDirection::eSet, 0x1C), 1);
    EXPECT_EQ(clock->sleeps(), (std::vector<std::uint32_t>{10}));
    // The outer call cleared the guard: the next write retries normally again.
    loader->FailSets(0x1C, 1);
    notifier.mOnLog = nullptr;
    EXPECT_TRUE(device->SafeWrite({0x1C, 0, 0, 0, 0}));
    EXPECT_EQ(notifier.Count('L', "Prevent SafeWrite from recursing... returning immediately."), 1);
}

TEST_F(SafeTransfer, WriteBlockTriesFiveTimesWithReopenPauses)
{
    loader->FailSets(0x11, -1);
    EXPECT_FALSE(device->WriteBlock(Pattern(16), 0x100));
    EXPECT_EQ(notifier.Count('E', "Write Failed... Retrying..."), 5);
    EXPECT_EQ(notifier.Count('L', "Attempting to Reopen connection..."), 4);
    const std::vector<std::uint32_t> safe = Concat({kHundredWaits, {1000}});
    EXPECT_EQ(clock->sleeps(), Concat({safe, safe, {500}, safe, {500}, safe, {500}, safe, {500}}));
    EXPECT_EQ(Count(ESimWireDirection::eSet, 0x11), 5 * 101);
}

TEST_F(SafeTransfer, WriteBlockRecoversOnItsThirdAttempt)
{
    loader->FailSets(0x11, 2 * 101);
    EXPECT_TRUE(device->WriteBlock(Pattern(16), 0x100));
    EXPECT_EQ(notifier.Count('E', "Write Failed... Retrying..."), 2);
    EXPECT_EQ(notifier.Count('L', "Attempting to Reopen connection..."), 1);
    EXPECT_EQ(loader->FlashByte(0x100), Pattern(16)[0]);
}

TEST_F(SafeTransfer, EraseAndWordRetryBackToBack)
{
    loader->FailSets(0x12, -1);
    EXPECT_FALSE(device->EraseBlock(1));
    EXPECT_EQ(notifier.Errors(), (std::vector<std::string>{"Failed erasing block from device"}));
    const std::vector<std::uint32_t> safe = Concat({kHundredWaits, {1000}});
    EXPECT_EQ(clock->sleeps(), Concat({safe, safe, safe, safe, safe}));

    clock->clearSleeps();
    notifier.mEntries.clear();
    loader->FailSets(0x16, -1);
    EXPECT_FALSE(device->WriteWord({1, 2, 3, 4}, 0x100));
    EXPECT_TRUE(notifier.Errors().empty());
    EXPECT_EQ(clock->sleeps(), Concat({safe, safe, safe, safe, safe}));
}

TEST_F(SafeTransfer, ReadDataKeepsTheChunksBeforeAFailure)
{
    ASSERT_TRUE(device->SendValue(0x100)); // the simulated loader reads from here
    loader->SetBlockContents(1, Pattern(0x100, 3));
    loader->FailGets(0x10, -1, 1);
    std::vector<std::uint8_t> out;
    clock->clearSleeps();
    EXPECT_FALSE(device->ReadData(out, 3));
    const auto bytes = Pattern(0x100, 3);
    EXPECT_EQ(out, std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 8));
    EXPECT_TRUE(notifier.HasError("Failed reading from device"));
    EXPECT_EQ(notifier.Count('L', "Attempting to Reopen connection..."), 4);
    const std::vector<std::uint32_t> safe = Concat({kHundredWaits, {1000}});
    EXPECT_EQ(clock->sleeps(), Concat({safe, safe, {500}, safe, {500}, safe, {500}, safe, {500}}));
}

TEST_F(SafeTransfer, ReadDataWithoutCountOrReadSizeSendsNothing)
{
    std::vector<std::uint8_t> out;
    EXPECT_FALSE(device->ReadData(out, 0));
    EXPECT_FALSE(device->ReadData(out, -1));
    EXPECT_TRUE(Wire().empty());
}

TEST_F(SafeTransfer, ProtectedAndUndescribedTargetsAreNeverSent)
{
    EXPECT_FALSE(device->EraseBlock(0));
    EXPECT_TRUE(notifier.HasError("EraseBlock: refusing to erase protected block 0"));
    EXPECT_FALSE(device->EraseBlock(2));
    EXPECT_TRUE(notifier.HasError("EraseBlock: block 2 is not in the loader description"));
    EXPECT_FALSE(device->WriteBlock(Pattern(16), 0x0F0));
    EXPECT_FALSE(device->WriteBlock(Pattern(16), 0x1F8)); // runs past the last block
    EXPECT_FALSE(device->WriteWord({1, 2, 3, 4}, 0x200));
    EXPECT_FALSE(device->WriteBlock(Pattern(15), 0x100)); // fewer bytes than a block report
    EXPECT_TRUE(Wire().empty());
    EXPECT_EQ(loader->ProtectedEraseAttempts(), 0);
}

TEST_F(SafeTransfer, ReportOperationsNeedAnOpenLoaderInterface)
{
    device->SetFirmwareLoader(false);
    std::uint32_t status = 0;
    EXPECT_FALSE(device->ReadStatus(status));
    EXPECT_FALSE(device->SetMagicWord(0));
    EXPECT_FALSE(device->EraseBlock(1));
    std::uint16_t cpu = 5, count = 5;
    EXPECT_FALSE(device->ReadCurrentCpu(cpu));
    EXPECT_FALSE(device->ReadCpuCount(count));
    EXPECT_EQ(cpu, 0);
    EXPECT_EQ(count, 1);
    device->SetFirmwareLoader(true);
    device->Close();
    EXPECT_FALSE(device->ExitLoader());
    EXPECT_TRUE(Wire().empty());
}

TEST_F(SafeTransfer, CpuReadsSucceedEvenWhenTheBoardDoesNotAnswer)
{
    loader->FailGets(0x21, -1);
    loader->FailGets(0x22, -1);
    std::uint16_t cpu = 5, count = 5;
    EXPECT_TRUE(device->ReadCurrentCpu(cpu));
    EXPECT_TRUE(device->ReadCpuCount(count));
    EXPECT_EQ(cpu, 0);
    EXPECT_EQ(count, 1);
}

TEST_F(SafeTransfer, ShortAndOverlongAnswersNeverReachTheParser)
{
    // Short: retried like a failure, and finally refused.
    loader->SetAnswerTamper(0x17, [](std::vector<std::uint8_t>& a) { a.resize(5); });
    LoaderParameters p;
    EXPECT_FALSE(device->ReadLoaderParameters(p));
    EXPECT_TRUE(notifier.HasLog("Read failed."));
    // Overlong: the transport delivers only the bytes asked for.
    loader->SetAnswerTamper(0x17, [](std::vector<std::uint8_t>& a) { a.resize(400, 0xEE); });
    EXPECT_TRUE(device->ReadLoaderParameters(p));
    EXPECT_EQ(p.blockSize, 16);
    EXPECT_EQ(p.blocks, 2);
}

TEST_F(SafeTransfer, AnswersNamingAnotherReportAreRetriedNotTaken)
{
    // A device that answers a GET with another report's bytes (a stale buffer, a mixed-up id):
    // the answer is as good as none, the read is repeated, and only an answer of the asked-for
    // report is parsed.
    struct Case
    {
        const char* name;
        std::uint8_t id;
        std::function<bool()> read; // the report operation; true when it read the genuine answer
    };
    const Case cases[] = {
        {"parameters", 0x17,
         [this] {
             LoaderParameters p;
             return device->ReadLoaderParameters(p) && p.blockSize == 16 && p.readSize == 8 && p.blocks == 2;
         }},
        {"status", 0x14,
         [this] {
             std::uint32_t status = 1;
             return device->ReadStatus(status) && status == 0;
         }},
        {"description", 0x18,
         [this] {
             LoaderDescription d;
             return device->ReadLoaderDescription(d) && d[1].address == 0x100 && d[1].size == 0x100;
         }},
        {"data", 0x10,
         [this] {
             std::vector<std::uint8_t> out;
             return device->ReadData(out, 1) && out == std::vector<std::uint8_t>(8, 0xFF);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Once: the second attempt gets the genuine answer.
        int spoiled = 0;
        loader->SetAnswerTamper(c.id, [&spoiled](std::vector<std::uint8_t>& a) {
            if (spoiled++ == 0)
                a[0] ^= 0x80;
        });
        host->ClearTranscript();
        clock->clearSleeps();
        EXPECT_TRUE(c.read());
        EXPECT_EQ(Count(ESimWireDirection::eGet, static_cast<std::uint8_t>(c.id ^ 0x80)), 1);
        EXPECT_EQ(Count(ESimWireDirection::eGet, c.id), 1);
        EXPECT_EQ(clock->sleeps(), (std::vector<std::uint32_t>{10}));
        // Always: refused like a device that never answers.
        loader->SetAnswerTamper(c.id, [](std::vector<std::uint8_t>& a) { a[0] ^= 0x80; });
        notifier.mEntries.clear();
        EXPECT_FALSE(c.read());
        EXPECT_TRUE(notifier.HasLog("Read failed."));
        loader->SetAnswerTamper(c.id, nullptr);
    }
}
