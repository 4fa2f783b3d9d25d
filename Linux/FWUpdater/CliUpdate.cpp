// update: the main dialog's model behind a terminal view, driven as the user would drive the
// window: choose the board, choose the file, confirm, wait for the outcome.

#include "FWUpdater/CliCommands.h"

#include "Clock.h"

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
#include "FWUpdater/CliStringIds.h"
#include "FWUpdater/CliText.h"
#include "FWUpdater/DialogResource.h"
#include "LanguageProvider.h"
#include "StringUtils.h"

#include <algorithm>
#include <iostream>
#include <mutex>
#include <vector>
#include <unistd.h>

namespace {

// How long a failed update waits for the board to show where it is, and how often it looks.
constexpr std::uint32_t kSettleMs = 5000;
constexpr std::uint32_t kSettlePollMs = 250;

// The width of a block's label column: its longest label and a blank, at least 18 (the English
// block's own width).
std::size_t LabelWidth(const std::vector<std::string>& labels_I)
{
    std::size_t width = 17;
    for (const std::string& label : labels_I)
        width = std::max(width, TextWidth(label));
    return width + 1;
}

std::string ChecksumString(std::uint32_t checksum_I)
{
    return checksum_I == 0 ? std::string("N/A") : Utf16ToUtf8(CMainDialogModel::ChecksumText(checksum_I));
}

// The log notifier that also keeps the errors the controller reports, so that a failed update
// can name its cause.
class CRecordingNotifier : public CLinuxUpdateNotifier
{
public:
    using CLinuxUpdateNotifier::CLinuxUpdateNotifier;

