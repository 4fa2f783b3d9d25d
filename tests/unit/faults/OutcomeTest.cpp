// Outcomes that must not lie: a board that switches in place and never left its loader, and an
// update of one of two tablets while the other one comes and goes.

#include "FaultRig.h"

#include <gtest/gtest.h>

namespace {

constexpr std::uint8_t kExitType1 = 0xD6;
constexpr std::uint8_t kStatusType1 = 0xD5;

SimFaultSpec OnlyIds(std::set<std::uint8_t> ids_I, double dropSet_I, double ackLoss_I)
{
    SimFaultSpec spec;
    spec.ids = std::move(ids_I);
    spec.dropSetRate = dropSet_I;
    spec.ackLossRate = ackLoss_I;
    return spec;
}

// Every board of the protocol1 tablet switches in place ("intoBLMode": false).
class InPlaceExit : public ::testing::TestWithParam<const char*>
{
};

INSTANTIATE_TEST_SUITE_P(Protocol1, InPlaceExit, ::testing::Values("pen", "touch", "bluetooth"));

} // namespace

TEST_P(InPlaceExit, AnExitReportThatNeverArrivesIsNoSuccessAndTheNextRunFinishesTheUpdate)
{
    const std::string board = GetParam();
    CFaultRig rig("protocol1");
    const FaultRunResult run = rig.Run(board, 0, [&] { rig.mBus.SetFaults(OnlyIds({kExitType1}, 1.0, 0.0)); });
    EXPECT_FALSE(run.reported);
    EXPECT_EQ(run.state, 6);
    EXPECT_EQ(run.errorCode, 5);
    EXPECT_TRUE(run.HasLine("Error returned from SwitchFromBLMode()"));
    EXPECT_TRUE(run.HasLine("GetNormalInterface: the board did not leave its loader"));
    EXPECT_TRUE(run.HasLine("[ERROR] There was a problem swapping out of flash mode (5)"));
    EXPECT_FALSE(run.HasLine("Device Update complete!"));
    EXPECT_TRUE(rig.Board(board, 0)->InLoader());

    rig.Restore();
    const FaultRunResult next = rig.Run(board, 0, nullptr);
    EXPECT_TRUE(next.reported) << next.log;
    EXPECT_TRUE(rig.BoardUpdated(board, 0));
}

TEST_P(InPlaceExit, AnExitThatArrivedButWhoseAnswerWasLostIsASuccess)
{
    // The board left its loader at the first exit report; every later one is refused by the
    // application, so the host sees the switch fail. The application answering its ping is what
    // tells the two apart.
    const std::string board = GetParam();
    CFaultRig rig("protocol1");
    const FaultRunResult run = rig.Run(board, 0, [&] { rig.mBus.SetFaults(OnlyIds({kExitType1}, 0.0, 1.0)); });
    EXPECT_TRUE(run.HasLine("Error returned from SwitchFromBLMode()"));
    EXPECT_TRUE(run.reported) << run.log.substr(run.log.size() > 3000 ? run.log.size() - 3000 : 0);
    EXPECT_EQ(run.state, 5);
    EXPECT_TRUE(rig.BoardUpdated(board, 0));
}

TEST(InPlaceExitAccepted, ABoardThatStaysInItsLoaderIsNoSuccess)
{
    // The pen board (S-record loader over HID) takes the exit report, but a flash cell fails
    // after the loader last reported its checksums: its start-up check refuses the image and it
    // stays in its loader, on the same interface. The loader answering the reopen's status read
    // is what shows it.
    const std::string board = "pen";
    constexpr std::uint8_t kChecksumsType1 = 0xDA;
    int readsInAGoodRun = 0;
    {
        CFaultRig clean("protocol1");
        auto counted = clean.Board(board, 0);
        const FaultRunResult good = clean.Run(board, 0, [&] {
            counted->Loader().SetAnswerTamper(kChecksumsType1, [&](std::vector<std::uint8_t>&) { ++readsInAGoodRun; });
        });
        ASSERT_TRUE(good.reported) << good.log;
    }
    ASSERT_GT(readsInAGoodRun, 0);
    CFaultRig rig("protocol1");
    auto target = rig.Board(board, 0);
    int reads = 0;
    const FaultRunResult run = rig.Run(board, 0, [&] {
        target->Loader().SetAnswerTamper(kChecksumsType1, [&](std::vector<std::uint8_t>&) {
            if (++reads == readsInAGoodRun) {
                for (std::size_t i = 0; i < target->Loader().Config().blocks.size(); ++i) {
                    const std::size_t size = target->Loader().BlockContents(i).size();
                    if (size != 0 && !(target->Loader().Config().blocks[i].flags & 0x8000))
                        target->Loader().SetBlockContents(i, std::vector<std::uint8_t>(size, 0x00));
                }
            }
        });
    });
    EXPECT_EQ(reads, readsInAGoodRun);
    EXPECT_FALSE(run.HasLine("Error returned from SwitchFromBLMode()")) << "the exit report was accepted";
    EXPECT_FALSE(run.reported);
    EXPECT_EQ(run.state, 6);
    EXPECT_EQ(run.errorCode, 5);
    EXPECT_FALSE(run.HasLine("Device Update complete!"));
    EXPECT_TRUE(target->InLoader());

    target->Loader().SetAnswerTamper(kChecksumsType1, nullptr);
    rig.Restore();
    const FaultRunResult next = rig.Run(board, 0, nullptr);
    EXPECT_TRUE(next.reported) << next.log;
    EXPECT_TRUE(rig.BoardUpdated(board, 0));
}

