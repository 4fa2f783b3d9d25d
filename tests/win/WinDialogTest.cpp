// The Win32 dialog over the simulated tablet, driven through its window: what initialisation
// shows, and a whole interactive update (file chosen, Program confirmed in the real message box,
// arrivals delivered through the window's private message) until the green success state.
// The simulated boards keep real time here (the update worker and the dialog's thread must both
// run), so the update takes a few seconds.

#include "CDialogFirmwareUpdater.h"
#include "CSimBus.h"
#include "CSimUpdateController.h"
#include "FWUpdater/CUpdateController.h"
#include "FWUpdater/CUpdateWorker.h"
#include "FWUpdater/DialogResource.h"
#include "SimScenarios.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <map>
#include <string>

namespace {

// The text of a dialog's control, or of the dialog itself for id 0.
std::wstring ControlText(HWND dialog_I, int id_I)
{
    wchar_t text[512] = {};
    ::GetWindowTextW(id_I == 0 ? dialog_I : ::GetDlgItem(dialog_I, id_I), text, 512);
    return text;
}

// Runs the dialog modally; step_I is called on the dialog's thread every 20 ms (a thread timer,
// dispatched by whatever modal loop runs, the dialog's or a message box's) until it returns false.
class CDialogDriver
{
public:
    CDialogDriver()
    {
        INITCOMMONCONTROLSEX controls {sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
        ::InitCommonControlsEx(&controls);
        if (!GetSimScenario("basic", std::string(VFWU_SOURCE_DIR) + "/data", mScenario))
            throw std::runtime_error("no basic scenario");
        PlugInSimScenario(mScenario, mBus);
        mController = std::make_shared<CSimUpdateController>(mBus.Host(), mScenario.topologyPath);
        mDialog = std::make_unique<CDialogFirmwareUpdater>(mController, u"", u"", "en");
        mBus.SetInterfaceEventSink(
            [this](bool arrival, const std::string& path) { mDialog->PostInterfaceEvent(arrival, path); });
    }
    ~CDialogDriver()
    {
        mBus.SetInterfaceEventSink(nullptr);
        // As the program does: a worker the dialog left running ends before the simulated bus goes.
        mDialog.reset();
        CUpdateWorker::JoinStragglers();
    }

    INT_PTR Run(std::function<bool(CDialogDriver&)> step_I)
    {
        sStep = std::move(step_I);
        sDriver = this;
        const UINT_PTR timer = ::SetTimer(nullptr, 0, 20, OnTick);
        const INT_PTR result = mDialog->DoModal(::GetModuleHandleW(nullptr));
        ::KillTimer(nullptr, timer);
        sDriver = nullptr;
        return result;
    }

    HWND Window() const { return mDialog->GetWindow(); }
    CDialogFirmwareUpdater& Dialog() { return *mDialog; }
    std::string ScenarioFile(const std::string& name_I) const
    {
        return std::string(VFWU_SOURCE_DIR) + "/data/scenarios/basic/" + name_I;
    }

    int mTicks = 0;
    bool mInStep = false;

private:
    static void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD)
    {
        CDialogDriver* self = sDriver;
        if (self == nullptr || self->mInStep || self->Window() == nullptr)
            return;
        ++self->mTicks;
        self->mInStep = true;
        const bool more = sStep(*self);
        self->mInStep = false;
        if (!more)
            sStep = [](CDialogDriver&) { return false; };
    }

    static inline CDialogDriver* sDriver = nullptr;
    static inline std::function<bool(CDialogDriver&)> sStep;

