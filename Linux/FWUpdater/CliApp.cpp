#include "FWUpdater/CliApp.h"

#include "Clock.h"
#include "FileVersion.h"
#include "FirmwareUpdaterApp.h"
#include "FWUpdater/CDevice.h"
#include "FWUpdater/CDiscovery.h"
#include "FWUpdater/CFLDeviceInterface.h"
#include "FWUpdater/CLinuxLanguagePlatform.h"
#include "FWUpdater/CLinuxUpdateNotifier.h"
#include "FWUpdater/CMainDialogModel.h"
#include "FWUpdater/CSRec.h"
#include "FWUpdater/CSingleInstanceLock.h"
#include "FWUpdater/CTerminalView.h"
#include "FWUpdater/CUpdateController.h"
#include "FWUpdater/CUpdateWorker.h"
#include "FWUpdater/CliJson.h"
#include "FWUpdater/DataDirectory.h"
#include "FWUpdater/DialogResource.h"
#include "FWUpdater/FirmwareSummary.h"
#include "FWUpdater/FrontEndSession.h"
#include "LanguageProvider.h"
#include "StringUtils.h"
#include "Version.h"


#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <mutex>
#include <unistd.h>

namespace {

constexpr std::uint32_t kTickMs = 500;

volatile std::sig_atomic_t gInterrupted = 0;

void OnInterrupt(int)
{
    gInterrupted = 1;
}

// Ctrl-C and termination requests become the dialog's cancel command, which the model refuses
// while the board is being programmed.
void CatchInterrupts()
{
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

std::string VersionString(std::uint16_t version_I)
{
    return Utf16ToUtf8(CMainDialogModel::VersionText(version_I));
}

std::string ChecksumString(std::uint32_t checksum_I)
{
    return checksum_I == 0 ? std::string("N/A") : Utf16ToUtf8(CMainDialogModel::ChecksumText(checksum_I));
}

const char* KindName(int kind_I)
{
    switch (kind_I) {
    case eInterfaceKindHID:
        return "HID";
    case eInterfaceKindBULK:
        return "BULK";
    case eInterfaceKindI2C:
        return "I2C";
    default:
        return "NONE";
    }
}

std::shared_ptr<CFLDeviceInterface> BoardInterface(const CDevice& device_I, int board_I)
{
    return board_I == eBoardPen ? device_I.mPenInterface
                                : board_I == eBoardTouch ? device_I.mTouchInterface : device_I.mBluetoothInterface;
}

bool CanRead(const std::string& path_I, std::string& error_O)
{
    std::ifstream file(path_I, std::ios::binary);
    if (!file) {
        error_O = "cannot read " + path_I + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

// ---- list ------------------------------------------------------------------------------------

int RunList(const CliOptions& options_I, FrontEndSession& session_I)
{
    CDiscovery* discovery = session_I.controller->GetDiscovery();
    std::vector<ListedDevice> listed;
    if (discovery != nullptr && discovery->UpdateDeviceList()) {
        for (const std::shared_ptr<CDevice>& device : discovery->GetDevices()) {
            ListedDevice entry;
            entry.name = device->mName;
            entry.loaderMode = device->mLoaderMode;
            for (int board = 0; board < static_cast<int>(kBoardCount); ++board) {
                const std::shared_ptr<CFLDeviceInterface> interface = BoardInterface(*device, board);
                if (!interface)
                    continue;
                entry.boards.push_back({UpdateTypeWord(board), interface->GetPath(), KindName(interface->GetInterfaceKind()),
                                        interface->GetVendorId(), interface->GetProductId(),
                                        VersionString(interface->GetVersion())});
            }
            listed.push_back(std::move(entry));
        }
    }
    if (options_I.json) {
        std::cout << ListJson(listed) << "\n";
        return 0;
    }
    if (listed.empty()) {
        std::cout << "No supported tablet found.\n";
        return 0;
    }
    static const char* const kLabels[] = {"Pen Firmware Version:", "Touch Firmware Version:",
                                          "Bluetooth Firmware Version:"};
    for (std::size_t d = 0; d < listed.size(); ++d) {
        const ListedDevice& device = listed[d];
        const CDevice& description = *discovery->GetDevices()[d];
        std::cout << "Tablet: " << device.name << (device.loaderMode ? " (LOADER mode)" : " (NORMAL mode)") << "\n";
        for (int board = 0; board < static_cast<int>(kBoardCount); ++board) {
            const ListedBoard* found = nullptr;
            for (const ListedBoard& b : device.boards) {
                if (b.board == UpdateTypeWord(board))
                    found = &b;
            }
            const bool supported = board == eBoardPen || (board == eBoardTouch ? description.mTouchSupported
                                                                               : description.mBluetoothSupported);
            std::printf("  %-28s %s\n", kLabels[board],
                        found ? found->version.c_str() : supported ? "Not Available" : "Not Supported");
            if (found) {
                std::printf("      %s, vendor 0x%04X, product 0x%04X\n      %s\n", found->interfaceKind.c_str(),
                            found->vendorId, found->productId, found->path.c_str());
            }
        }
    }
    std::fflush(stdout);
    return 0;
}

// ---- inspect ---------------------------------------------------------------------------------

int RunInspect(const CliOptions& options_I)
{
    std::string error;
    CSRec source;
    if (CanRead(options_I.file, error) && !source.Load(options_I.file))
        error = options_I.file + " is not a firmware file this program can read";
    if (!error.empty()) {
        std::cerr << "vellum-fwupdater: " << error << "\n";
        if (options_I.json)
            std::cout << "{\"error\": " << JsonString(error) << "}\n";
        return 1;
    }
    const FirmwareSummary summary = SummarizeFirmware(source);
    std::cout << (options_I.json ? InspectJson(summary) + "\n" : FirmwareSummaryText(summary));
    return 0;
}

// ---- the dialog loop -------------------------------------------------------------------------

// The dialog's 500 ms timer. Ends when the view ends the dialog, or (interactive update) when the
// update has finished and the model has shown its outcome.
void RunTimer(CMainDialogModel& model_I, CTerminalView& view_I, bool untilUpdateEnds_I)
{
    bool refusedNotice = false;
    while (!view_I.Result()) {
        if (gInterrupted) {
            gInterrupted = 0;
            if (model_I.IsBusy()) {
                view_I.FinishStatusLine();
                if (!refusedNotice)
                    std::cerr << "vellum-fwupdater: the board is being programmed and must not be interrupted; "
                                 "please wait.\n";
                refusedNotice = true;
            }
            model_I.OnCancel(view_I);
            if (view_I.Result())
                break;
        }
        model_I.OnTimer(view_I);
        if (view_I.Result())
            break;
        if (untilUpdateEnds_I) {
            const std::int32_t state = model_I.GetState();
            if ((state == ESTATE_SUCCESS || state == ESTATE_FAILED) && !model_I.IsUpdateRunning()) {
                // The worker may have ended just after this tick looked: one more tick shows the
                // final outcome (the model skips what it already did).
                model_I.OnTimer(view_I);
                break;
            }
        }
        GetClock()->sleep(kTickMs);
    }
    view_I.FinishStatusLine();
}

// ---- update ----------------------------------------------------------------------------------

int RunUpdate(const CliOptions& options_I, FrontEndSession& session_I, const LanguageProvider& provider_I)
{
    std::ostream& out = options_I.json ? std::cerr : std::cout;
    UpdateSummary summary;
    summary.board = UpdateTypeWord(options_I.updateType);
    // With --json every end, early ones included, leaves one summary object on stdout.
    const auto finish = [&](int code_I) {
        if (options_I.json) {
            summary.success = code_I == 0;
            summary.verified = summary.success && session_I.controller->WasVerified();
            std::cout << UpdateSummaryJson(summary) << "\n" << std::flush;
        }
        return code_I;
    };
    const bool canPrompt = isatty(STDIN_FILENO) != 0;
    if (!options_I.yes && !canPrompt) {
        std::cerr << "vellum-fwupdater: the update needs confirmation, but there is no terminal to ask on; "
                     "run it from a terminal or pass --yes\n";
        return finish(1);
    }
    std::string error;
    if (!CanRead(options_I.file, error)) {
        std::cerr << "vellum-fwupdater: " << error << "\n";
        return finish(1);
    }

    auto notifier = std::make_unique<CLinuxUpdateNotifier>(options_I.logDirectory);
    const std::string logPath = notifier->GetLogPath();
    summary.log = logPath;
    session_I.controller->SetVerifyAfterProgramming(options_I.verify);
    CMainDialogModel model(session_I.controller, std::move(notifier), StringLoader(provider_I), u"", u"");
    CEventForwarder forwarder(session_I, model);

    CTerminalView::Settings settings;
    settings.terminal = isatty(options_I.json ? STDERR_FILENO : STDOUT_FILENO) != 0;
    settings.assumeYes = options_I.yes;
    settings.canPrompt = canPrompt;
    CTerminalView view(out, std::cin, settings);

    model.OnInitDialog(view);
    if (view.Result())
        return finish(*view.Result());
    const std::shared_ptr<CDevice> device = session_I.controller->GetCurrentDevice();
    if (!device)
        return finish(1);
    std::shared_ptr<CFLDeviceInterface> board = BoardInterface(*device, options_I.updateType);
    summary.versionBefore = board ? VersionString(board->GetVersion()) : std::string();
    out << view.Title() << "\n"
        << "Tablet: " << view.ControlText(IDC_TABLET_NAME) << (device->mLoaderMode ? " (in loader mode)" : "") << "\n"
        << "Current Firmware\n"
        << "  Pen Firmware Version:       " << view.ControlText(IDC_PEN_VERSION) << "\n"
        << "  Touch Firmware Version:     " << view.ControlText(IDC_TOUCH_VERSION) << "\n"
        << "  Bluetooth Firmware Version: " << view.ControlText(IDC_BLUETOOTH_VERSION) << "\n";

    const std::vector<int>& entries = model.GetUpdateTypeEntries();
    int position = -1;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i] == options_I.updateType)
            position = static_cast<int>(i);
    }
    if (position < 0) {
        std::cerr << "vellum-fwupdater: this tablet has no " << summary.board << " board to update\n";
        return finish(1);
    }
    model.OnUpdateTypeSelected(view, position);
    const int errorsBefore = view.ErrorCount();
    model.OnFileChosen(view, options_I.file);
    if (view.ErrorCount() != errorsBefore)
        return finish(1);
    out << "New Firmware\n"
        << "  Firmware Update Type: " << summary.board << "\n"
        << "  Firmware File:        " << options_I.file << "\n";

    model.OnProgram(view);
    if (view.LastAnswer() != EMessageResult::eYes) {
        out << "Update cancelled.\n";
        return finish(2);
    }
    RunTimer(model, view, true);

    // The model refreshed the labels from the board after the update.
    const std::shared_ptr<CDevice> after = session_I.controller->GetCurrentDevice();
    board = after ? BoardInterface(*after, options_I.updateType) : nullptr;
    if (board) {
        summary.versionAfter = VersionString(board->GetVersion());
        summary.checksumOld = board->GetChecksumOld();
        summary.checksumNew = board->GetChecksumNew();
        summary.checksumExpected = board->GetChecksumExpected();
        // A board that switches in place keeps its interface object, and with it the version
        // read before the update: ask the bus afresh (the worker has ended).
        const std::string path = board->GetPath();
        if (CDiscovery* discovery = session_I.controller->GetDiscovery(); discovery && discovery->UpdateDeviceList()) {
            for (const std::shared_ptr<CDevice>& found : discovery->GetDevices()) {
                const std::shared_ptr<CFLDeviceInterface> fresh = BoardInterface(*found, options_I.updateType);
                if (fresh && fresh->GetPath() == path)
                    summary.versionAfter = VersionString(fresh->GetVersion());
            }
        }
    }
    const bool success = !view.Result() && model.GetState() == ESTATE_SUCCESS;
    out << "Result\n"
        << "  Firmware Version: " << summary.versionBefore << " -> "
        << (summary.versionAfter.empty() ? std::string("unknown") : summary.versionAfter) << "\n"
        << "  Old Checksum:     " << ChecksumString(summary.checksumOld) << "\n"
        << "  New Checksum:     " << ChecksumString(summary.checksumNew) << "\n"
        << "  Checksum:         " << ChecksumString(summary.checksumExpected) << "\n";
    if (options_I.verify) {
        const int format = session_I.controller->GetDataSource().GetFileType();
        const bool srec = format == eFormatPen || format == eFormatTouch || format == eFormatVel;
        out << "  Verified:         "
            << (session_I.controller->WasVerified() ? "yes" : srec ? "no" : "no (read-back is for S-record images only)")
            << "\n";
    }
    out << "  Log file:         " << (logPath.empty() ? std::string("(none)") : logPath) << "\n" << std::flush;
    if (view.Result())
        return finish(*view.Result());
    return finish(success ? 0 : 1);
}

// ---- unattended ------------------------------------------------------------------------------

int RunUnattended(FrontEndSession& session_I, LanguageProvider& provider_I, const CFirmwareUpdaterApp& app_I,
                  const CliOptions& options_I)
{
    if (!app_I.GetLanguage().empty())
        provider_I.SelectLanguage(app_I.GetLanguage());
    auto notifier = std::make_unique<CLinuxUpdateNotifier>(options_I.logDirectory);
    CMainDialogModel model(session_I.controller, std::move(notifier), StringLoader(provider_I), app_I.GetDevicePath(),
                           app_I.GetAutoUpdateBoard());
    // The update file that the topology names is looked for beside the topology file.
    model.SetAutoUpdateDirectory(DirectoryOf(session_I.topologyPath));
    CEventForwarder forwarder(session_I, model);

    CTerminalView::Settings settings;
    settings.terminal = isatty(STDOUT_FILENO) != 0;
    CTerminalView view(std::cout, std::cin, settings);
    model.OnInitDialog(view);
    if (!view.Result())
        RunTimer(model, view, false);
    return view.Result().value_or(1);
}

} // namespace

