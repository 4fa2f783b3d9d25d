#include "SimTabletFixture.h"

#include "FWUpdater/CSRec.h"

#include <regex>

namespace {

// Corrupts one application block and lets the board lose power: it comes back as its loader,
// as after an update cut short.
void LeaveHalfProgrammed(CSimBoard& board_I)
{
    board_I.Loader().SetBlockContents(2, std::vector<std::uint8_t>(0x1000, 0x00));
    board_I.PowerCycle();
}

} // namespace

TEST(SimUpdateFailure, BoardFoundInLoaderModeIsRecoveredWithoutTheSectorCheck)
{
    // The topology's sector count is wrong: a board updated from normal mode would fail the
    // check, one found in loader mode skips it.
    CTempDir dir;
    SimTabletFixture f("basic", [&](SimScenario& s) {
        std::string text = ReadFile(s.topologyPath);
        text = std::regex_replace(text, std::regex("\"sectors\": 40"), "\"sectors\": 12");
        WriteFile(dir.File("fw_loader.ini"), text);
        s.topologyPath = dir.File("fw_loader.ini");
    });
    auto pen = f.mBus.Board("pen");
    LeaveHalfProgrammed(*pen);
    ASSERT_TRUE(pen->InLoader());

    ASSERT_TRUE(f.mController->UpdateDeviceList());
    auto device = f.mController->GetCurrentDevice();
    ASSERT_TRUE(device && device->mPenInterface);
    EXPECT_TRUE(device->mLoaderMode);
    EXPECT_TRUE(device->mPenInterface->IsFirmwareLoader());

    f.mController->SetUpdateType(0);
    ASSERT_TRUE(f.mController->ProcessUpdateFile(f.ScenarioFile("basic.pen")));
    ASSERT_TRUE(f.mController->UpdateDevice()) << f.LogText();
    EXPECT_TRUE(f.LogHas("Device already in loader mode"));
    EXPECT_EQ(f.States(), (std::vector<int>{0, 1, 3, 4, 5, 5}));
    EXPECT_TRUE(pen->Loader().ApplicationValid());
    EXPECT_FALSE(pen->InLoader());
    EXPECT_EQ(pen->FlashVersion(), kSimDemoVersion);
}

TEST(SimUpdateFailure, SectorMismatchFailsBeforeAnythingIsWritten)
{
    CTempDir dir;
    SimTabletFixture f("basic", [&](SimScenario& s) {
        std::string text = std::regex_replace(ReadFile(s.topologyPath), std::regex("\"sectors\": 40"), "\"sectors\": 39");
        WriteFile(dir.File("fw_loader.ini"), text);
        s.topologyPath = dir.File("fw_loader.ini");
    });
    auto pen = f.mBus.Board("pen");
    ASSERT_TRUE(f.mController->UpdateDeviceList());
    f.mController->SetUpdateType(0);
    ASSERT_TRUE(f.mController->ProcessUpdateFile(f.ScenarioFile("basic.pen")));
    EXPECT_FALSE(f.mController->UpdateDevice());

    EXPECT_TRUE(f.LogHas("[ERROR] InitCheckForSRecData: Sector/Block mismatch! Expected 39 got 40"));
    EXPECT_TRUE(f.LogHas("[ERROR] General Program Failure (6)"));
    EXPECT_EQ(f.mNotifier->GetLastErrorCode(), 6);
    EXPECT_EQ(f.mNotifier->GetState(), 6);
    // Nothing was erased; the general failure path sent the board back to its application.
    for (std::size_t i = 0; i < pen->Loader().Config().blocks.size(); ++i)
        EXPECT_EQ(pen->Loader().EraseCount(i), 0);
    EXPECT_TRUE(pen->Loader().ApplicationValid());
    f.mClock->advance(5000);
    EXPECT_FALSE(pen->InLoader());
    EXPECT_EQ(pen->FlashVersion(), kSimFactoryVersion);
}

TEST(SimUpdateFailure, LoaderThatNeverComesBackGivesUpAfterNinetySeconds)
{
    SimTabletFixture f("basic", [](SimScenario& s) { s.boards[0].reenumerateMs = 10 * 60 * 1000; });
    ASSERT_TRUE(f.mController->UpdateDeviceList());
    f.mController->SetUpdateType(0);
    ASSERT_TRUE(f.mController->ProcessUpdateFile(f.ScenarioFile("basic.pen")));
    CDiagnosticCapture asserts;
    f.mClock->clearSleeps();
    EXPECT_FALSE(f.mController->UpdateDevice());

    // 90 one-second attempts, no rediscovery (the arrival never came), then the assertion.
    EXPECT_EQ(f.mClock->sleeps(), std::vector<std::uint32_t>(90, 1000));
    EXPECT_EQ(f.LogFind("Updating Device List...", f.LogFind("Switching Pen to Loader mode... ")), -1);
    EXPECT_EQ(f.mNotifier->GetState(), 6);
    EXPECT_TRUE(f.LogHas("[ERROR] General Program Failure (6)"));
    ASSERT_EQ(asserts.Lines().size(), 1u);
    EXPECT_NE(asserts.Lines()[0].find("\"Oops - Could not get a mainInterface pointer\""), std::string::npos);
}

