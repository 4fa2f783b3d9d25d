#include "RecordingView.h"

#include "../orchestration/SimTabletFixture.h"

#include "FWUpdater/CMainDialogModel.h"
#include "FWUpdater/DialogResource.h"
#include "LanguageProvider.h"
#include "ResourceUtils.h"
#include "StringUtils.h"

#include <chrono>
#include <thread>

namespace {

std::u16string English(int id_I)
{
    return ResourceUtils::LoadResourceString(static_cast<std::uint32_t>(id_I), 0x0009);
}

// A dialog over a simulated scenario; the model shares the fixture's controller.
struct DialogFixture
{
    explicit DialogFixture(const std::string& scenario_I, std::u16string path_I = u"", std::u16string board_I = u"",
                           std::function<void(SimScenario&)> adjust_I = nullptr)
        : sim(scenario_I, std::move(adjust_I))
    {
        // The model owns its notifier; the fixture's stays unused.
        sim.mController->SetNotifier(nullptr);
        auto notifier = std::make_unique<CLogUpdateNotifier>(std::make_unique<CMemoryLogFile>(sim.mLog), "memory", "\n",
                                                             ELogEncoding::eUtf8);
        model = std::make_unique<CMainDialogModel>(sim.mController, std::move(notifier), English, std::move(path_I),
                                                   std::move(board_I));
        model->SetAutoUpdateDirectory(SimTabletFixture::DataDir() + "/scenarios/" + scenario_I);
    }
    ~DialogFixture()
    {
        model.reset();
        // A worker the dialog left running still uses the simulated bus: it ends before the bus goes.
        CUpdateWorker::JoinStragglers();
    }

    // Timer ticks until the dialog ends or the update is over (state 5/6/7 with no worker),
    // bounded so that a hang fails instead of blocking.
    void TickUntilSettled()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!view.Ended() && view.mTimerMs != 0 && std::chrono::steady_clock::now() < deadline) {
            model->OnTimer(view);
            const int state = model->GetState();
            if ((state >= 5 || state == 0) && !model->IsUpdateRunning()) {
                if (view.mTimerMs != 0 && !view.Ended())
                    model->OnTimer(view);
                return;
            }
            std::this_thread::yield();
        }
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the update did not settle";
    }

    SimTabletFixture sim;
    std::unique_ptr<CMainDialogModel> model;
    CRecordingView view;
};

} // namespace

TEST(MainDialog, NoTabletShowsErrorAndEndsWithOne)
{
    DialogFixture d("basic");
    for (const auto& board : d.sim.mBus.Boards())
        board->Unplug();
    d.model->OnInitDialog(d.view);
    ASSERT_EQ(d.view.mMessages.size(), 1u);
    EXPECT_EQ(d.view.mMessages[0].text, u"Error: No supported tablet is connected.  Please connect a tablet.");
    EXPECT_EQ(d.view.mMessages[0].caption, u"Vellum Firmware Update Utility");
    EXPECT_EQ(d.view.mMessages[0].icon, EMessageIcon::eError);
    EXPECT_EQ(d.view.mResults, std::vector<int>{1});
    EXPECT_EQ(d.view.mTimerMs, 0u);
}

