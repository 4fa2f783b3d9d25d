// update: the main dialog's model behind a terminal view, driven as the user would drive the
// window: choose the board, choose the file, confirm, wait for the outcome.

#include "FWUpdater/CliCommands.h"

#include "FWUpdater/CDevice.h"
#include "FWUpdater/CDiscovery.h"
#include "FWUpdater/CFLDeviceInterface.h"
#include "FWUpdater/CLinuxUpdateNotifier.h"
#include "FWUpdater/CMainDialogModel.h"
#include "FWUpdater/CSRec.h"
#include "FWUpdater/CTerminalView.h"
#include "FWUpdater/CUpdateController.h"
#include "FWUpdater/CliChecks.h"
#include "FWUpdater/CliJson.h"
#include "FWUpdater/CliText.h"
#include "FWUpdater/DialogResource.h"
#include "LanguageProvider.h"
#include "StringUtils.h"

#include <iostream>
#include <unistd.h>

namespace {

std::string ChecksumString(std::uint32_t checksum_I)
{
    return checksum_I == 0 ? std::string("N/A") : Utf16ToUtf8(CMainDialogModel::ChecksumText(checksum_I));
}

// The tablet to update: the one --device names, else the only one that has the board. Several
// with the board and no choice: they are listed and the run stops, since updating "the first"
// would be a guess. path_O is one of the tablet's interface paths; empty when discovery finds no
// tablet with the board (the dialog then says what is missing). False with the error printed.
bool ChooseTablet(const CliOptions& options_I, FrontEndSession& session_I, std::string& path_O, std::string& error_O)
{
    path_O.clear();
    CDiscovery* discovery = session_I.controller->GetDiscovery();
    if (discovery == nullptr || !discovery->UpdateDeviceList())
        return true;
    const std::vector<std::shared_ptr<CDevice>> devices = discovery->GetDevices();
    if (!options_I.device.empty()) {
        for (const std::shared_ptr<CDevice>& device : devices) {
            for (int board = 0; board < static_cast<int>(kBoardCount); ++board) {
                const std::shared_ptr<CFLDeviceInterface> interface = BoardInterface(*device, board);
                if (interface && ToLower(interface->GetPath()) == ToLower(options_I.device)) {
                    path_O = interface->GetPath();
                    return true;
                }
            }
        }
        error_O = "no tablet found has the interface " + options_I.device + " (list shows the paths)";
        PrintCliError(error_O);
        return false;
    }
    std::vector<std::pair<std::string, std::string>> candidates; // name, path of the board
    for (const std::shared_ptr<CDevice>& device : devices) {
        if (const std::shared_ptr<CFLDeviceInterface> interface = BoardInterface(*device, options_I.updateType))
            candidates.emplace_back(device->mName, interface->GetPath());
    }
    if (candidates.size() == 1)
        path_O = candidates.front().second;
    if (candidates.size() <= 1)
        return true;
    const std::string board = UpdateTypeWord(options_I.updateType);
    error_O = std::to_string(candidates.size()) + " tablets have a " + board + " board; choose one with --device PATH:";
    PrintCliError(error_O);
    for (const auto& [name, path] : candidates) {
        std::cerr << "  " << PrintableText(name) << ": --device '" << PrintableText(path) << "'\n";
        error_O += "\n  " + name + ": " + path;
    }
    return false;
}

} // namespace

