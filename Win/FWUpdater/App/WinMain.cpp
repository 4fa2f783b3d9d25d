// VellumFWUpdater.exe: the single-instance entry point, the operating-system check and the main
// dialog, on the tablet's real interfaces or (with -simulate) on the simulated bus.

#include "CDialogFirmwareUpdater.h"
#include "CSimBus.h"
#include "CSimUpdateController.h"
#include "CWinStringResources.h"
#include "CWinUpdateController.h"
#include "CWinUpdateNotifier.h"
#include "FWUpdater/CUpdateWorker.h"
#include "FirmwareUpdaterApp.h"
#include "SimScenarios.h"
#include "SimulateOption.h"
#include "StringUtils.h"

#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <string>

namespace {

HANDLE gMutex = nullptr;

std::u16string U(const wchar_t* text_I)
{
    std::u16string result;
    for (; text_I != nullptr && *text_I != 0; ++text_I)
        result.push_back(static_cast<char16_t>(*text_I));
    return result;
}

// The folder of the program file (UTF-8, no trailing separator): the simulated scenarios are
// copied beside the program.
std::string ProgramDirectory()
{
    wchar_t program[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return ".";
    std::u16string path = U(program);
    const std::size_t slash = path.find_last_of(u"\\/");
    return slash == std::u16string::npos ? std::string(".") : Utf16ToUtf8(path.substr(0, slash));
}

INT_PTR RunDialog(HINSTANCE instance_I, const CFirmwareUpdaterApp& app_I, const std::u16string& commandLine_I)
{
    std::string scenarioName;
    if (!ParseSimulateOption(commandLine_I, scenarioName)) {
        INT_PTR result = -1;
        {
            CDialogFirmwareUpdater dialog(std::make_shared<CWinUpdateController>(), app_I.GetDevicePath(),
                                          app_I.GetAutoUpdateBoard(), app_I.GetLanguage());
            result = dialog.DoModal(instance_I);
        }
        // A worker the dialog's bounded stop left running ends here, still logging.
        CUpdateWorker::JoinStragglers();
        return result;
    }

    const std::string dataDir = ProgramDirectory();
    SimScenario scenario;
    if (!GetSimScenario(scenarioName, dataDir, scenario)) {
        const std::u16string text = u"Unknown simulated scenario: " + Utf8ToUtf16(scenarioName);
        ::MessageBoxW(nullptr, std::wstring(text.begin(), text.end()).c_str(), L"Vellum Firmware Update Utility",
                      MB_OK | MB_ICONERROR);
        return -1;
    }
    CSimBus bus;
    PlugInSimScenario(scenario, bus);
    auto controller = std::make_shared<CSimUpdateController>(bus.Host(), scenario.topologyPath);
    INT_PTR result = -1;
    {
        CDialogFirmwareUpdater dialog(controller, app_I.GetDevicePath(), app_I.GetAutoUpdateBoard(),
                                      app_I.GetLanguage());
        // Unattended mode finds the update file beside the scenario's topology file.
        dialog.Model().SetAutoUpdateDirectory(dataDir + "/scenarios/" + scenario.name);
        bus.SetInterfaceEventSink(
            [&dialog](bool arrival, const std::string& path) { dialog.PostInterfaceEvent(arrival, path); });
        result = dialog.DoModal(instance_I);
        bus.SetInterfaceEventSink(nullptr);
    }
    // Before the simulated bus goes: a worker left running by the dialog's bounded stop still
    // talks to it.
    CUpdateWorker::JoinStragglers();
    return result;
}

// The application object's Run: the operating-system check, then the dialog.
int Run(HINSTANCE instance_I, const CFirmwareUpdaterApp& app_I, const std::u16string& commandLine_I)
{
    OSVERSIONINFOW version {};
    version.dwOSVersionInfoSize = sizeof version;
#if defined(_MSC_VER)
#pragma warning(suppress : 4996) // the version query is deprecated; the check needs exactly it
    const BOOL known = ::GetVersionExW(&version);
#else
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    const BOOL known = ::GetVersionExW(&version);
#pragma GCC diagnostic pop
#endif
    if (!known || version.dwMajorVersion != 6 || version.dwMinorVersion == 0) {
        ::MessageBoxW(nullptr,
                      L"This utility cannot be run on your operating system. Please consult the ReadMe for more "
                      L"information.",
                      L"Vellum Firmware Update Utility", MB_OK);
        return -1;
    }
    return static_cast<int>(RunDialog(instance_I, app_I, commandLine_I));
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance_I, HINSTANCE, PWSTR commandLine_I, int)
{
    ::SetLastError(0);
    if (gMutex != nullptr)
        return -1;
    gMutex = ::CreateMutexW(nullptr, TRUE, L"VFWUMutex");
    if (::GetLastError() == ERROR_ALREADY_EXISTS)
        return -1;

    InstallDebuggerOutputSink();
    static CWinStringResources resources;
    ResourceUtils::SetStringResources(&resources);
    INITCOMMONCONTROLSEX controls {};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_PROGRESS_CLASS | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES;
    ::InitCommonControlsEx(&controls);

    const std::u16string commandLine = U(commandLine_I);
    int result = -1;
    {
        const CFirmwareUpdaterApp app(commandLine);
        result = Run(instance_I, app, commandLine);
    }
    // No worker thread may still be joinable when the process exits (std::terminate).
    CUpdateWorker::JoinStragglers();
    ::CloseHandle(gMutex);
    gMutex = nullptr;
    return result;
}
