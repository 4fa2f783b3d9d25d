#include "FlashFixture.h"

namespace {

using Texts = std::vector<std::string>;
constexpr ESimWireDirection eSet = ESimWireDirection::eSet;

class SafeTransfer : public FlashFixture
{
protected:
    void SetUp() override
    {
        MakeBoard(Loader({{0x0000, 0x100, 0x8004}, {0x0100, 0x100, 4}}));
        ASSERT_TRUE(device->LoadLoaderParameters() && device->LoadLoaderDescription());
        host->ClearTranscript();
        notifier.Clear();
    }
};

} // namespace

// The block write and the erase repeat whole SafeWrite calls five times, the block write with
// 500 ms reopen pauses between.
TEST_F(SafeTransfer, WriteRetriesWaitsAndReopens)
{
    const Sleeps safe = FailedSafeTransferSleeps();
    struct Case
    {
        const char* what;
        std::uint8_t id;
        int failures; // -1: every attempt
        std::function<bool(CFLDeviceInterface&)> operation;
        Sleeps sleeps;
        Texts logs; // how the log starts
        Texts errors;
        int attempts;
    };
    const Case cases[] = {
        {"a write that fails twice", 0x13, 2, [](CFLDeviceInterface& d) { return d.SendValue(7); }, {10, 11},
         Texts(2, "Write error: retrying..."), {}, 3},
        {"a write that never succeeds", 0x13, -1, [](CFLDeviceInterface& d) { return d.SendValue(1); }, safe,
         Concat<std::string>(
             {Texts(100, "Write error: retrying..."), {"Attempting to reopen connection.", "Write failed."}}),
         {}, 101},
        {"a block write", 0x11, -1, [](CFLDeviceInterface& d) { return d.WriteBlock(Pattern(16), 0x100); },
         Concat<std::uint32_t>({safe, safe, {500}, safe, {500}, safe, {500}, safe, {500}}),
         Concat<std::string>({Texts(100, "Write error: retrying..."), {"Attempting to reopen connection."}}),
         Texts(5, "Write Failed... Retrying..."), 5 * 101},
        {"an erase", 0x12, -1, [](CFLDeviceInterface& d) { return d.EraseBlock(1); },
         Concat<std::uint32_t>({safe, safe, safe, safe, safe}), {}, {"Failed erasing block from device"}, 5 * 101},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        loader->FailSets(c.id, c.failures);
        EXPECT_EQ(c.operation(*device), c.failures > 0);
        EXPECT_EQ(clock->sleeps(), c.sleeps);
        const Texts& logs = notifier.mLogs;
        if (!c.logs.empty()) {
            EXPECT_EQ(Texts(logs.begin(), logs.begin() + std::min(logs.size(), c.logs.size())), c.logs);
        }
        EXPECT_EQ(notifier.mErrors, c.errors);
        EXPECT_EQ(WireCount(eSet, c.id), c.attempts);
    }
}

// A write from inside a retry's log message gets one plain attempt; the guard is cleared afterwards.
TEST_F(SafeTransfer, ReentryFromTheMessageSinkGetsOnePlainAttempt)
{
    const std::string guard = "Prevent SafeWrite from recursing... returning immediately.";
    bool nestedResult = true;
    notifier.mOnLog = [&](const std::string& text) {
        if (text == "Write error: retrying..." && !notifier.HasLog(guard))
            nestedResult = device->SafeWrite({0x1C, 0, 0, 0, 0});
    };
    loader->FailSets(0x13, 1);
    loader->FailSets(0x1C, 1);
    EXPECT_TRUE(device->SendValue(9));
    EXPECT_FALSE(nestedResult);
    EXPECT_EQ(WireCount(eSet, 0x1C), 1);
    EXPECT_EQ(clock->sleeps(), (Sleeps{10}));
    loader->FailSets(0x1C, 1);
    notifier.mOnLog = nullptr;
    EXPECT_TRUE(device->SafeWrite({0x1C, 0, 0, 0, 0}));
    EXPECT_EQ(std::count(notifier.mLogs.begin(), notifier.mLogs.end(), guard), 1);
}

TEST_F(SafeTransfer, ProtectedAndUndescribedTargetsAreNeverSent)
{
    EXPECT_FALSE(device->EraseBlock(0));
    EXPECT_FALSE(device->EraseBlock(2));
    EXPECT_EQ(notifier.mErrors, (Texts{"EraseBlock: refusing to erase protected block 0",
                                        "EraseBlock: block 2 is not in the loader description"}));
    EXPECT_FALSE(device->WriteBlock(Pattern(16), 0x0F0));
    EXPECT_FALSE(device->WriteBlock(Pattern(16), 0x1F8)); // runs past the last block
    EXPECT_FALSE(device->WriteWord({1, 2, 3, 4}, 0x200));
    EXPECT_FALSE(device->WriteBlock(Pattern(15), 0x100)); // fewer bytes than a block report
    EXPECT_TRUE(Wire().empty());
    EXPECT_EQ(loader->ProtectedEraseAttempts(), 0);
}

// A short answer is retried like a failure and finally refused; an overlong one is cut to the bytes
// asked for; an answer naming another report (a stale buffer, a mixed-up id) is as good as none.
TEST_F(SafeTransfer, ShortOverlongAndForeignAnswersNeverReachTheParser)
{
    loader->SetAnswerTamper(0x17, [](Bytes& a) { a.resize(5); });
    LoaderParameters p;
    EXPECT_FALSE(device->ReadLoaderParameters(p));
    EXPECT_TRUE(notifier.HasLog("Read failed."));
    loader->SetAnswerTamper(0x17, [](Bytes& a) { a.resize(400, 0xEE); });
    EXPECT_TRUE(device->ReadLoaderParameters(p));
    EXPECT_EQ(p.blockSize + p.blocks, 16 + 2);

    const std::vector<std::pair<std::uint8_t, std::function<bool()>>> reads = {
        {0x14, [this] {
             std::uint32_t status = 1;
             return device->ReadStatus(status) && status == 0;
         }},
        {0x10, [this] {
             Bytes out;
             return device->ReadData(out, 1) && out == Bytes(8, 0xFF);
         }},
    };
    for (const auto& [id, read] : reads) {
        SCOPED_TRACE(int(id));
        // Once: read again after 10 ms, and the genuine answer is taken.
        int spoiled = 0;
        loader->SetAnswerTamper(id, [&spoiled](Bytes& a) { a[0] ^= spoiled++ == 0 ? 0x80 : 0; });
        host->ClearTranscript();
        clock->clearSleeps();
        EXPECT_TRUE(read());
        EXPECT_EQ(WireCount(ESimWireDirection::eGet, static_cast<std::uint8_t>(id ^ 0x80)), 1);
        EXPECT_EQ(WireCount(ESimWireDirection::eGet, id), 1);
        EXPECT_EQ(clock->sleeps(), (Sleeps{10}));
        // Always: refused like a device that never answers.
        loader->SetAnswerTamper(id, [](Bytes& a) { a[0] ^= 0x80; });
        notifier.Clear();
        EXPECT_FALSE(read());
        EXPECT_TRUE(notifier.HasLog("Read failed."));
        loader->SetAnswerTamper(id, nullptr);
    }
}
