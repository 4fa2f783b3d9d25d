// The Win32 dialog over the simulated tablet, driven through its window: the view shows the model's
// state, and Program asks for confirmation in the real message box (answered No here; the update
// itself and closing are run by scripts/wine-check.sh).

#include "CDialogFirmwareUpdater.h"
#include "CSimBus.h"
#include "CSimUpdateController.h"
#include "FWUpdater/CUpdateWorker.h"
#include "FWUpdater/DialogResource.h"
#include "SimScenarios.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <map>
#include <string>

namespace {

std::wstring ControlText(HWND window_I, int id_I)
{
    wchar_t text[512] = {};
    ::GetWindowTextW(id_I == 0 ? window_I : ::GetDlgItem(window_I, id_I), text, 512);
    return text;
}

CDialogFirmwareUpdater* sDialog = nullptr;
std::map<int, std::wstring> sShown;
std::wstring sConfirmation;
int sPhase = 0;

// A thread timer: dispatched by whichever modal loop runs, the dialog's or the message box's.
void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD)
{
    const HWND w = sDialog->GetWindow();
    if (w == nullptr)
        return;
    if (sPhase == 0) {
        for (int id : {0, IDC_TABLET_NAME, IDC_PEN_VERSION, IDC_UPDATE_TYPE})
            sShown[id] = ControlText(w, id);
        sDialog->Model().OnFileChosen(*sDialog, std::string(VFWU_SOURCE_DIR) + "/data/scenarios/basic/basic.pen");
        sPhase = 1;
        ::PostMessageW(w, WM_COMMAND, MAKEWPARAM(IDC_PROGRAM, BN_CLICKED), 0);
    } else if (sPhase == 1) {
        const HWND box = ::FindWindowW(L"#32770", L"Vellum Firmware Update Utility");
        if (box == nullptr)
            return;
        sConfirmation = ControlText(box, 0xFFFF);
        sPhase = 2;
        ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
    } else if (sPhase == 2) { // the box is gone: close the dialog
        sPhase = 3;
        ::PostMessageW(w, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
}

TEST(WinDialog, ShowsTheModelsStateAndAsksBeforeProgramming)
{
    INITCOMMONCONTROLSEX controls {sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&controls);
    SimScenario scenario;
    ASSERT_TRUE(GetSimScenario("basic", std::string(VFWU_SOURCE_DIR) + "/data", scenario));
    CSimBus bus;
    PlugInSimScenario(scenario, bus);
    auto dialog = std::make_unique<CDialogFirmwareUpdater>(
        std::make_shared<CSimUpdateController>(bus.Host(), scenario.topologyPath), u"", u"", "en");
    sDialog = dialog.get();
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 20, OnTick);
    const INT_PTR result = dialog->DoModal(::GetModuleHandleW(nullptr));
    ::KillTimer(nullptr, timer);
    dialog.reset();
    CUpdateWorker::JoinStragglers();

    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(sShown, (std::map<int, std::wstring> {{0, L"Vellum Firmware Update Utility 2.22"},
                                                    {IDC_TABLET_NAME, L"Vellum Sim Tablet"},
                                                    {IDC_PEN_VERSION, L"1.05"},
                                                    {IDC_UPDATE_TYPE, L"Pen"}}));
    EXPECT_EQ(sConfirmation, L"You are about to update the firmware.\n\nWhile programming do not disconnect or "
                             L"power down your device.\n\nDo you want to continue?");
}

} // namespace
