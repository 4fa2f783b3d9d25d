// The Win32 dialog over the simulated tablet, driven through its window: the view shows the model's
// state, and Program asks in the real message box (answered No; the update itself, closing and
// ending the session are run by scripts/wine-check.sh).

#include "CDialogFirmwareUpdater.h"
#include "CSimBus.h"
#include "CSimUpdateController.h"
#include "FWUpdater/CUpdateWorker.h"
#include "FWUpdater/DialogResource.h"
#include "SimScenarios.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

namespace {

std::wstring TextOf(HWND window_I)
{
    wchar_t text[512] = {};
    ::GetWindowTextW(window_I, text, 512);
    return text;
}

CDialogFirmwareUpdater* sDialog = nullptr;
std::vector<std::wstring> sShown; // title, tablet, pen version, update type, then the box's text

// A thread timer: dispatched by whichever modal loop runs, the dialog's or the message box's.
void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD)
{
    const HWND w = sDialog->GetWindow();
    const HWND box = ::FindWindowW(L"#32770", L"Vellum Firmware Update Utility");
    if (w == nullptr)
        return;
    if (sShown.empty()) {
        sShown.push_back(TextOf(w));
        for (int id : {IDC_TABLET_NAME, IDC_PEN_VERSION, IDC_UPDATE_TYPE})
            sShown.push_back(TextOf(::GetDlgItem(w, id)));
        sDialog->Model().OnFileChosen(*sDialog, std::string(VFWU_SOURCE_DIR) + "/data/scenarios/basic/basic.pen");
        ::PostMessageW(w, WM_COMMAND, MAKEWPARAM(IDC_PROGRAM, BN_CLICKED), 0);
    } else if (sShown.size() == 4 && box != nullptr) {
        sShown.push_back(TextOf(::GetDlgItem(box, 0xFFFF)));
        ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
    } else if (sShown.size() == 5 && box == nullptr) {
        sShown.push_back(L"closed");
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
    EXPECT_EQ(dialog->DoModal(::GetModuleHandleW(nullptr)), IDCANCEL);
    ::KillTimer(nullptr, timer);
    dialog.reset();
    CUpdateWorker::JoinStragglers();
    const std::wstring asked = L"You are about to update the firmware.\n\nWhile programming do not disconnect or "
                               L"power down your device.\n\nDo you want to continue?";
    EXPECT_EQ(sShown, (std::vector<std::wstring> {L"Vellum Firmware Update Utility 2.22", L"Vellum Sim Tablet",
                                                  L"1.05", L"Pen", asked, L"closed"}));
}

} // namespace
