#include "SimTabletFixture.h"

#include "FWUpdater/CBinaryAiroFlash.h"
#include "FWUpdater/CIntelHex.h"
#include "FWUpdater/CSRec.h"
#include "FWUpdater/CUpdateWorker.h"

#include <chrono>
#include <thread>

namespace {

struct BoardCase
{
    const char* scenario;
    const char* board;
    std::size_t tablet;
    int updateType;
    const char* file;
};

std::ostream& operator<<(std::ostream& out_I, const BoardCase& c_I)
{
    return out_I << c_I.scenario << "/" << c_I.board << c_I.tablet;
}

// True when the board's flash now holds the file's image.
bool BoardHoldsFile(const CSimBoard& board_I, const std::string& path_I)
{
    CSRec source;
    if (!source.Load(path_I))
        return false;
    if (source.GetFileType() == eFormatIntelHex) {
        const auto hex = source.GetIntelHexData();
        for (std::uint32_t i = 0; i < hex->GetDataLength(); ++i) {
            if (board_I.ImageLoader()->FlashByte(0x8000 + i) != hex->GetImage()[i])
                return false;
        }
        return true;
    }
    if (source.GetFileType() == eFormatAiroFlash) {
        const auto airoha = source.GetAiroFlashData();
        for (std::uint32_t i = 0; i < airoha->GetSize(); ++i) {
            if (i >= 0x3000 && i < 0x8000)
                continue; // never sent: the loader's own data stays
            if (board_I.ImageLoader()->FlashByte(i) != airoha->GetBuffer()[i])
                return false;
        }
        return true;
    }
    return SimTabletFixture::FlashHolds(board_I, source.GetBlocks());
}

class EveryBoard : public ::testing::TestWithParam<BoardCase>
{
};

} // namespace

TEST_P(EveryBoard, UpdatesToTheDemoFirmwareAndComesBackWithItsVersion)
{
    const BoardCase c = GetParam();
    SimTabletFixture f(c.scenario);
    auto board = f.mBus.Board(c.board, c.tablet);
    ASSERT_TRUE(board);
    EXPECT_EQ(board->FlashVersion(), kSimFactoryVersion);

    ASSERT_TRUE(f.mController->UpdateDeviceList()) << f.LogText();
    // Select the tablet the board belongs to by the board's own interface path.
    ASSERT_TRUE(f.mController->SelectDeviceByPath(board->Spec().normal.path)) << f.LogText();
    auto device = f.mController->GetCurrentDevice();
    ASSERT_TRUE(device);
    const auto before = c.updateType == 0 ? device->mPenInterface
                                          : c.updateType == 1 ? device->mTouchInterface : device->mBluetoothInterface;
    ASSERT_TRUE(before) << f.LogText();
    EXPECT_EQ(before->GetVersion(), kSimFactoryVersion);

    f.mController->SetUpdateType(c.updateType);
    const std::string file = f.ScenarioFile(c.file);
    ASSERT_TRUE(f.mController->ProcessUpdateFile(file));
    // The update runs on the worker thread, as the program runs it; arrivals and removals reach
    // the controller from the worker's clock while this thread waits.
    CUpdateWorker worker;
    ASSERT_TRUE(worker.Start(f.mController));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (worker.IsRunning() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_FALSE(worker.IsRunning()) << "the update did not end";
    worker.Stop();
    ASSERT_EQ(f.mNotifier->GetState(), 5) << f.LogText();

    const std::vector<int> states = f.States();
    ASSERT_GE(states.size(), 4u);
    EXPECT_EQ(states.back(), 5);
    EXPECT_EQ(f.mNotifier->GetProgress(), 100);
    EXPECT_TRUE(BoardHoldsFile(*board, file));
    // The whole-image formats pass the init check of their own kind (the log names both).
    const std::string name = c.file;
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".hex") == 0) {
        EXPECT_TRUE(f.LogHas("InitCheckForIntelHexData: IntelHex file data is loaded; we're good to go..."));
    }
    if (name.size() > 10 && name.compare(name.size() - 10, 10, ".airoflash") == 0) {
        EXPECT_TRUE(f.LogHas("InitCheckForAiroFlashData: BinaryAiroFlash file data is loaded; we're good to go..."));
    }
    EXPECT_FALSE(board->InLoader());
    EXPECT_EQ(board->FlashVersion(), kSimDemoVersion);
    if (board->LoaderDevice()) {
        EXPECT_TRUE(board->Loader().ApplicationValid());
    }
    if (board->ImageLoader()) {
        EXPECT_TRUE(board->ImageLoader()->Violations().empty());
        EXPECT_GT(board->ImageLoader()->DataPackets(), 0);
    }
    // The board was reached the way its kind says.
    if (board->Bridge()) {
        EXPECT_GT(board->Bridge()->TunnelledWrites(), 0);
        EXPECT_EQ(board->Bridge()->EnterRequests(), 1);
    }
    if (board->BulkDevice()) {
        EXPECT_EQ(board->BulkDevice()->EnterLoaderCount(), 1);
    }

    // Rediscovered, the board reports its new version.
    ASSERT_TRUE(f.mController->UpdateDeviceList());
    ASSERT_TRUE(f.mController->SelectDeviceByPath(board->Spec().normal.path));
    device = f.mController->GetCurrentDevice();
    const auto after = c.updateType == 0 ? device->mPenInterface
                                         : c.updateType == 1 ? device->mTouchInterface : device->mBluetoothInterface;
    ASSERT_TRUE(after);
    EXPECT_EQ(after->GetVersion(), kSimDemoVersion);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, EveryBoard,
                         ::testing::Values(BoardCase {"basic", "pen", 0, 0, "basic.pen"},
                                           BoardCase {"basic", "touch", 0, 1, "basic.touch"},
                                           BoardCase {"protocol1", "pen", 0, 0, "protocol1.pen"},
                                           BoardCase {"protocol1", "touch", 0, 1, "protocol1.hex"},
                                           BoardCase {"protocol1", "bluetooth", 0, 2, "protocol1.airoflash"},
                                           BoardCase {"bulk", "pen", 0, 0, "bulk.pen"},
                                           BoardCase {"two-tablets", "pen", 1, 0, "basic.pen"},
                                           BoardCase {"two-tablets", "touch", 1, 1, "basic.touch"}));

TEST_P(EveryBoard, RefusesAFileOfAnotherBoardAndEndsWhenRemovedWhileReady)
{
    const BoardCase c = GetParam();
    SimTabletFixture f(c.scenario);
    auto board = f.mBus.Board(c.board, c.tablet);
    ASSERT_TRUE(f.mController->UpdateDeviceList());
    ASSERT_TRUE(f.mController->SelectDeviceByPath(board->Spec().normal.path));
    f.mController->SetUpdateType(c.updateType);
    // A pen file for a touch or bluetooth board, a touch file for the pen board.
    const char* other = c.updateType == 0 ? "basic/basic.touch" : "basic/basic.pen";
    EXPECT_FALSE(f.mController->ProcessUpdateFile(SimTabletFixture::DataDir() + "/scenarios/" + other));
    EXPECT_EQ(f.mNotifier->GetLastErrorCode(), 4);
    EXPECT_EQ(f.mController->GetState(), 0);

    ASSERT_TRUE(f.mController->ProcessUpdateFile(f.ScenarioFile(c.file)));
    board->Unplug();
    const bool reenumerating = f.GetCurrentPenIntoBLMode();
    // Only a pen board that re-enumerates makes the removal of a current interface important.
    EXPECT_EQ(f.mController->GetState(), reenumerating ? 7 : 1) << f.LogText();
}
