#include "SimTabletFixture.h"


TEST(ControllerRules, ArrivalsMoveOnlyTheWaitingStates)
{
    SimTabletFixture f("basic");
    f.mController->OnInterfaceAttached("some other usb device");
    EXPECT_TRUE(f.LogHas("Ignored Attach Message (some other usb device)"));
    EXPECT_EQ(f.mController->GetState(), 0);
    // While entering the loader, the arrival of an unrelated device counts (the arriving path is
    // not examined): a board that never comes back but a mouse plugged in moves the state on.
    f.mBus.Board("pen")->Loader().SetOnEnterLoader([&] { f.mController->OnInterfaceAttached("a mouse"); });
    ASSERT_TRUE(f.mController->UpdateDeviceList());
    f.mController->SetUpdateType(0);
    ASSERT_TRUE(f.mController->ProcessUpdateFile(f.ScenarioFile("basic.pen")));
    // The board itself never re-enumerated, so the update then fails; only the move matters here.
    EXPECT_FALSE(f.mController->UpdateDevice());
    EXPECT_TRUE(f.LogHas("IMPORTANT Attach Message (a mouse) STATE->ESTATE_PROGRAM"));
}

TEST(ControllerRules, RemovalIsImportantOnlyForTheCurrentDeviceOfAReenumeratingPenBoard)
{
    SimTabletFixture f("basic");
    const std::string path = f.mBus.Board("pen")->Spec().normal.path;
    // Without a current device every removal is unimportant.
    f.mController->OnInterfaceDetached(path);
    EXPECT_TRUE(f.LogHas("Ignored Unimportant Detach Message (" + path + ")"));

    ASSERT_TRUE(f.mController->UpdateDeviceList());
    f.mController->SetUpdateType(0);
    ASSERT_TRUE(f.mController->ProcessUpdateFile(f.ScenarioFile("basic.pen")));
    // A path that differs only in letter case is the same interface.
    std::string upper = path;
    upper.replace(4, 3, "HID"); // \\?\hid#... -> \\?\HID#...
    ASSERT_NE(upper, path);
    f.mController->OnInterfaceDetached(upper);
    EXPECT_EQ(f.mController->GetState(), 7);
    EXPECT_TRUE(f.LogHas("IMPORTANT Detach Message (" + upper + ") STATE->ESTATE_TERMINATE"));
}

TEST(ControllerRules, RemovalOfAnInPlaceBoardIsUnimportant)
{
    SimTabletFixture f("protocol1");
    ASSERT_TRUE(f.mController->UpdateDeviceList());
    f.mController->SetUpdateType(0);
    ASSERT_TRUE(f.mController->ProcessUpdateFile(f.ScenarioFile("protocol1.pen")));
    const std::string path = f.mBus.Board("pen")->Spec().normal.path;
    f.mController->OnInterfaceDetached(path);
    EXPECT_EQ(f.mController->GetState(), 1);
    EXPECT_TRUE(f.LogHas("Ignored Unimportant Detach Message (" + path + ")"));
}

TEST(ControllerRules, AutoUpdateWordIsExactAndTheFileIsLoadedFromTheGivenDirectory)
{
    SimTabletFixture f("basic");
    ASSERT_TRUE(f.mController->UpdateDeviceList());
    const std::string dir = SimTabletFixture::DataDir() + "/scenarios/basic";
    EXPECT_FALSE(f.mController->ValidateAutoUpdate("Pen", dir));
    EXPECT_FALSE(f.mController->ValidateAutoUpdate("bluetooth", dir)); // no bluetooth board
    EXPECT_FALSE(f.mController->ValidateAutoUpdate("tablet", dir));
    EXPECT_FALSE(f.mController->IsAutoUpdate());
    EXPECT_TRUE(f.mController->ValidateAutoUpdate("pen", dir));
    EXPECT_TRUE(f.mController->IsAutoUpdate());
    EXPECT_EQ(f.mController->GetState(), 1);
    EXPECT_EQ(f.mController->GetDataSource().GetFileName(), dir + "/basic.pen");
    EXPECT_TRUE(f.LogHas("Update type changed to 0"));
}

TEST(ControllerRules, FailedPreUpdateReportsTwice)
{
    SimTabletFixture f("basic");
    ASSERT_TRUE(f.mController->UpdateDeviceList());
    f.mController->SetUpdateType(0);
    // No file loaded: the loader is reached, then PreUpdate fails with code 3, then code 8.
    EXPECT_FALSE(f.mController->UpdateDevice());
    const int first = f.LogFind("[ERROR] No loaded data file found. (3)");
    const int second = f.LogFind("[ERROR] PreUpdate function failed (8)", first);
    EXPECT_GE(first, 0);
    EXPECT_GT(second, first);
    EXPECT_EQ(f.mNotifier->GetState(), 6);
}

TEST(ControllerRules, ARejectedFileIsLoggedWithTheReadersReason)
{
    SimTabletFixture f("basic");
    ASSERT_TRUE(f.mController->UpdateDeviceList());
    f.mController->SetUpdateType(0);
    CTempDir dir;
    // Line 2's checksum is one off: 05 + 00 + 00 + 01 + 02 = 0x08, so the record needs 0xF7.
    const std::string file = dir.File("bad.pen");
    WriteFile(file, "S0030000FC\nS10500000102F6\n");
    EXPECT_FALSE(f.mController->ProcessUpdateFile(file));
    EXPECT_GE(f.LogFind("[ERROR] line 2: checksum mismatch (the record says 0xF6, its bytes give 0xF7) (3)"), 0);
}