TEST(ProtocolOneBlockChecksum, ABlockTheBoardSumsDifferentlyFailsTheUpdateThere)
{
    // A protocol type 1 board sums each block as soon as it is written; a sum other than the
    // image's (a write that did not take) must stop the update at that block, before its
    // checksum is set, and never reach the way back to the application.
    CFaultRig rig("protocol1");
    auto pen = rig.Board("pen", 0);
    constexpr std::uint8_t kChecksumsType1 = 0xDA;
    const FaultRunResult run = rig.Run("pen", 0, [&] {
        pen->Loader().SetAnswerTamper(kChecksumsType1, [](std::vector<std::uint8_t>& answer) {
            for (std::size_t at = 5; at + 4 <= answer.size(); at += 4)
                answer[at] ^= 0x01;
        });
    });
    EXPECT_FALSE(run.reported);
    EXPECT_EQ(run.state, 6);
    EXPECT_TRUE(run.HasLine("[ERROR] General Program Failure (6)")) << run.log;
    EXPECT_FALSE(run.HasLine("Exiting Loader Mode..."));
    EXPECT_FALSE(run.HasLine("Starting FinalizeFlash...")) << "programming went on past the block";

    pen->Loader().SetAnswerTamper(kChecksumsType1, nullptr);
    rig.Restore();
    const FaultRunResult next = rig.Run("pen", 0, nullptr);
    EXPECT_TRUE(next.reported) << next.log;
    EXPECT_TRUE(rig.BoardUpdated("pen", 0));
}

TEST(InPlaceExitWire, AGoodRunEndsWithTheExitReportAndTheStatusReadsOfTheReopenOnly)
{
    // What a good in-place run sends after the exit report is the reopen's liveness check of the
    // interface (still flagged as the loader): status reads, which the application refuses.
    CFaultRig rig("protocol1");
    const FaultRunResult run = rig.Run("pen", 0, [&] { rig.mBus.Host()->ClearTranscript(); });
    ASSERT_TRUE(run.reported);
    const auto records = rig.mBus.Host()->Transcript();
    std::size_t exit = records.size();
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (!records[i].bytes.empty() && records[i].bytes[0] == kExitType1 && records[i].direction == ESimWireDirection::eSet)
            exit = i;
    }
    ASSERT_LT(exit, records.size());
    std::size_t statusReads = 0;
    for (std::size_t i = exit + 1; i < records.size(); ++i) {
        ASSERT_EQ(records[i].direction, ESimWireDirection::eGet) << "report " << i;
        ASSERT_EQ(records[i].bytes.at(0), kStatusType1) << "report " << i;
        ++statusReads;
    }
    // SafeRead: 100 attempts, the reopen's own check (the re-entry guard lets one attempt
    // through), then the attempt after the reopen.
    EXPECT_EQ(statusReads, 102u);
}

TEST(TwoTablets, TheLoaderWaitFollowsTheUpdatedTabletWhileTheOtherIsReplugged)
{
    CFaultRig rig("two-tablets");
    auto first = rig.Board(0);
    auto second = rig.Board(1);
    // Once the second tablet's pen has left for its loader, the first tablet's pen is pulled and
    // plugged back at once: its arrival is the first the update sees.
    bool done = false;
    std::function<void()> watch = [&] {
        if (!done && !second->IsPluggedIn()) {
            done = true;
            first->Unplug();
            first->PlugIn();
            return;
        }
        if (!done)
            rig.mClock->scheduleAfter(10, watch);
    };
    const FaultRunResult run = rig.Run(1, [&] { rig.mClock->scheduleAfter(10, watch); });
    ASSERT_TRUE(done);
    EXPECT_TRUE(run.reported) << run.log;
    EXPECT_TRUE(rig.BoardUpdated(1));
    EXPECT_FALSE(first->InLoader());
    EXPECT_EQ(first->Loader().EraseCount(1), 0);
}

TEST(TwoTablets, ATabletThatDoesNotComeBackIsNotReplacedByTheOther)
{
    // Right after the second tablet's pen accepted the exit report, its cable is pulled for good,
    // and the first tablet is replugged: that arrival must not pass for the updated tablet's
    // return, nor the first tablet for the second.
    CFaultRig rig("two-tablets");
    auto first = rig.Board(0);
    auto second = rig.Board(1);
    int phase = 0;
    std::function<void()> watch = [&] {
        if (phase == 0 && second->InLoader())
            phase = 1;
        else if (phase == 1 && !second->InLoader()) {
            phase = 2;
            second->Unplug();
            first->Unplug();
            first->PlugIn();
            return;
        }
        rig.mClock->scheduleAfter(10, watch);
    };
    const FaultRunResult run = rig.Run(1, [&] { rig.mClock->scheduleAfter(10, watch); });
    ASSERT_EQ(phase, 2);
    EXPECT_FALSE(run.reported);
    EXPECT_EQ(run.state, 6);
    EXPECT_EQ(run.errorCode, 5);
    EXPECT_TRUE(run.HasLine("[ERROR] There was a problem swapping out of flash mode (5)"));

    // Plugged back, it runs the new image: the next look at it shows the update took.
    second->PlugIn();
    rig.mClock->advance(5000);
    EXPECT_TRUE(rig.BoardUpdated(1));
}