    void ReportError(std::int32_t code_I, const std::string& message_I) override
    {
        {
            std::lock_guard<std::mutex> lock(mMutex);
            mErrors.push_back(Trimmed(message_I));
        }
        CLinuxUpdateNotifier::ReportError(code_I, message_I);
    }
    std::size_t ErrorCount() const
    {
        std::lock_guard<std::mutex> lock(mMutex);
        return mErrors.size();
    }
    // The cause of a failed update among the errors reported since the count was first_I: the
    // last text of a named operation ("ProgramBoardSRec: Failed to write ..."), which says what
    // could not be done; else the first error that is neither a retry note nor one of the
    // controller's closing summaries; else the first error.
    std::string CauseSince(std::size_t first_I) const
    {
        std::lock_guard<std::mutex> lock(mMutex);
        const auto isRetry = [](const std::string& text_I) { return text_I.find("Retrying") != std::string::npos; };
        const auto isOperation = [](const std::string& text_I) {
            const std::size_t colon = text_I.find(": ");
            if (colon == std::string::npos || colon == 0)
                return false;
            for (std::size_t i = 0; i < colon; ++i) {
                const char c = text_I[i];
                if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'))
                    return false;
            }
            return true;
        };
        static const char* const kSummaries[] = {"General Program Failure", "Error Programming Board",
                                                 "PreUpdate function failed"};
        const auto isSummary = [](const std::string& text_I) {
            for (const char* summary : kSummaries) {
                if (text_I == summary)
                    return true;
            }
            return false;
        };
        for (std::size_t i = mErrors.size(); i > first_I; --i) {
            if (isOperation(mErrors[i - 1]) && !isRetry(mErrors[i - 1]))
                return mErrors[i - 1];
        }
        for (std::size_t i = first_I; i < mErrors.size(); ++i) {
            if (!mErrors[i].empty() && !isRetry(mErrors[i]) && !isSummary(mErrors[i]))
                return mErrors[i];
        }
        for (std::size_t i = first_I; i < mErrors.size(); ++i) {
            if (!mErrors[i].empty())
                return mErrors[i];
        }
        return std::string();
    }

private:
    mutable std::mutex mMutex;
    std::vector<std::string> mErrors;
};

// Where the board is after a failed update, read from the bus afresh (the worker has ended and
// the interface objects may still hold what they read before): at pathBefore_I in its firmware
// (its version), in its loader, or not found.
void ReadBoardAfresh(FrontEndSession& session_I, int board_I, const std::string& pathBefore_I, UpdateSummary& summary_IO)
{
    summary_IO.state = "unknown";
    summary_IO.versionAfter.clear();
    CDiscovery* discovery = session_I.controller->GetDiscovery();
    if (discovery == nullptr || !discovery->UpdateDeviceList())
        return;
    bool loaderSeen = false;
    for (const std::shared_ptr<CDevice>& device : discovery->GetDevices()) {
        loaderSeen = loaderSeen || device->mLoaderMode;
        const std::shared_ptr<CFLDeviceInterface> interface = BoardInterface(*device, board_I);
        if (!interface || ToLower(interface->GetPath()) != ToLower(pathBefore_I))
            continue;
        // A board that switches in place keeps its path and interface object; its loader
        // answers the version query with 0, which no firmware reports.
        if (device->mLoaderMode || interface->GetVersion() == 0) {
            summary_IO.state = "loader";
        } else {
            summary_IO.state = "firmware";
            summary_IO.versionAfter = VersionString(interface->GetVersion());
        }
        return;
    }
    // A board that re-enumerates comes back under its loader's ids and path.
    if (loaderSeen)
        summary_IO.state = "loader";
}

// The tablet to update: the one --device names, else the only one that has the board. Several
// with the board and no choice: they are listed and the run stops, since updating "the first"
// would be a guess. path_O is one of the tablet's interface paths; empty when discovery finds no
// tablet with the board (the dialog then says what is missing). False with the error printed.
bool ChooseTablet(const CliOptions& options_I, FrontEndSession& session_I, std::string& path_O, CCliMessage& error_O)
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
        error_O = CCliMessage(IDS_CLI_NO_SUCH_DEVICE, {options_I.device});
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
    PrintCliError(CCliMessage(IDS_CLI_SEVERAL_TABLETS, {std::to_string(candidates.size()), board}));
    std::string english = CCliMessage(IDS_CLI_SEVERAL_TABLETS, {std::to_string(candidates.size()), board}).English();
    for (const auto& [name, path] : candidates) {
        std::cerr << "  " << PrintableText(name) << ": --device '" << PrintableText(path) << "'\n";
        english += "\n  " + name + ": " + path;
    }
    // The list belongs to the message a script reads; the terminal has it on lines of its own.
    error_O = english;
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
    const auto fail = [&](const CCliMessage& message_I) {
        PrintCliError(message_I);
        summary.error = message_I.English();
        return finish(1);
    };
    if (!options_I.yes && !canPrompt)
        return fail(CCliMessage::Id(IDS_CLI_NEEDS_CONFIRMATION));
    // The file is read once before the tablet is opened, so that a file that cannot serve stops
    // the run with its reason before anything is touched (the dialog reads it again when chosen).
    CCliMessage error;
    CSRec probe;
    if (!CheckFirmwareFile(options_I.file, summary.board, probe, error))
        return fail(error);

    std::string devicePath;
    if (!ChooseTablet(options_I, session_I, devicePath, error)) {
        summary.error = error.English();
        return finish(1);
    }

    auto notifier = std::make_unique<CRecordingNotifier>(options_I.logDirectory);
    CRecordingNotifier* const errors = notifier.get(); // owned by the model, which outlives its use here
    WriteLogHeader(*notifier, options_I);
    const std::string logPath = notifier->GetLogPath();
    summary.log = logPath;
    session_I.controller->SetVerifyAfterProgramming(options_I.verify);
    // A device path without an update board selects the tablet and starts nothing by itself.
    CMainDialogModel model(session_I.controller, std::move(notifier), StringLoader(provider_I), Utf8ToUtf16(devicePath),
                           u"");
    CEventForwarder forwarder(session_I, model);