    SimScenario mScenario;
    CSimBus mBus;
    std::shared_ptr<CSimUpdateController> mController;
    std::unique_ptr<CDialogFirmwareUpdater> mDialog;
};

void Cancel(HWND dialog_I)
{
    ::PostMessageW(dialog_I, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

TEST(WinDialog, InitialisationShowsTheSimulatedTabletAndCancelEndsWithTwo)
{
    CDialogDriver driver;
    std::map<int, std::wstring> texts;
    LRESULT entries = -1;
    BOOL programEnabled = TRUE;
    RECT client {};
    RECT expected {0, 0, 332, 342};
    const INT_PTR result = driver.Run([&](CDialogDriver& d) {
        HWND w = d.Window();
        for (int id : {0, IDC_TABLET_NAME, IDC_PEN_VERSION, IDC_TOUCH_VERSION, IDC_BLUETOOTH_VERSION, IDC_UPDATE_TYPE})
            texts[id] = ControlText(w, id);
        entries = ::SendDlgItemMessageW(w, IDC_UPDATE_TYPE, CB_GETCOUNT, 0, 0);
        programEnabled = ::IsWindowEnabled(::GetDlgItem(w, IDC_PROGRAM));
        ::GetClientRect(w, &client);
        ::MapDialogRect(w, &expected);
        Cancel(w);
        return false;
    });
    EXPECT_EQ(result, 2);
    EXPECT_EQ(texts, (std::map<int, std::wstring> {{0, L"Vellum Firmware Update Utility 2.22"},
                                                   {IDC_TABLET_NAME, L"Vellum Sim Tablet"},
                                                   {IDC_PEN_VERSION, L"1.05"},
                                                   {IDC_TOUCH_VERSION, L"1.05"},
                                                   {IDC_BLUETOOTH_VERSION, L"Not Supported"},
                                                   {IDC_UPDATE_TYPE, L"Pen"}}));
    EXPECT_EQ(entries, 2); // Pen and Touch: the basic tablet has a touch board behind its I2C bridge
    EXPECT_FALSE(programEnabled);
    EXPECT_EQ(client.right - client.left, expected.right - expected.left);
    EXPECT_EQ(client.bottom - client.top, expected.bottom - expected.top);
}

TEST(WinDialog, InteractiveUpdateRunsToTheGreenSuccessState)
{
    CDialogDriver driver;
    int phase = 0;
    std::wstring confirmation, status, pen, oldChecksum, newChecksum, file;
    EStatusColour colour = EStatusColour::eDefault;
    bool programEnabledAfter = false;
    const INT_PTR result = driver.Run([&](CDialogDriver& d) {
        HWND w = d.Window();
        if (d.mTicks > 3000) { // 60 s: give up rather than hang the test run
            ::EndDialog(w, 99);
            return false;
        }
        switch (phase) {
        case 0: // the user chose the demo file in the open-file dialog
            d.Dialog().Model().OnFileChosen(d.Dialog(), d.ScenarioFile("basic.pen"));
            file = ControlText(w, IDC_FILE_NAME);
            ::PostMessageW(w, WM_COMMAND, MAKEWPARAM(IDC_PROGRAM, BN_CLICKED), 0);
            phase = 1;
            return true;
        case 1: { // the confirmation box: answer Yes
            HWND box = ::FindWindowW(L"#32770", L"Vellum Firmware Update Utility");
            if (box == nullptr)
                return true;
            confirmation = ControlText(box, 0xFFFF);
            ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
            phase = 2;
            return true;
        }
        default: // wait for the final state shown by the dialog's own timer
            status = ControlText(w, IDC_STATUS_TEXT);
            if (status != L"Programming Successful" && status != L"Programming Failed")
                return true;
            pen = ControlText(w, IDC_PEN_VERSION);
            oldChecksum = ControlText(w, IDC_PEN_OLD_CHECKSUM);
            newChecksum = ControlText(w, IDC_PEN_NEW_CHECKSUM);
            colour = d.Dialog().Model().GetColour(IDC_STATUS_BACKGROUND);
            programEnabledAfter = ::IsWindowEnabled(::GetDlgItem(w, IDC_PROGRAM)) != FALSE;
            Cancel(w);
            return false;
        }
    });
    EXPECT_EQ(result, 2);
    EXPECT_NE(file.find(L"basic.pen"), std::wstring::npos);
    EXPECT_EQ(confirmation, L"You are about to update the firmware.\n\nWhile programming do not disconnect or power "
                            L"down your device.\n\nDo you want to continue?");
    EXPECT_EQ(status, L"Programming Successful");
    EXPECT_EQ(pen, L"1.10");
    EXPECT_EQ(oldChecksum.size(), 8u);
    EXPECT_EQ(newChecksum.size(), 8u);
    EXPECT_NE(oldChecksum, newChecksum);
    EXPECT_EQ(colour, EStatusColour::eGreen);
    EXPECT_TRUE(programEnabledAfter);
}

} // namespace