TEST(SimUpdateFailure, RemovalWhileReadyTerminates)
{
    SimTabletFixture f("basic");
    auto pen = f.mBus.Board("pen");
    ASSERT_TRUE(f.mController->UpdateDeviceList());
    f.mController->SetUpdateType(0);
    ASSERT_TRUE(f.mController->ProcessUpdateFile(f.ScenarioFile("basic.pen")));
    pen->Unplug();
    EXPECT_TRUE(f.LogHas("IMPORTANT Detach Message (" + pen->Spec().normal.path + ") STATE->ESTATE_TERMINATE"));
    EXPECT_EQ(f.mNotifier->GetState(), 7);
    EXPECT_EQ(f.mController->GetState(), 7);
}

TEST(SimUpdateFailure, FileOfTheWrongFormatForTheBoardIsRefused)
{
    SimTabletFixture f("basic");
    CTempDir dir;
    WriteFile(dir.File("touch.hex"), ":048000000102030472\r\n:00000001FF\r\n");
    ASSERT_TRUE(f.mController->UpdateDeviceList());
    f.mController->SetUpdateType(0);
    EXPECT_FALSE(f.mController->ProcessUpdateFile(dir.File("touch.hex")));
    EXPECT_EQ(f.mNotifier->GetState(), 0);
    EXPECT_EQ(f.mNotifier->GetLastErrorCode(), 4);
    EXPECT_TRUE(f.LogHas("[ERROR]  (4)"));
    EXPECT_FALSE(f.mController->ProcessUpdateFile(dir.File("missing.pen")));
    EXPECT_EQ(f.mNotifier->GetLastErrorCode(), 3);
}

TEST(SimUpdate, ProtocolOneBoardSwitchesInPlace)
{
    SimTabletFixture f("protocol1");
    auto pen = f.mBus.Board("pen");
    ASSERT_TRUE(f.mController->UpdateDeviceList());
    f.mController->SetUpdateType(0);
    const std::string file = f.ScenarioFile("protocol1.pen");
    ASSERT_TRUE(f.mController->ProcessUpdateFile(file));
    ASSERT_TRUE(f.mController->UpdateDevice()) << f.LogText();
    EXPECT_TRUE(f.LogHas("Setting protocolType to 1"));
    EXPECT_EQ(f.States(), (std::vector<int>{0, 1, 2, 3, 4, 5, 5}));
    EXPECT_EQ(pen->Reenumerations(), 0);
    CSRec image;
    ASSERT_TRUE(image.Load(file));
    EXPECT_TRUE(SimTabletFixture::FlashHolds(*pen, image.GetBlocks()));
    EXPECT_TRUE(pen->Loader().ApplicationValid());
    EXPECT_FALSE(pen->InLoader());
    EXPECT_EQ(f.mBus.Host()->Nodes().front().version, kSimDemoVersion);
}

TEST(SimUpdate, TwoTabletsEachUpdateOnlyTheirOwnBoard)
{
    SimTabletFixture f("two-tablets");
    auto first = f.mBus.Board("pen", 0);
    auto second = f.mBus.Board("pen", 1);
    ASSERT_TRUE(first && second);
    ASSERT_TRUE(f.mController->UpdateDeviceList());
    ASSERT_EQ(f.mController->GetDiscovery()->GetDevices().size(), 2u);
    // Select the second tablet by its interface path, then update it.
    ASSERT_TRUE(f.mController->SelectDeviceByPath(second->Spec().normal.path));
    f.mController->SetUpdateType(0);
    ASSERT_TRUE(f.mController->ProcessUpdateFile(f.ScenarioFile("basic.pen")));
    ASSERT_TRUE(f.mController->UpdateDevice()) << f.LogText();
    EXPECT_EQ(second->FlashVersion(), kSimDemoVersion);
    EXPECT_EQ(first->FlashVersion(), kSimFactoryVersion);
    EXPECT_EQ(first->Reenumerations(), 0);
}

TEST(SimUpdateFailure, BulkPenFoundInItsLoaderIsRecoveredOverHid)
{
    SimTabletFixture f("bulk");
    auto pen = f.mBus.Board("pen");
    LeaveHalfProgrammed(*pen);
    ASSERT_TRUE(pen->InLoader());
    ASSERT_TRUE(f.mController->UpdateDeviceList());
    ASSERT_TRUE(f.mController->GetCurrentDevice()->mLoaderMode);
    f.mController->SetUpdateType(0);
    ASSERT_TRUE(f.mController->ProcessUpdateFile(f.ScenarioFile("bulk.pen")));
    ASSERT_TRUE(f.mController->UpdateDevice()) << f.LogText();
    EXPECT_EQ(pen->BulkDevice()->EnterLoaderCount(), 0);
    EXPECT_FALSE(pen->InLoader());
    EXPECT_TRUE(pen->IsPluggedIn());
    EXPECT_EQ(pen->FlashVersion(), kSimDemoVersion);
}

TEST(SimUpdateFailure, InPlaceBoardFoundInItsLoaderIsRecovered)
{
    SimTabletFixture f("protocol1");
    auto pen = f.mBus.Board("pen");
    LeaveHalfProgrammed(*pen);
    ASSERT_TRUE(pen->InLoader());
    ASSERT_TRUE(f.mController->UpdateDeviceList());
    f.mController->SetUpdateType(0);
    ASSERT_TRUE(f.mController->ProcessUpdateFile(f.ScenarioFile("protocol1.pen")));
    // Its interface looks normal; the enter-loader reports are refused by the loader, which the
    // flow survives, and programming then goes through the same interface.
    ASSERT_TRUE(f.mController->UpdateDevice()) << f.LogText();
    EXPECT_TRUE(f.LogHas("Error returned from SwitchToBLMode()"));
    EXPECT_FALSE(pen->InLoader());
    EXPECT_TRUE(pen->Loader().ApplicationValid());
}