int RunUpdate(const CliOptions& options_I, FrontEndSession& session_I, const LanguageProvider& provider_I)
{
    // The dialog (its texts, progress, messages and question) speaks on stderr; stdout carries
    // the result alone: the result block, or with --json the one summary object.
    std::ostream& out = std::cerr;
    std::ostream& results = options_I.json ? std::cerr : std::cout;
    UpdateSummary summary;
    summary.board = UpdateTypeWord(options_I.updateType);
    // With --json every end, early ones included, leaves one summary object on stdout.
    const auto finish = [&](int code_I) {
        if (options_I.json) {
            if (summary.error.empty() && code_I == 2)
                summary.error = "cancelled";
            summary.success = code_I == 0;
            summary.verified = summary.success && session_I.controller->WasVerified();
            std::cout << UpdateSummaryJson(summary) << "\n" << std::flush;
        }
        return code_I;
    };
    const bool canPrompt = isatty(STDIN_FILENO) != 0;
    const auto fail = [&](const std::string& message_I) {
        PrintCliError(message_I);
        summary.error = message_I;
        return finish(1);
    };
    if (!options_I.yes && !canPrompt)
        return fail("the update needs confirmation, but there is no terminal to ask on; run it from a terminal or "
                    "pass --yes");
    // The file is read once before the tablet is opened, so that a file that cannot serve stops
    // the run with its reason before anything is touched (the dialog reads it again when chosen).
    std::string error;
    CSRec probe;
    if (!CheckFirmwareFile(options_I.file, summary.board, probe, error))
        return fail(error);

    std::string devicePath;
    if (!ChooseTablet(options_I, session_I, devicePath, error)) {
        summary.error = error;
        return finish(1);
    }

    auto notifier = std::make_unique<CLinuxUpdateNotifier>(options_I.logDirectory);
    const std::string logPath = notifier->GetLogPath();
    summary.log = logPath;
    session_I.controller->SetVerifyAfterProgramming(options_I.verify);
    // A device path without an update board selects the tablet and starts nothing by itself.
    CMainDialogModel model(session_I.controller, std::move(notifier), StringLoader(provider_I), Utf8ToUtf16(devicePath),
                           u"");
    CEventForwarder forwarder(session_I, model);

    CTerminalView::Settings settings;
    settings.terminal = isatty(STDERR_FILENO) != 0;
    settings.errorPrefix = "vellum-fwupdater: ";
    settings.assumeYes = options_I.yes;
    settings.canPrompt = canPrompt;
    CTerminalView view(out, std::cin, settings);

    model.OnInitDialog(view);
    if (view.Result()) {
        summary.error = view.LastError();
        return finish(*view.Result());
    }
    const std::shared_ptr<CDevice> device = session_I.controller->GetCurrentDevice();
    if (!device) {
        summary.error = view.LastError();
        return finish(1);
    }
    std::shared_ptr<CFLDeviceInterface> board = BoardInterface(*device, options_I.updateType);
    summary.versionBefore = board ? VersionString(board->GetVersion()) : std::string();
    out << view.Title() << "\n"
        << "Tablet: " << PrintableText(view.ControlText(IDC_TABLET_NAME)) << (device->mLoaderMode ? " (in loader mode)" : "") << "\n"
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
    if (position < 0)
        return fail("this tablet has no " + summary.board + " board to update");
    model.OnUpdateTypeSelected(view, position);
    const int errorsBefore = view.ErrorCount();
    model.OnFileChosen(view, options_I.file);
    if (view.ErrorCount() != errorsBefore) {
        summary.error = view.LastError();
        return finish(1);
    }
    out << "New Firmware\n"
        << "  Firmware Update Type: " << summary.board << "\n"
        << "  Firmware File:        " << PrintableText(options_I.file) << "\n";

    // A Ctrl-C before the worker starts (and with it the switch to the loader) cancels: nothing
    // has been sent to the board yet.
    const auto cancelled = [&] {
        out << "Update cancelled.\n";
        return finish(2);
    };
    if (gCliInterrupted)
        return cancelled();
    model.OnProgram(view);
    if (view.LastAnswer() != EMessageResult::eYes || gCliInterrupted)
        return cancelled();
    RunDialogTimer(model, view, true);

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
    results << "Result\n"
        << "  Firmware Version: " << summary.versionBefore << " -> "
        << (summary.versionAfter.empty() ? std::string("unknown") : summary.versionAfter) << "\n"
        << "  Old Checksum:     " << ChecksumString(summary.checksumOld) << "\n"
        << "  New Checksum:     " << ChecksumString(summary.checksumNew) << "\n"
        << "  Checksum:         " << ChecksumString(summary.checksumExpected) << "\n";
    if (options_I.verify) {
        const int format = session_I.controller->GetDataSource().GetFileType();
        const bool srec = format == eFormatPen || format == eFormatTouch || format == eFormatVel;
        results << "  Verified:         "
            << (session_I.controller->WasVerified() ? "yes" : srec ? "no" : "no (read-back is for S-record images only)")
            << "\n";
    }
    results << "  Log file:         " << (logPath.empty() ? std::string("(none)") : PrintableText(logPath)) << "\n"
            << std::flush;
    if (!success && summary.error.empty())
        summary.error = view.LastError();
    if (view.Result())
        return finish(*view.Result());
    return finish(success ? 0 : 1);
}