    CTerminalView::Settings settings;
    settings.terminal = isatty(STDERR_FILENO) != 0;
    settings.columns = settings.terminal ? TerminalColumns(STDERR_FILENO) : 0;
    settings.showElapsed = true;
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
    out << view.Title() << "\n" << CliText(IDS_CLI_TABLET) << " " << PrintableText(view.ControlText(IDC_TABLET_NAME));
    if (device->mLoaderMode)
        out << " " << CliText(IDS_CLI_IN_LOADER_MODE);
    out << "\n" << CliText(IDS_CLI_CURRENT_FIRMWARE) << "\n";
    {
        const std::string labels[] = {CliText(IDS_CLI_PEN_VERSION), CliText(IDS_CLI_TOUCH_VERSION),
                                      CliText(IDS_CLI_BLUETOOTH_VERSION)};
        const int controls[] = {IDC_PEN_VERSION, IDC_TOUCH_VERSION, IDC_BLUETOOTH_VERSION};
        const std::size_t width = LabelWidth({labels[0], labels[1], labels[2]});
        for (std::size_t i = 0; i < 3; ++i)
            out << "  " << PaddedLabel(labels[i], width) << ShownModelText(view.ControlText(controls[i])) << "\n";
    }

    const std::vector<int>& entries = model.GetUpdateTypeEntries();
    int position = -1;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i] == options_I.updateType)
            position = static_cast<int>(i);
    }
    if (position < 0)
        return fail(CCliMessage(IDS_CLI_NO_SUCH_BOARD, {summary.board}));
    model.OnUpdateTypeSelected(view, position);
    const int errorsBefore = view.ErrorCount();
    model.OnFileChosen(view, options_I.file);
    if (view.ErrorCount() != errorsBefore) {
        summary.error = view.LastError();
        return finish(1);
    }
    {
        const std::string type = CliText(IDS_CLI_UPDATE_TYPE);
        const std::string file = CliText(IDS_CLI_FIRMWARE_FILE);
        const std::size_t width = LabelWidth({type, file});
        out << CliText(IDS_CLI_NEW_FIRMWARE) << "\n"
            << "  " << PaddedLabel(type, width) << summary.board << "\n"
            << "  " << PaddedLabel(file, width) << PrintableText(options_I.file) << "\n";
    }

    // A Ctrl-C before the worker starts (and with it the switch to the loader) cancels: nothing
    // has been sent to the board yet.
    const auto cancelled = [&] {
        out << CliText(IDS_CLI_CANCELLED) << "\n";
        return finish(2);
    };
    if (gCliInterrupted)
        return cancelled();
    const std::string pathBefore = board ? board->GetPath() : std::string();
    model.OnProgram(view);
    if (view.LastAnswer() != EMessageResult::eYes || gCliInterrupted)
        return cancelled();
    const std::size_t errorsAtStart = errors->ErrorCount();
    // The board reports every block; the model looks every 500 ms. Between its looks the bar
    // follows the reports, also while the board returns after programming.
    int shownProgress = -1;
    RunDialogTimer(model, view, true, [&] {
        const std::int32_t state = model.GetState();
        const int progress = errors->GetProgress();
        if ((state == ESTATE_PROGRAM || state == ESTATE_EXIT_LOADER) && progress != shownProgress) {
            shownProgress = progress;
            view.SetProgress(progress);
            view.RefreshStatus();
        }
    });
    const bool success = !view.Result() && model.GetState() == ESTATE_SUCCESS;

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
    summary.state = "firmware";
    std::string shownAfter = summary.versionAfter.empty() ? CliText(IDS_CLI_UNKNOWN) : summary.versionAfter;
    if (!success) {
        // What the board holds now, not what the interface objects remember: a board that was
        // never touched still runs its old firmware; one left in its loader says so.
        // A board that leaves its loader after the failure takes a moment to come back: wait for
        // it a bounded time (a board that stays in its loader or away costs the whole wait).
        for (std::uint32_t waited = 0;; waited += kSettlePollMs) {
            ReadBoardAfresh(session_I, options_I.updateType, pathBefore, summary);
            if (summary.state == "firmware" || waited >= kSettleMs)
                break;
            GetClock()->sleep(kSettlePollMs);
        }
        summary.reason = errors->CauseSince(errorsAtStart);
        if (summary.reason.empty())
            summary.reason = view.LastError();
        shownAfter = summary.state == "loader"     ? CliText(IDS_CLI_STILL_IN_LOADER)
                : summary.state == "firmware" ? (summary.versionAfter == summary.versionBefore
                                                     ? CliText(IDS_CLI_UNCHANGED, {summary.versionAfter})
                                                     : summary.versionAfter)
                                              : CliText(IDS_CLI_BOARD_NOT_FOUND);
        // The cause is the controller's own text (the log's), given as it reported it.
        PrintCliError(summary.reason.empty() ? CliText(IDS_CLI_UPDATE_FAILED)
                                             : CliText(IDS_CLI_UPDATE_FAILED_BECAUSE, {ShownModelText(summary.reason)}));
    }
    // The block's labels line up, whatever their length in the language.
    const int labelIds[] = {IDS_CLI_FIRMWARE_VERSION, IDS_CLI_CAUSE,    IDS_CLI_NEXT_STEP, IDS_CLI_OLD_CHECKSUM,
                            IDS_CLI_NEW_CHECKSUM,     IDS_CLI_CHECKSUM, IDS_CLI_VERIFIED,  IDS_CLI_LOG_FILE};
    std::vector<std::string> labels;
    for (const int id : labelIds)
        labels.push_back(CliText(id));
    const std::size_t width = LabelWidth(labels);
    const auto label = [&](int id_I) { return "  " + PaddedLabel(CliText(id_I), width); };
    results << CliText(IDS_CLI_RESULT) << "\n"
        << label(IDS_CLI_FIRMWARE_VERSION) << summary.versionBefore << " -> " << shownAfter << "\n";
    if (!success) {
        if (!summary.reason.empty())
            results << label(IDS_CLI_CAUSE) << PrintableText(ShownModelText(summary.reason)) << "\n";
        results << label(IDS_CLI_NEXT_STEP)
                << CliText(summary.state == "loader"     ? IDS_CLI_NEXT_RUN_AGAIN
                           : summary.state == "firmware" ? IDS_CLI_NEXT_CORRECT_CAUSE
                                                         : IDS_CLI_NEXT_CHECK_BOARD)
                << "\n";
    }
    results << label(IDS_CLI_OLD_CHECKSUM) << ChecksumString(summary.checksumOld) << "\n"
        << label(IDS_CLI_NEW_CHECKSUM) << ChecksumString(summary.checksumNew) << "\n"
        << label(IDS_CLI_CHECKSUM) << ChecksumString(summary.checksumExpected) << "\n";
    if (options_I.verify) {
        const int format = session_I.controller->GetDataSource().GetFileType();
        const bool srec = format == eFormatPen || format == eFormatTouch || format == eFormatVel;
        results << label(IDS_CLI_VERIFIED)
            << CliText(session_I.controller->WasVerified() ? IDS_CLI_YES : srec ? IDS_CLI_NO : IDS_CLI_NOT_VERIFIABLE)
            << "\n";
    }
    results << label(IDS_CLI_LOG_FILE) << (logPath.empty() ? CliText(IDS_CLI_NONE) : PrintableText(logPath)) << "\n"
            << std::flush;
    if (!success && summary.error.empty())
        summary.error = (summary.reason.empty() ? CCliMessage::Id(IDS_CLI_UPDATE_FAILED)
                                                : CCliMessage(IDS_CLI_UPDATE_FAILED_BECAUSE, {summary.reason}))
                            .English();
    if (view.Result())
        return finish(*view.Result());
    return finish(success ? 0 : 1);
}
