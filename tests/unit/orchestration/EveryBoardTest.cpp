#include "../faults/FaultRig.h"

#include "FWUpdater/CUpdateWorker.h"

#include <chrono>
#include <thread>

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

class EveryBoard : public ::testing::TestWithParam<BoardCase>
{
};

INSTANTIATE_TEST_SUITE_P(Scenarios, EveryBoard,
                         ::testing::Values(BoardCase {"basic", "pen", 0}, BoardCase {"basic", "touch", 0},
                                           BoardCase {"protocol1", "pen", 0}, BoardCase {"protocol1", "touch", 0},
                                           BoardCase {"protocol1", "bluetooth", 0}, BoardCase {"bulk", "pen", 0},
                                           BoardCase {"two-tablets", "pen", 1}, BoardCase {"two-tablets", "touch", 1}));

// Lists the tablets, selects the board's own by the board's path and gives its interface.
std::shared_ptr<CFLDeviceInterface> Select(CFaultRig& rig_IO, const CSimBoard& board_I)
{
    if (!rig_IO.mController->UpdateDeviceList() || !rig_IO.mController->SelectDeviceByPath(board_I.Spec().normal.path))
        return nullptr;
    const auto device = rig_IO.mController->GetCurrentDevice();
    const int type = board_I.Spec().board;
    rig_IO.mController->SetUpdateType(type);
    return type == 0 ? device->mPenInterface : type == 1 ? device->mTouchInterface : device->mBluetoothInterface;
}

} // namespace

TEST_P(EveryBoard, UpdatesToTheDemoFirmwareOnTheWorkerAndComesBackWithItsVersion)
{
    const BoardCase c = GetParam();
    CFaultRig rig(c.scenario);
    const auto board = rig.Board(c.board, c.tablet);
    rig.Open();
    const auto before = Select(rig, *board);
    ASSERT_TRUE(before);
    EXPECT_EQ(before->GetVersion(), kSimFactoryVersion);
    ASSERT_TRUE(rig.mController->ProcessUpdateFile(rig.UpdateFileOf(c.board)));
    // On the worker thread, as the program runs it: arrivals and removals reach the controller
    // from the worker's clock while this thread waits.
    CUpdateWorker worker;
    ASSERT_TRUE(worker.Start(rig.mController));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (worker.IsRunning() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_FALSE(worker.IsRunning()) << "the update did not end";
    worker.Stop();
    const FaultRunResult run = rig.Current();
    ASSERT_EQ(run.state, 5) << Tail(run.log);
    EXPECT_EQ(run.States().back(), 5);
    EXPECT_EQ(rig.mNotifier->GetProgress(), 100);
    EXPECT_EQ(rig.WhyNotUpdated(c.board, c.tablet), "");
    EXPECT_EQ(board->FlashVersion(), kSimDemoVersion);
    // The board was reached the way its kind says, through the init check of its file's kind.
    if (const auto image = board->ImageLoader()) {
        EXPECT_TRUE(image->Violations().empty());
        EXPECT_GE(run.Find(c.board == std::string("touch") ? "InitCheckForIntelHexData: IntelHex file data is loaded"
                                                           : "InitCheckForAiroFlashData: BinaryAiroFlash file data"),
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
    if (c.tablet == 1) {
        EXPECT_EQ(rig.Board(c.board, 0)->FlashVersion(), kSimFactoryVersion); // the other tablet's
    }
    const auto after = Select(rig, *board);
    ASSERT_TRUE(after);
    EXPECT_EQ(after->GetVersion(), kSimDemoVersion);
}

TEST_P(EveryBoard, RefusesAFileOfAnotherBoardAndEndsWhenRemovedWhileReady)
{
    const BoardCase c = GetParam();
    CFaultRig rig(c.scenario);
    const auto board = rig.Board(c.board, c.tablet);
    rig.Open();
    ASSERT_TRUE(Select(rig, *board));
    // A pen file for a touch or bluetooth board, a touch file for the pen board.
    const std::string other = board->Spec().board == 0 ? "basic/basic.touch" : "basic/basic.pen";
    EXPECT_FALSE(rig.mController->ProcessUpdateFile(CFaultRig::DataDir() + "/scenarios/" + other));
    EXPECT_EQ(rig.mNotifier->GetLastErrorCode(), 4);
    EXPECT_EQ(rig.mController->GetState(), 0);
    ASSERT_TRUE(rig.mController->ProcessUpdateFile(rig.UpdateFileOf(c.board)));
    board->Unplug();
    // Only a tablet whose pen re-enumerates makes the removal of a current interface important.
    const bool important = rig.mController->GetCurrentDevice()->mIntoBLMode[0];
    EXPECT_EQ(rig.mController->GetState(), important ? 7 : 1) << Tail(rig.Current().log);
}

// The basic pen leaves for its loader and comes back: the log shows each step in order, and the
// normal interface then carries the loader's checksums (its new sum is the host's expected sum).
TEST(SimUpdate, BasicPenBoardIsUpdatedThroughItsReenumeratedLoader)
{
    CFaultRig rig("basic");
    const FaultRunResult run = rig.Run();
    ASSERT_TRUE(run.reported) << Tail(run.log);
    EXPECT_EQ(run.States(), (std::vector<int> {0, 1, 2, 3, 4, 5, 5})); // the arrival reports 5, then success
    const std::string loader = rig.Board()->Spec().loader.path;
    const std::string normal = rig.Board()->Spec().normal.path;
    int at = 0;
    for (const std::string& line : {std::string("Switching Pen to Loader mode... "), "Ignored Detach Message (" + normal + ")",
                                    "IMPORTANT Attach Message (" + loader + ") STATE->ESTATE_PROGRAM",
                                    std::string("[Vellum Sim Tablet] (LOADER MODE)"),
                                    "IMPORTANT Attach Message (" + normal + ") STATE->ESTATE_SUCCESS",
                                    std::string("Device Update complete!")}) {
        at = run.Find(line, at);
        EXPECT_GE(at, 0) << line;
    }
    const auto pen = rig.mController->GetCurrentDevice()->mPenInterface;
    EXPECT_NE(pen->GetChecksumExpected(), 0u);
    EXPECT_EQ(pen->GetChecksumNew(), pen->GetChecksumExpected());
    EXPECT_NE(pen->GetChecksumOld(), pen->GetChecksumNew());
}
