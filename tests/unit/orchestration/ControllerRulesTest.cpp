#include "../faults/FaultRig.h"

#include <regex>

namespace {

// A copy of the scenario's topology whose pen sector count is sectors_I.
std::function<void(SimScenario&)> Sectors(const CTempDir& dir_I, int sectors_I)
{
    return [&dir_I, sectors_I](SimScenario& s) {
        const std::string path = dir_I.File("fw_loader.ini");
        WriteFile(path, std::regex_replace(ReadFile(s.topologyPath), std::regex("\"sectors\": 40"),
                                           "\"sectors\": " + std::to_string(sectors_I)));
        s.topologyPath = path;
    };
}

} // namespace

TEST(ControllerRules, ArrivalsAndRemovalsMoveOnlyTheStatesTheyConcern)
{
    CFaultRig f("basic");
    ASSERT_TRUE(f.Prepare());
    f.mController->OnInterfaceAttached("some other usb device");
    EXPECT_GE(f.Current().Find("Ignored Attach Message (some other usb device)"), 0);
    EXPECT_EQ(f.mController->GetState(), 1);
    // A path that differs only in letter case is the same interface.
    std::string upper = f.Board()->Spec().normal.path;
    upper.replace(4, 3, "HID"); // \\?\hid#... -> \\?\HID#...
    f.mController->OnInterfaceDetached(upper);
    EXPECT_EQ(f.mController->GetState(), 7);
    EXPECT_GE(f.Current().Find("IMPORTANT Detach Message (" + upper + ") STATE->ESTATE_TERMINATE"), 0);
    EXPECT_EQ(f.mNotifier->GetState(), 7);
}

TEST(ControllerRules, WhileEnteringTheLoaderAnyArrivalMovesTheStateOn)
{
    // The arriving path is not examined: a mouse plugged in moves the state on (and the update fails).
    CFaultRig f("basic");
    ASSERT_TRUE(f.Prepare());
    f.Board()->Loader().SetOnEnterLoader([&] { f.mController->OnInterfaceAttached("a mouse"); });
    EXPECT_FALSE(f.mController->UpdateDevice());
    EXPECT_GE(f.Current().Find("IMPORTANT Attach Message (a mouse) STATE->ESTATE_PROGRAM"), 0);
}

TEST(ControllerRules, FilesThatCannotBeUsedAreRefusedWithTheirReason)
{
    CFaultRig f("basic");
    f.Open();
    ASSERT_TRUE(f.mController->UpdateDeviceList());
    CTempDir dir;
    EXPECT_FALSE(f.mController->ProcessUpdateFile(dir.File("missing.pen")));
    EXPECT_EQ(f.mNotifier->GetLastErrorCode(), 3);
    // The loader is reached, then PreUpdate fails with code 3, then code 8.
    EXPECT_FALSE(f.mController->UpdateDevice());
    const FaultRunResult run = f.Current();
    EXPECT_GT(run.Find("[ERROR] PreUpdate function failed (8)", run.Find("[ERROR] No loaded data file found. (3)")), 0);
    EXPECT_EQ(run.state, 6);
    // Line 2's checksum is one off: 05 + 00 + 00 + 01 + 02 = 0x08, so the record needs 0xF7.
    WriteFile(dir.File("bad.pen"), "S0030000FC\nS10500000102F6\n");
    EXPECT_FALSE(f.mController->ProcessUpdateFile(dir.File("bad.pen")));
    EXPECT_GE(f.Current().Find("[ERROR] line 2: checksum mismatch (the record says 0xF6, its bytes give 0xF7) (3)"), 0);
}

TEST(SimUpdateFailure, SectorMismatchFailsBeforeAnythingIsWritten)
{
    CTempDir dir;
    CFaultRig f("basic", Sectors(dir, 39));
    ASSERT_TRUE(f.Prepare());
    EXPECT_FALSE(f.mController->UpdateDevice());
    EXPECT_GE(f.Current().Find("[ERROR] InitCheckForSRecData: Sector/Block mismatch! Expected 39 got 40"), 0);
    EXPECT_EQ(f.mNotifier->GetLastErrorCode(), 6);
    // Nothing was erased; the failure path sent the board back to its application.
    EXPECT_EQ(f.Board()->Loader().EraseCount(1), 0);
    f.mClock->advance(5000);
    EXPECT_EQ(f.WhyNotUpdated().rfind("flash differs", 0), 0u);
    EXPECT_EQ(f.Board()->FlashVersion(), kSimFactoryVersion);
}

TEST(SimUpdateFailure, LoaderThatNeverComesBackGivesUpAfterNinetySeconds)
{
    CFaultRig f("basic", [](SimScenario& s) { s.boards[0].reenumerateMs = 10 * 60 * 1000; });
    ASSERT_TRUE(f.Prepare());
    CDiagnosticCapture asserts;
    f.mClock->clearSleeps();
    EXPECT_FALSE(f.mController->UpdateDevice());
    // 90 one-second attempts, no rediscovery (the arrival never came), then the assertion.
    EXPECT_EQ(f.mClock->sleeps(), std::vector<std::uint32_t>(90, 1000));
    const FaultRunResult run = f.Current();
    EXPECT_EQ(run.Find("Updating Device List...", run.Find("Switching Pen to Loader mode... ")), -1);
    EXPECT_EQ(run.state, 6);
    EXPECT_GE(run.Find("[ERROR] General Program Failure (6)"), 0);
    ASSERT_EQ(asserts.Lines().size(), 1u);
    EXPECT_NE(asserts.Lines()[0].find("\"Oops - Could not get a mainInterface pointer\""), std::string::npos);
}

// A half-programmed board is found in its loader and recovered (the basic pen's sector check is off).
TEST(SimUpdateFailure, BoardFoundInItsLoaderIsRecovered)
{
    CTempDir dir;
    for (const char* scenario : {"basic", "bulk", "protocol1"}) {
        SCOPED_TRACE(scenario);
        CFaultRig f(scenario, std::string(scenario) == "basic" ? Sectors(dir, 12) : nullptr);
        f.Board()->Loader().SetBlockContents(2, std::vector<std::uint8_t>(0x1000, 0x00));
        f.Board()->PowerCycle();
        ASSERT_TRUE(f.Board()->InLoader());
        const FaultRunResult run = f.Run();
        EXPECT_TRUE(run.reported) << Tail(run.log);
        EXPECT_EQ(f.WhyNotUpdated(), "");
        if (f.Board()->Spec().intoBLMode) {
            EXPECT_GE(run.Find("Device already in loader mode"), 0);
            EXPECT_EQ(run.States(), (std::vector<int> {0, 1, 3, 4, 5, 5}));
        } else {
            // Its interface looks normal; the loader refuses the enter-loader reports, which the flow survives.
            EXPECT_GE(run.Find("Error returned from SwitchToBLMode()"), 0);
        }
        if (f.Board()->BulkDevice()) {
            EXPECT_EQ(f.Board()->BulkDevice()->EnterLoaderCount(), 0);
        }
    }
}
