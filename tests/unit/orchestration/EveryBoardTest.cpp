#include "SimTabletFixture.h"

#include "FWUpdater/CUpdateWorker.h"


namespace {

struct BoardCase
{
    const char* scenario;
    const char* board;
    std::size_t tablet;
};

std::ostream& operator<<(std::ostream& out_I, const BoardCase& c_I)
{
    return out_I << c_I.scenario << "/" << c_I.board << c_I.tablet;
}

using EveryBoard = ::testing::TestWithParam<BoardCase>;

INSTANTIATE_TEST_SUITE_P(Scenarios, EveryBoard,
                         ::testing::Values(BoardCase {"basic", "pen", 0}, BoardCase {"basic", "touch", 0},
                                           BoardCase {"protocol1", "pen", 0}, BoardCase {"protocol1", "touch", 0},
                                           BoardCase {"protocol1", "bluetooth", 0}, BoardCase {"bulk", "pen", 0},
                                           BoardCase {"two-tablets", "pen", 1}, BoardCase {"two-tablets", "touch", 1}));

std::uint16_t VersionOf(const CFaultRig& rig_I, int type_I)
{
    const auto device = rig_I.mController->GetCurrentDevice();
    const auto interface = type_I == 0 ? device->mPenInterface : type_I == 1 ? device->mTouchInterface
                                                                             : device->mBluetoothInterface;
    return interface ? static_cast<std::uint16_t>(interface->GetVersion()) : 0;
}

} // namespace

TEST_P(EveryBoard, UpdatesToTheDemoFirmwareOnTheWorkerAndComesBackWithItsVersion)
{
    const BoardCase c = GetParam();
    CFaultRig rig(c.scenario);
    const auto board = rig.Board(c.board, c.tablet);
    const int type = board->Spec().board;
    // A pen file for a touch or bluetooth board, a touch file for the pen board, is refused.
    ASSERT_TRUE(rig.Prepare(c.board, c.tablet));
    EXPECT_FALSE(rig.mController->ProcessUpdateFile(CFaultRig::DataDir() + "/scenarios/basic/basic." +
                                                    (type == 0 ? "touch" : "pen")));
    EXPECT_EQ(rig.mNotifier->GetLastErrorCode(), 4);
    EXPECT_EQ(rig.mController->GetState(), 0);
    ASSERT_TRUE(rig.Prepare(c.board, c.tablet));
    EXPECT_EQ(VersionOf(rig, type), kSimFactoryVersion);
    // On the worker thread, as the program runs it, while arrivals come from the worker's clock.
    CUpdateWorker worker;
    ASSERT_TRUE(worker.Start(rig.mController));
    ASSERT_TRUE(WaitUntil([&] { return !worker.IsRunning(); })) << "the update did not end";
    worker.Stop();
    const FaultRunResult run = rig.Current();
    ASSERT_EQ(run.state, 5) << Tail(run.log);
    EXPECT_EQ(rig.mNotifier->GetProgress(), 100);
    EXPECT_EQ(rig.WhyNotUpdated(c.board, c.tablet), "");
    // The board was reached the way its kind says, through the init check of its file's kind.
    if (const auto image = board->ImageLoader()) {
        EXPECT_TRUE(image->Violations().empty());
        EXPECT_GE(run.Find(type == 1 ? "InitCheckForIntelHexData: IntelHex file data is loaded"
                                     : "InitCheckForAiroFlashData: BinaryAiroFlash file data is loaded"),
                  0);
    }
    if (board->Bridge()) {
        EXPECT_GT(board->Bridge()->TunnelledWrites(), 0);
        EXPECT_EQ(board->Bridge()->EnterRequests(), 1);
    }
    if (board->BulkDevice()) {
        EXPECT_EQ(board->BulkDevice()->EnterLoaderCount(), 1);
    }
    EXPECT_EQ(board->Reenumerations(), board->Spec().intoBLMode && !board->Bridge() ? 2 : 0);
    ASSERT_TRUE(rig.Prepare(c.board, c.tablet));
    EXPECT_EQ(VersionOf(rig, type), kSimDemoVersion);

    // Removed while ready: only a tablet whose pen re-enumerates makes that removal important.
    CFaultRig removed(c.scenario);
    ASSERT_TRUE(removed.Prepare(c.board, c.tablet));
    removed.Board(c.board, c.tablet)->Unplug();
    EXPECT_EQ(removed.mController->GetState(), removed.mController->GetCurrentDevice()->mIntoBLMode[0] ? 7 : 1);
}
