#include "RecordingView.h"

#include "FWUpdater/DialogResource.h"

namespace {

const std::u16string kPenPath = u"\\\\?\\hid#vid_ffff&pid_0100#8&sim0001&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

} // namespace

TEST(MainDialog, EndsWithOneWhenItCannotStart)
{
    struct Case
    {
        const char* what;
        std::u16string path;
        std::u16string board;
        int message; // 0: none
        const char* logLine;
    };
    const Case cases[] = {
        {"no tablet", u"", u"", IDS_NO_TABLET, ""},
        {"another window", u"", u"", 0, ""},
        {"unknown device", u"\\\\?\\hid#no-such-device", u"pen", IDS_TARGET_NOT_FOUND, "Invalid device path passed to updater!"},
        {"board word", kPenPath, u"Pen", IDS_INVALID_UPDATE_FILE, "Update file processing FAILED!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DialogFixture d("basic", c.path, c.board);
        if (c.message == IDS_NO_TABLET) {
            for (const auto& board : d.sim.mBus.Boards())
                board->Unplug();
        }
        d.view.mOtherInstance = c.message == 0;
        d.model->OnInitDialog(d.view);
        EXPECT_EQ(d.view.mResults, std::vector<int>{1});
        EXPECT_EQ(d.view.mMessages.size(), c.message != 0 ? 1u : 0u);
        if (c.message != 0 && !d.view.mMessages.empty()) {
            EXPECT_EQ(d.view.mMessages[0].text, English(c.message));
            EXPECT_EQ(d.view.mMessages[0].caption, u"Vellum Firmware Update Utility");
            EXPECT_EQ(d.view.mMessages[0].icon, EMessageIcon::eError);
        }
        EXPECT_TRUE(*c.logLine == '\0' || d.sim.LogHas(c.logLine)) << c.logLine;
    }
    // A device path without a board preselects the device and stays interactive.
    DialogFixture d("basic", u"\\\\?\\HID#VID_FFFF&PID_0100#8&SIM0001&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}");
    d.model->OnInitDialog(d.view);
    EXPECT_FALSE(d.view.Ended() || d.view.mStatusStrip);
    EXPECT_TRUE(d.sim.LogHas("Selected Device changed..."));
}

TEST(MainDialog, FailedNotificationRegistrationOnlyAsserts)
{
    DialogFixture d("basic");
    d.view.mRegisterOk = false;
    CDiagnosticCapture asserts;
    d.model->OnInitDialog(d.view);
    EXPECT_FALSE(d.view.Ended());
    std::vector<std::string> lines;
    for (const std::string& line : asserts.Lines()) {
        if (line.rfind("Assert:", 0) == 0)
            lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("\"CANNOT REGISTER FOR HID DEVICE NOTIFICATION\""), std::string::npos);
    EXPECT_NE(lines[1].find("\"CANNOT REGISTER FOR VELLUM DEVICE NOTIFICATION\""), std::string::npos);
}

// "No" starts nothing, a second press before the tick no second worker, a second update a fresh one.
TEST(MainDialog, InteractiveUpdateRunsOnTheWorker)
{
    DialogFixture d("basic");
    d.model->OnInitDialog(d.view);
    d.model->OnFileChosen(d.view, d.sim.ScenarioFile("basic.pen"));
    d.view.mAnswer = EMessageResult::eNo;
    d.model->OnProgram(d.view);
    d.model->OnTimer(d.view);
    EXPECT_FALSE(d.model->IsUpdateRunning());
    d.view.mAnswer = EMessageResult::eYes;
    for (int run = 1; run <= 2; ++run) {
        d.model->OnProgram(d.view);
        d.model->OnProgram(d.view);
        d.TickUntilSettled();
        EXPECT_EQ(d.model->GetState(), 5);
        EXPECT_EQ(d.sim.mBus.Board("pen")->Reenumerations(), 2 * run);
    }
}

// Unattended: a loader that never comes back fails instead of waiting in state 2 for ever.
TEST(MainDialog, UnattendedUpdateEndsWithItsResult)
{
    for (const bool slow : {false, true}) {
        SCOPED_TRACE(slow ? "loader never back" : "success");
        DialogFixture d("basic", kPenPath, u"pen", slow ? SlowLoader : nullptr);
        d.model->OnInitDialog(d.view);
        EXPECT_TRUE(d.view.mStatusStrip);
        EXPECT_TRUE(d.model->IsUnattended());
        d.TickUntilSettled();
        ASSERT_EQ(d.view.mResults, std::vector<int>{slow ? 1 : 0}) << d.sim.LogText();
        ASSERT_FALSE(d.view.mMessages.empty());
        EXPECT_EQ(d.view.mMessages.back().text, English(slow ? IDS_UPDATE_FAILED : IDS_UPDATE_SUCCEEDED));
        EXPECT_EQ(d.view.Text(IDC_STATUS_TEXT), slow ? u"Programming Failed" : u"Programming Successful");
        EXPECT_EQ(d.model->GetState(), slow ? 6 : 5);
        EXPECT_EQ(d.view.mTimerMs, 0u);
        EXPECT_EQ(d.sim.mBus.Board("pen")->FlashVersion() == kSimDemoVersion, !slow);
    }
}

// Busy states (2 to 4: the board is away or in its loader) refuse closing and the session's end.
TEST(MainDialog, BusyStatesRefuseClosing)
{
    for (const int state : {0, 2, 3, 4, 5}) {
        SCOPED_TRACE(state);
        DialogFixture d("basic");
        d.model->OnInitDialog(d.view);
        d.model->GetNotifier().ReportState(state);
        const bool busy = state >= 2 && state <= 4;
        EXPECT_EQ(d.model->IsBusy(), busy);
        EXPECT_EQ(d.model->OnCloseRequest(), !busy);
        EXPECT_EQ(d.model->OnQueryEndSession(), !busy);
        d.model->GetNotifier().ReportState(0);
    }
}

// A described touch board that is missing is reported once and not offered.
TEST(MainDialog, MissingTouchBoardIsNotOffered)
{
    DialogFixture basic("basic");
    basic.sim.mBus.Board("touch")->Unplug();
    basic.model->OnInitDialog(basic.view);
    ASSERT_EQ(basic.view.mMessages.size(), 1u);
    EXPECT_EQ(basic.view.mMessages[0].text,
              u"Error: Attached device has touch support but touch board not found. Is the driver installed?");
    EXPECT_EQ(basic.view.Text(IDC_TOUCH_VERSION), u"Not Available");
    EXPECT_EQ(basic.view.mEntries, std::vector<std::u16string>{u"Pen"});

    DialogFixture d("protocol1");
    d.sim.mBus.Board("touch")->Unplug();
    d.model->OnInitDialog(d.view);
    EXPECT_EQ(d.view.mEntries, (std::vector<std::u16string>{u"Pen", u"Bluetooth"}));
    d.model->OnUpdateTypeSelected(d.view, 1);
    EXPECT_EQ(d.model->GetController().GetUpdateType(), 2);
    ASSERT_EQ(d.view.mFilter.size(), 1u);
    EXPECT_EQ(d.view.mFilter[0].second, u"*.airoflash");
    EXPECT_FALSE(d.view.Enabled(IDC_PROGRAM));
}
