// The two retry layers: SafeRead/SafeWrite with their growing waits and the reopen, and the
// coarser attempts of the report operations, all timed on the virtual clock.

#include "FlashFixture.h"

namespace {

using Sleeps = std::vector<std::uint32_t>;

Sleeps Concat(std::initializer_list<Sleeps> parts_I)
{
    Sleeps out;
    for (const Sleeps& p : parts_I)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// One SafeRead/SafeWrite that never succeeds: 100 retries 10, 11, ... 109 ms apart, then the reopen.
Sleeps HundredWaits()
{
    Sleeps out;
    for (std::uint32_t v = 10; v < 110; ++v)
        out.push_back(v);
    return out;
}
const Sleeps kSafe = Concat({HundredWaits(), {1000}});

std::vector<std::string> Concat2(std::vector<std::string> a_I, const std::vector<std::string>& b_I)
{
    a_I.insert(a_I.end(), b_I.begin(), b_I.end());
    return a_I;
}

class SafeTransfer : public FlashFixture
{
protected:
    void SetUp() override
    {
        FlashFixture::SetUp();
        SimSRecLoaderConfig c;
        c.blockSize = 16;
        c.wordSize = 4;
        c.readSize = 8;
        c.blocks = {{0x0000, 0x100, 0x8004}, {0x0100, 0x100, 4}};
        MakeBoard(c);
        ASSERT_TRUE(device->LoadLoaderParameters());
        ASSERT_TRUE(device->LoadLoaderDescription());
        host->ClearTranscript();
        notifier.mEntries.clear();
    }
    int Count(ESimWireDirection direction_I, std::uint8_t id_I)
    {
        int n = 0;
        for (const WireReport& r : Wire())
            n += (r.direction == direction_I && r.id == id_I) ? 1 : 0;
        return n;
    }
};

} // namespace

// SafeWrite retries 100 times 10, 11, ... ms apart, then reopens; the block write and the erase
// repeat whole SafeWrite calls five times, the block write with 500 ms reopen pauses between.
TEST_F(SafeTransfer, WriteRetriesWaitsAndReopens)
{
    struct Case
    {
        const char* what;
        std::uint8_t id;
        int failures; // -1: every attempt
        std::function<bool(CFLDeviceInterface&)> operation;
        Sleeps sleeps;
        std::vector<std::string> logs;
        std::vector<std::string> errors;
    };
    const std::vector<std::string> never = Concat2(std::vector<std::string>(100, "Write error: retrying..."),
                                                   {"Attempting to reopen connection.", "Write failed."});
    const Case cases[] = {
        {"a write that fails twice", 0x13, 2, [](CFLDeviceInterface& d) { return d.SendValue(7); }, {10, 11},
         std::vector<std::string>(2, "Write error: retrying..."), {}},
        {"a write that never succeeds", 0x13, -1, [](CFLDeviceInterface& d) { return d.SendValue(1); }, kSafe, never,
         {}},
        {"a block write", 0x11, -1, [](CFLDeviceInterface& d) { return d.WriteBlock(Pattern(16), 0x100); },
         Concat({kSafe, kSafe, {500}, kSafe, {500}, kSafe, {500}, kSafe, {500}}), {},
         std::vector<std::string>(5, "Write Failed... Retrying...")},
        {"an erase", 0x12, -1, [](CFLDeviceInterface& d) { return d.EraseBlock(1); },
         Concat({kSafe, kSafe, kSafe, kSafe, kSafe}), {}, {"Failed erasing block from device"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        loader->FailSets(c.id, c.failures);
        EXPECT_EQ(c.operation(*device), c.failures > 0);
        EXPECT_EQ(clock->sleeps(), c.sleeps);
        if (!c.logs.empty()) {
            EXPECT_EQ(notifier.Logs(), c.logs);
        }
        EXPECT_EQ(notifier.Errors(), c.errors);
        // 101 attempts per SafeWrite call that never succeeds.
        const std::size_t calls = 1 + c.sleeps.size() / 102;
        EXPECT_EQ(Count(ESimWireDirection::eSet, c.id), c.failures > 0 ? c.failures + 1 : static_cast<int>(101 * calls));
    }
}

TEST_F(SafeTransfer, ReadThatNeverSucceedsReopensOnceAndFails)
{
    loader->FailGets(0x10, -1);
    const int opensBefore = host->OpenCount(kPath);
    const Bytes request{0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Bytes buffer = request;
    EXPECT_FALSE(device->SafeRead(buffer));
    std::vector<std::string> expected(100, "Read error: retrying...");
    expected.push_back("Attempting to reopen connection.");
    // The reopen first asks whether the interface still answers; that read is the nested one.
    expected.push_back("Prevent SafeRead from recursing... returning immediately.");
    expected.push_back("Read failed.");
    EXPECT_EQ(notifier.Logs(), expected);
    EXPECT_EQ(clock->sleeps(), kSafe);
    EXPECT_EQ(Count(ESimWireDirection::eGet, 0x10), 101);
    EXPECT_EQ(host->OpenCount(kPath), opensBefore); // the status still answered: no new handle
    EXPECT_EQ(buffer, request);
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
    EXPECT_EQ(clock->sleeps(), Concat({HundredWaits(), HundredWaits(), {1000, 1000}}));
    EXPECT_EQ(notifier.Count('L', "Prevent SafeRead from recursing... returning immediately."), 1);
    EXPECT_EQ(notifier.Count('L', "Attempting to reopen connection."), 2);
    EXPECT_TRUE(device->IsOpen());
}

TEST_F(SafeTransfer, ReentryFromTheMessageSinkGetsOnePlainAttempt)
{
    loader->FailSets(0x13, 1);
    int reentries = 0;
    bool nestedResult = true;
    notifier.mOnLog = [&](const std::string& text) {
        if (text == "Write error: retrying..." && reentries++ == 0) {
            loader->FailSets(0x1C, 1);
            nestedResult = device->SafeWrite({0x1C, 0, 0, 0, 0});
        }
    };
    const std::string guard = "Prevent SafeWrite from recursing... returning immediately.";
    EXPECT_TRUE(device->SendValue(9));
    EXPECT_FALSE(nestedResult); // its single attempt failed and was not retried
    EXPECT_EQ(notifier.Count('L', guard), 1);
    EXPECT_EQ(Count(ESimWireDirection::eSet, 0x1C), 1);
    EXPECT_EQ(clock->sleeps(), (Sleeps{10}));
    // The outer call cleared the guard: the next write retries normally again.
    loader->FailSets(0x1C, 1);
    notifier.mOnLog = nullptr;
    EXPECT_TRUE(device->SafeWrite({0x1C, 0, 0, 0, 0}));
    EXPECT_EQ(notifier.Count('L', guard), 1);
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

TEST_F(SafeTransfer, ShortOverlongAndForeignAnswersNeverReachTheParser)
{
    // Short: retried like a failure, and finally refused. Overlong: cut to the bytes asked for.
    loader->SetAnswerTamper(0x17, [](Bytes& a) { a.resize(5); });
    LoaderParameters p;
    EXPECT_FALSE(device->ReadLoaderParameters(p));
    EXPECT_TRUE(notifier.HasLog("Read failed."));
    loader->SetAnswerTamper(0x17, [](Bytes& a) { a.resize(400, 0xEE); });
    EXPECT_TRUE(device->ReadLoaderParameters(p));
    EXPECT_EQ(p.blockSize + p.blocks, 16 + 2);

    // An answer naming another report (a stale buffer, a mixed-up id) is as good as none: the read
    // is repeated, and only an answer of the asked-for report is parsed.
    struct Case
    {
        const char* name;
        std::uint8_t id;
        std::function<bool()> read; // true when it read the genuine answer
    };
    const Case cases[] = {
        {"parameters", 0x17,
         [this] {
             LoaderParameters q;
             return device->ReadLoaderParameters(q) && q.blockSize == 16 && q.readSize == 8 && q.blocks == 2;
         }},
        {"status", 0x14,
         [this] {
             std::uint32_t status = 1;
             return device->ReadStatus(status) && status == 0;
         }},
        {"data", 0x10,
         [this] {
             Bytes out;
             return device->ReadData(out, 1) && out == Bytes(8, 0xFF);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int spoiled = 0;
        loader->SetAnswerTamper(c.id, [&spoiled](Bytes& a) {
            if (spoiled++ == 0)
                a[0] ^= 0x80;
        });
        host->ClearTranscript();
        clock->clearSleeps();
        EXPECT_TRUE(c.read());
        EXPECT_EQ(Count(ESimWireDirection::eGet, static_cast<std::uint8_t>(c.id ^ 0x80)), 1);
        EXPECT_EQ(Count(ESimWireDirection::eGet, c.id), 1);
        EXPECT_EQ(clock->sleeps(), (Sleeps{10}));
        // Always: refused like a device that never answers.
        loader->SetAnswerTamper(c.id, [](Bytes& a) { a[0] ^= 0x80; });
        notifier.mEntries.clear();
        EXPECT_FALSE(c.read());
        EXPECT_TRUE(notifier.HasLog("Read failed."));
        loader->SetAnswerTamper(c.id, nullptr);
    }
}
