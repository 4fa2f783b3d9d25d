// The Win32 dialog over the simulated tablet, driven through its window: what initialisation
// shows, then a whole interactive update (file chosen, Program confirmed in the real message box,
// arrivals delivered through the window's private message) until the green success state.
// The simulated boards keep real time here (the update worker and the dialog's thread must both
// run), so the update takes a few seconds.

#include "CDialogFirmwareUpdater.h"
#include "CSimBus.h"
#include "CSimUpdateController.h"
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

// The text of a window's control, or of the window itself for id 0.
std::wstring ControlText(HWND window_I, int id_I)
{
    wchar_t text[512] = {};
    ::GetWindowTextW(id_I == 0 ? window_I : ::GetDlgItem(window_I, id_I), text, 512);
    return text;
}

// Called on the dialog's thread every 20 ms (a thread timer, dispatched by whatever modal loop
// runs, the dialog's or a message box's) until it returns false.
CDialogFirmwareUpdater* sDialog = nullptr;
std::function<bool(HWND)> sStep;

void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD)
{
    static bool inStep = false;
    if (sDialog == nullptr || sDialog->GetWindow() == nullptr || inStep || !sStep)
        return;
    inStep = true;
    if (!sStep(sDialog->GetWindow()))
        sStep = nullptr;
    inStep = false;
}

TEST(WinDialog, InitialisationShowsTheSimulatedTabletAndAnInteractiveUpdateEndsGreen)
{
    INITCOMMONCONTROLSEX controls {sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&controls);
    SimScenario scenario;
    ASSERT_TRUE(GetSimScenario("basic", std::string(VFWU_SOURCE_DIR) + "/data", scenario));
    CSimBus bus;
    PlugInSimScenario(scenario, bus);
    auto dialog = std::make_unique<CDialogFirmwareUpdater>(
        std::make_shared<CSimUpdateController>(bus.Host(), scenario.topologyPath), u"", u"", "en");
    bus.SetInterfaceEventSink(
        [&](bool arrival, const std::string& path) { dialog->PostInterfaceEvent(arrival, path); });

    std::map<int, std::wstring> shown, after;
    LRESULT entries = -1;
    bool programEnabled = true;
    bool programEnabledAfter = false;
    RECT client {};
    RECT expected {0, 0, 332, 342};
    std::wstring file, confirmation;
    EStatusColour colour = EStatusColour::eDefault;
    int phase = 0;
    int ticks = 0;
    sStep = [&](HWND w) {
        if (++ticks > 3000) { // 60 s: give up rather than hang the test run
            ::EndDialog(w, 99);
            return false;
        }
        if (phase == 0) { // as initialisation left it; then the user chooses the demo file and Program
            for (int id : {0, IDC_TABLET_NAME, IDC_PEN_VERSION, IDC_TOUCH_VERSION, IDC_BLUETOOTH_VERSION,
                           IDC_UPDATE_TYPE})
                shown[id] = ControlText(w, id);
            entries = ::SendDlgItemMessageW(w, IDC_UPDATE_TYPE, CB_GETCOUNT, 0, 0);
            programEnabled = ::IsWindowEnabled(::GetDlgItem(w, IDC_PROGRAM)) != FALSE;
            ::GetClientRect(w, &client);
            ::MapDialogRect(w, &expected);
            const std::string pen = std::string(VFWU_SOURCE_DIR) + "/data/scenarios/basic/basic.pen";
            sDialog->Model().OnFileChosen(*sDialog, pen);
            file = ControlText(w, IDC_FILE_NAME);
            ::PostMessageW(w, WM_COMMAND, MAKEWPARAM(IDC_PROGRAM, BN_CLICKED), 0);
            phase = 1;
        } else if (phase == 1) { // the confirmation box: answer Yes
            HWND box = ::FindWindowW(L"#32770", L"Vellum Firmware Update Utility");
            if (box == nullptr)
                return true;
            confirmation = ControlText(box, 0xFFFF);
            ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
            phase = 2;
        } else { // wait for the final state shown by the dialog's own timer, then Cancel
            const std::wstring status = ControlText(w, IDC_STATUS_TEXT);
            if (status != L"Programming Successful" && status != L"Programming Failed")
                return true;
            for (int id : {IDC_STATUS_TEXT, IDC_PEN_VERSION, IDC_PEN_OLD_CHECKSUM, IDC_PEN_NEW_CHECKSUM})
                after[id] = ControlText(w, id);
            colour = sDialog->Model().GetColour(IDC_STATUS_BACKGROUND);
            programEnabledAfter = ::IsWindowEnabled(::GetDlgItem(w, IDC_PROGRAM)) != FALSE;
            ::PostMessageW(w, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            return false;
        }
        return true;
    };
    sDialog = dialog.get();
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 20, OnTick);
    const INT_PTR result = dialog->DoModal(::GetModuleHandleW(nullptr));
    ::KillTimer(nullptr, timer);
    sDialog = nullptr;
    bus.SetInterfaceEventSink(nullptr);
    // As the program does: a worker the dialog left running ends before the simulated bus goes.
    dialog.reset();
    CUpdateWorker::JoinStragglers();

    EXPECT_EQ(result, 2);
    EXPECT_EQ(shown, (std::map<int, std::wstring> {{0, L"Vellum Firmware Update Utility 2.22"},
                                                   {IDC_TABLET_NAME, L"Vellum Sim Tablet"},
                                                   {IDC_PEN_VERSION, L"1.05"},
                                                   {IDC_TOUCH_VERSION, L"1.05"},
                                                   {IDC_BLUETOOTH_VERSION, L"Not Supported"},
                                                   {IDC_UPDATE_TYPE, L"Pen"}}));
    EXPECT_EQ(entries, 2); // Pen and Touch: the basic tablet has a touch board behind its I2C bridge
    EXPECT_FALSE(programEnabled);
    EXPECT_EQ(client.right - client.left, expected.right - expected.left);
    EXPECT_EQ(client.bottom - client.top, expected.bottom - expected.top);
    EXPECT_NE(file.find(L"basic.pen"), std::wstring::npos);
    EXPECT_EQ(confirmation, L"You are about to update the firmware.\n\nWhile programming do not disconnect or power "
                            L"down your device.\n\nDo you want to continue?");
    EXPECT_EQ(after[IDC_STATUS_TEXT], L"Programming Successful");
    EXPECT_EQ(after[IDC_PEN_VERSION], L"1.10");
    EXPECT_EQ(after[IDC_PEN_OLD_CHECKSUM].size(), 8u);
    EXPECT_EQ(after[IDC_PEN_NEW_CHECKSUM].size(), 8u);
    EXPECT_NE(after[IDC_PEN_OLD_CHECKSUM], after[IDC_PEN_NEW_CHECKSUM]);
    EXPECT_EQ(colour, EStatusColour::eGreen);
    EXPECT_TRUE(programEnabledAfter);
}

} // namespace