int RunCli(const CliOptions& options_I)
{
    switch (options_I.command) {
    case ECliCommand::eHelp:
        std::cout << CliUsage();
        return 0;
    case ECliCommand::eVersion:
        std::cout << "vellum-fwupdater " << FileVersion::FromWord(kProgramVersionWord).ToShortString() << "\n";
        return 0;
    case ECliCommand::eInspect:
        return RunInspect(options_I);
    default:
        break;
    }

    const bool unattended = options_I.command == ECliCommand::eUnattended;
    // The unattended form fails as the Windows program does when its dialog cannot be created.
    const int setupFailure = unattended ? -1 : 1;
    const CFirmwareUpdaterApp app(Utf8ToUtf16(options_I.unattendedLine), CFirmwareUpdaterApp::EPathStyle::eWindowsOrPosix);
    if (unattended && (app.GetDevicePath().empty() || app.GetAutoUpdateBoard().empty())) {
        std::cerr << "vellum-fwupdater: the unattended form needs -path PATH and -auto BOARD (see --help)\n";
        return 1;
    }

    CSingleInstanceLock lock;
    if (!TakeSingleInstanceLock(lock, "vellum-fwupdater"))
        return -1;

    std::string error;
    FrontEndSession session;
    if (!OpenFrontEndSession(options_I, session, error)) {
        std::cerr << "vellum-fwupdater: " << error << "\n";
        return setupFailure;
    }
    auto platform = std::make_shared<CLinuxLanguagePlatform>();
    LanguageProvider provider("userUI", platform);
    if (!options_I.language.empty())
        SelectCliLanguage(provider, options_I.language);

    CatchInterrupts();
    int result = 1;
    switch (options_I.command) {
    case ECliCommand::eList:
        result = RunList(options_I, session);
        break;
    case ECliCommand::eUpdate:
        result = RunUpdate(options_I, session, provider);
        break;
    case ECliCommand::eUnattended:
        result = RunUnattended(session, provider, app, options_I);
        break;
    default:
        break;
    }
    if (!CloseFrontEndSession(session, error)) {
        std::cerr << "vellum-fwupdater: " << error << "\n";
        if (result == 0)
            result = 1;
    }
    return result;
}