TEST(MainDialog, InitialisationShowsTheTabletAndItsFirmware)
{
    DialogFixture d("basic");
    d.model->OnInitDialog(d.view);
    EXPECT_FALSE(d.view.Ended());
    EXPECT_EQ(d.view.mTitle, u"Vellum Firmware Update Utility 2.22");
    EXPECT_EQ(d.view.Text(IDC_TABLET_NAME), u"Vellum Sim Tablet");
    EXPECT_EQ(d.view.Text(IDC_PEN_VERSION), u"1.05");
    EXPECT_EQ(d.view.Text(IDC_TOUCH_VERSION), u"1.05");
    EXPECT_EQ(d.view.Text(IDC_BLUETOOTH_VERSION), u"Not Supported");
    EXPECT_EQ(d.view.mEntries, (std::vector<std::u16string>{u"Pen", u"Touch"}));
    EXPECT_TRUE(d.view.mMessages.empty());
    EXPECT_EQ(d.view.mSelected, 0);
    ASSERT_EQ(d.view.mFilter.size(), 2u);
    EXPECT_EQ(d.view.mFilter[0].second, u"*.pen");
    EXPECT_EQ(d.view.mFilter[1].second, u"*.vel");
    EXPECT_EQ(d.view.mRange, (std::pair<int, int>{0, 100}));
    EXPECT_EQ(d.view.mTimerMs, 500u);
    EXPECT_EQ(d.model->GetColour(IDC_BANNER_BACKGROUND), EStatusColour::eGrey);
    EXPECT_EQ(d.model->GetColour(IDC_STATUS_TEXT), EStatusColour::eDefault);
    // State 0: controls enabled except Program.
    d.model->OnTimer(d.view);
    EXPECT_FALSE(d.view.Enabled(IDC_PROGRAM));
    EXPECT_TRUE(d.view.Enabled(IDC_BROWSE));
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

TEST(MainDialog, AnotherWindowOfTheProgramEndsThisOneWithOne)
{
    DialogFixture d("basic");
    d.view.mOtherInstance = true;
    d.model->OnInitDialog(d.view);
    EXPECT_EQ(d.view.mResults, std::vector<int>{1});
    EXPECT_TRUE(d.view.mMessages.empty());
}

TEST(MainDialog, InteractiveUpdateRunsOnTheWorkerAndRefreshesTheLabels)
{
    DialogFixture d("basic");
    d.model->OnInitDialog(d.view);
    d.model->OnFileChosen(d.view, d.sim.ScenarioFile("basic.pen"));
    EXPECT_TRUE(d.view.Enabled(IDC_PROGRAM));
    EXPECT_EQ(d.view.Text(IDC_CHECKSUM), u"N/A");
    EXPECT_EQ(d.view.mTooltip, Utf8ToUtf16(d.sim.ScenarioFile("basic.pen")));

    d.view.mAnswer = EMessageResult::eNo;
    d.model->OnProgram(d.view);
    d.model->OnTimer(d.view);
    EXPECT_FALSE(d.model->IsUpdateRunning()); // "No" starts nothing

    d.view.mAnswer = EMessageResult::eYes;
    d.model->OnProgram(d.view);
    d.model->OnProgram(d.view); // pressed twice before the tick: still one worker
    EXPECT_FALSE(d.view.Enabled(IDC_PROGRAM));
    EXPECT_FALSE(d.view.mCloseEnabled);
    d.TickUntilSettled();

    EXPECT_EQ(d.model->GetState(), 5);
    EXPECT_EQ(d.view.Text(IDC_STATUS_TEXT), u"Programming Successful");
    EXPECT_EQ(d.view.Text(IDC_PEN_VERSION), u"1.10");
    EXPECT_NE(d.view.Text(IDC_CHECKSUM), u"N/A");
    EXPECT_EQ(d.view.Text(IDC_PEN_NEW_CHECKSUM), d.view.Text(IDC_CHECKSUM));
    EXPECT_EQ(d.view.Text(IDC_PEN_OLD_CHECKSUM).size(), 8u);
    EXPECT_EQ(d.view.mProgress.back(), 100);
    EXPECT_TRUE(d.view.Enabled(IDC_PROGRAM));
    EXPECT_EQ(d.model->GetColour(IDC_STATUS_BACKGROUND), EStatusColour::eGreen);
    EXPECT_FALSE(d.view.Ended());
    EXPECT_EQ(d.sim.mBus.Board("pen")->FlashVersion(), kSimDemoVersion);
    EXPECT_EQ(d.sim.LogFind("pen: old checksum: 0x"), d.sim.LogFind("pen: old checksum: 0x"));
    EXPECT_GE(d.sim.LogFind("pen: old checksum: 0x"), 0);

    // A second update of the same file restarts the worker.
    d.model->OnProgram(d.view);
    d.TickUntilSettled();
    EXPECT_EQ(d.model->GetState(), 5);
    EXPECT_EQ(d.sim.mBus.Board("pen")->Reenumerations(), 4);
}

TEST(MainDialog, UnattendedUpdateEndsWithZeroAfterTheSuccessBox)
{
    DialogFixture d("basic", u"\\\\?\\hid#vid_ffff&pid_0100#8&sim0001&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}", u"pen");
    d.model->OnInitDialog(d.view);
    EXPECT_TRUE(d.view.mStatusStrip);
    EXPECT_TRUE(d.model->IsUnattended());
    d.TickUntilSettled();
    ASSERT_EQ(d.view.mResults, std::vector<int>{0}) << d.sim.LogText();
    ASSERT_EQ(d.view.mMessages.size(), 1u);
    EXPECT_EQ(d.view.mMessages[0].text, u"Firmware was successfully updated.");
    EXPECT_EQ(d.view.mMessages[0].icon, EMessageIcon::eInformation);
    EXPECT_EQ(d.view.mTimerMs, 0u);
    EXPECT_TRUE(d.sim.LogHas("UI Reformatting for AutoStart..."));
    EXPECT_EQ(d.sim.mBus.Board("pen")->FlashVersion(), kSimDemoVersion);
}

TEST(MainDialog, UnattendedFailureEndsWithOne)
{
    DialogFixture d("basic", u"\\\\?\\hid#vid_ffff&pid_0100#8&sim0001&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}", u"pen",
                    [](SimScenario& s) { s.boards[0].reenumerateMs = 10 * 60 * 1000; });
    d.model->OnInitDialog(d.view);
    d.TickUntilSettled();
    // The loader never came back: the update fails instead of waiting in state 2 for ever.
    EXPECT_EQ(d.model->GetState(), 6);
    EXPECT_EQ(d.view.mResults, std::vector<int>{1});
    ASSERT_FALSE(d.view.mMessages.empty());
    EXPECT_EQ(d.view.mMessages.back().text, u"Firmware failed to update. Please reattach your device and try again.");
    EXPECT_EQ(d.view.Text(IDC_STATUS_TEXT), u"Programming Failed");
}

TEST(MainDialog, InvalidDevicePathOrUpdateFileEndsWithOne)
{
    {
        DialogFixture d("basic", u"\\\\?\\hid#no-such-device", u"pen");
        d.model->OnInitDialog(d.view);
        EXPECT_EQ(d.view.mResults, std::vector<int>{1});
        ASSERT_EQ(d.view.mMessages.size(), 1u);
        EXPECT_EQ(d.view.mMessages[0].text, u"Error: Update target device not found. Please re-download the package.");
        EXPECT_TRUE(d.sim.LogHas("Invalid device path passed to updater!"));
    }
    {
        DialogFixture d("basic", u"\\\\?\\hid#vid_ffff&pid_0100#8&sim0001&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}", u"Pen");
        d.model->OnInitDialog(d.view);
        EXPECT_EQ(d.view.mResults, std::vector<int>{1});
        ASSERT_EQ(d.view.mMessages.size(), 1u);
        EXPECT_EQ(d.view.mMessages[0].text, u"Error: Invalid Firmware update file. Please re-download the package.");
        EXPECT_TRUE(d.sim.LogHas("Update file processing FAILED!"));
    }
    {
        // A device path without a board preselects the device and stays interactive.
        DialogFixture d("basic", u"\\\\?\\HID#VID_FFFF&PID_0100#8&SIM0001&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}");
        d.model->OnInitDialog(d.view);
        EXPECT_FALSE(d.view.Ended());
        EXPECT_FALSE(d.view.mStatusStrip);
        EXPECT_TRUE(d.sim.LogHas("Selected Device changed..."));
    }
}

TEST(MainDialog, BusyStatesRefuseClosingAndDeviceGoneEndsWithOne)
{
    DialogFixture d("basic");
    d.model->OnInitDialog(d.view);
    d.model->GetNotifier().ReportState(3);
    EXPECT_TRUE(d.model->IsBusy());
    EXPECT_FALSE(d.model->OnCloseRequest());
    EXPECT_FALSE(d.model->OnQueryEndSession());
    d.model->OnCancel(d.view);
    EXPECT_FALSE(d.view.Ended());
    EXPECT_EQ(d.model->GetColour(IDC_STATUS_TEXT), EStatusColour::eYellow);
    // Successive ticks show 2, 3, 1, 2 dots.
    d.model->OnTimer(d.view);
    EXPECT_EQ(d.view.Text(IDC_STATUS_TEXT), u"Programming..");
    d.model->OnTimer(d.view);
    EXPECT_EQ(d.view.Text(IDC_STATUS_TEXT), u"Programming...");
    d.model->OnTimer(d.view);
    EXPECT_EQ(d.view.Text(IDC_STATUS_TEXT), u"Programming.");

    d.model->GetNotifier().ReportState(7);
    d.model->OnTimer(d.view);
    EXPECT_EQ(d.view.mResults, std::vector<int>{1});
    EXPECT_EQ(d.view.mMessages.back().text, u"Error: No supported tablet is connected.  Please connect a tablet.");

    DialogFixture idle("basic");
    idle.model->OnInitDialog(idle.view);
    idle.model->OnCancel(idle.view);
    EXPECT_EQ(idle.view.mResults, std::vector<int>{2});
}

TEST(MainDialog, RejectedFileAndUnchangedTypeChangeNothing)
{
    DialogFixture d("basic");
    d.model->OnInitDialog(d.view);
    CTempDir dir;
    WriteFile(dir.File("bad.pen"), "S1 not a record at all\n");
    d.model->OnFileChosen(d.view, dir.File("bad.pen"));
    ASSERT_EQ(d.view.mMessages.size(), 1u);
    EXPECT_EQ(d.view.mMessages[0].text, u"Error: The specified file does not appear to be a valid firmware file.");
    d.model->OnTimer(d.view);
    EXPECT_FALSE(d.view.Enabled(IDC_PROGRAM));
    const int refreshes = d.view.mRefreshes;
    d.model->OnUpdateTypeSelected(d.view, 0);
    EXPECT_EQ(d.view.mRefreshes, refreshes);
}

TEST(MainDialog, TouchBoardDescribedButMissingIsReportedOnceAndNotOffered)
{
    DialogFixture d("basic");
    d.sim.mBus.Board("touch")->Unplug();
    d.model->OnInitDialog(d.view);
    ASSERT_EQ(d.view.mMessages.size(), 1u);
    EXPECT_EQ(d.view.mMessages[0].text,
              u"Error: Attached device has touch support but touch board not found. Is the driver installed?");
    EXPECT_EQ(d.view.Text(IDC_TOUCH_VERSION), u"Not Available");
    EXPECT_EQ(d.view.mEntries, std::vector<std::u16string>{u"Pen"});
}

TEST(MainDialog, BluetoothWithoutTouchListsPenAndBluetoothAndSwitchesTheFilter)
{
    DialogFixture d("protocol1");
    d.sim.mBus.Board("touch")->Unplug();
    d.model->OnInitDialog(d.view);
    EXPECT_EQ(d.view.mEntries, (std::vector<std::u16string>{u"Pen", u"Bluetooth"}));
    d.model->OnUpdateTypeSelected(d.view, 1);
    EXPECT_EQ(d.model->GetController().GetUpdateType(), 2);
    ASSERT_EQ(d.view.mFilter.size(), 1u);
    EXPECT_EQ(d.view.mFilter[0].second, u"*.airoflash");
    EXPECT_EQ(d.view.Text(IDC_CHECKSUM), u"N/A");
    EXPECT_FALSE(d.view.Enabled(IDC_PROGRAM));
}
