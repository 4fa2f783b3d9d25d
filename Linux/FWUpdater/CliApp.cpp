#include "FWUpdater/CliApp.h"

#include "Clock.h"
#include "FileVersion.h"
#include "FirmwareUpdaterApp.h"
#include "FWUpdater/CDevice.h"
#include "FWUpdater/CFLDeviceInterface.h"
#include "FWUpdater/CLinuxLanguagePlatform.h"
#include "FWUpdater/CMainDialogModel.h"
#include "FWUpdater/CSingleInstanceLock.h"
#include "FWUpdater/CTerminalView.h"
#include "FWUpdater/CUpdateWorker.h"
#include "FWUpdater/CliChecks.h"
#include "FWUpdater/CliCommands.h"
#include "FWUpdater/CliStringIds.h"
#include "FWUpdater/CliJson.h"
#include "FWUpdater/CliText.h"
#include "LanguageProvider.h"
#include "LogUpdateNotifier.h"
#include "StringUtils.h"
#include "Version.h"

#include <ctime>
#include <iostream>
#include <sys/ioctl.h>
#include <sys/utsname.h>
#include <unistd.h>

volatile std::sig_atomic_t gCliInterrupted = 0;

namespace {

constexpr std::uint32_t kTickMs = 500;
constexpr std::uint32_t kLiveMs = 100;

void OnInterrupt(int)
{
    gCliInterrupted = 1;
}

} // namespace

// Ctrl-C and termination requests become the dialog's cancel command, which the model refuses
// while the board is being switched, programmed or brought back. Without SA_RESTART a request
// also ends a wait for the user's answer. A request that arrived before (held pending by a
// blocked mask) is delivered here, once it can be seen.
void CatchInterrupts()
{
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
        sigaddset(&signals, signal);
    }
    sigprocmask(SIG_UNBLOCK, &signals, nullptr);
}

void WriteLogHeader(CLogUpdateNotifier& notifier_I, const CliOptions& options_I)
{
    std::string line = "vellum-fwupdater";
    for (const std::string& argument : options_I.arguments) {
        const bool plain = !argument.empty() && argument.find_first_of(" \t\n'\"\\$`") == std::string::npos;
        line += " " + (plain ? argument : "'" + argument + "'");
    }
    const std::time_t now = std::time(nullptr);
    std::tm utc {};
    gmtime_r(&now, &utc);
    char when[64];
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S UTC", &utc);
    struct utsname system {};
    const std::string os = uname(&system) == 0 ? std::string(system.sysname) + " " + system.release + " " + system.machine
                                               : std::string("unknown");
    notifier_I.Log("Program: vellum-fwupdater " + FileVersion::FromWord(kProgramVersionWord).ToShortString());
    notifier_I.Log(std::string("Started: ") + when);
    notifier_I.Log("Command line: " + PrintableText(line));
    notifier_I.Log(options_I.simulate ? "Tablets: simulated (scenario " + options_I.scenario + "), not hardware"
                                      : std::string("Tablets: attached hardware"));
    notifier_I.Log("System: " + os);
}

std::string VersionString(std::uint16_t version_I)
{
    return Utf16ToUtf8(CMainDialogModel::VersionText(version_I));
}

const char* InterfaceKindName(int kind_I)
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

int TerminalColumns(int fd_I)
{
    struct winsize size {};
    return ioctl(fd_I, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

void RunDialogTimer(CMainDialogModel& model_I, CTerminalView& view_I, bool untilUpdateEnds_I,
                    const std::function<void()>& betweenTicks_I)
{
    bool refusedNotice = false;
    while (!view_I.Result()) {
        if (gCliInterrupted) {
            gCliInterrupted = 0;
            if (model_I.IsBusy()) {
                view_I.FinishStatusLine();
                // Once the switch has begun, stopping would leave the board half way: say where
                // it is and why the request waits.
                const std::int32_t state = model_I.GetState();
                if (!refusedNotice)
                    PrintCliError(CliText(state == ESTATE_ENTER_LOADER ? IDS_CLI_HOLD_SWITCHING
                                          : state == ESTATE_PROGRAM    ? IDS_CLI_HOLD_PROGRAMMING
                                                                       : IDS_CLI_HOLD_LEAVING));
                refusedNotice = true;
            }
            model_I.OnCancel(view_I);
            if (view_I.Result())
                break;
        }
        // The live view first, so that a state the model is about to show carries the progress
        // reached before it.
        if (betweenTicks_I)
            betweenTicks_I();
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
        if (!betweenTicks_I) {
            GetClock()->sleep(kTickMs);
            continue;
        }
        for (std::uint32_t slept = 0; slept < kTickMs && !gCliInterrupted; slept += kLiveMs) {
            GetClock()->sleep(kLiveMs);
            betweenTicks_I();
        }
    }
    view_I.FinishStatusLine();
}

std::string FailureJson(const CliOptions& options_I, const CCliMessage& message_I)
{
    if (options_I.command != ECliCommand::eUpdate)
        return ErrorJson(message_I.English());
    UpdateSummary summary;
    summary.board = UpdateTypeWord(options_I.updateType);
    summary.error = message_I.English();
    return UpdateSummaryJson(summary);
}

int RunCli(const CliOptions& options_I)
{
    // The language of every text, the dialog's and the command line's own.
    auto platform = std::make_shared<CLinuxLanguagePlatform>();
    LanguageProvider provider("userUI", platform);
    if (!options_I.language.empty())
        SelectCliLanguage(provider, options_I.language);
    SetCliLanguage(provider.GetResourceLanguageId());

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
    // Every end before the command runs: the error on stderr and, with --json, the command's one
    // object on stdout.
    const auto fail = [&options_I](int code_I, const CCliMessage& message_I) {
        PrintCliError(message_I);
        if (options_I.json)
            std::cout << FailureJson(options_I, message_I) << "\n" << std::flush;
        return code_I;
    };
    // The unattended form fails as the Windows program does when its dialog cannot be created.
    const int setupFailure = unattended ? -1 : 1;
    const CFirmwareUpdaterApp app(Utf8ToUtf16(options_I.unattendedLine), CFirmwareUpdaterApp::EPathStyle::eWindowsOrPosix);
    if (unattended && (app.GetDevicePath().empty() || app.GetAutoUpdateBoard().empty()))
        return fail(1, CCliMessage::Id(IDS_CLI_UNATTENDED_NEEDS));

    // From here on Ctrl-C cancels (until the board is switched to its loader) instead of killing
    // the program half way through its start.
    if (options_I.command == ECliCommand::eUpdate || unattended)
        CatchInterrupts();

    // What the user named is checked before anything is touched (the lock, the tablets, the log).
    CCliMessage error;
    const bool writesLog = options_I.command == ECliCommand::eUpdate || unattended;
    if (writesLog && !options_I.logDirectory.empty() && !CheckLogDirectory(options_I.logDirectory, error))
        return fail(1, error);
    // Without a topology no tablet can be recognised: one that was named, or that exists at the
    // default place, must be readable and well-formed. A missing default file keeps the old
    // meaning (nothing to find).
    const std::string topology = !options_I.topology.empty() ? options_I.topology : options_I.simulate ? "" : kDefaultTopology;
    if (!topology.empty() && (!options_I.topology.empty() || access(topology.c_str(), F_OK) == 0) &&
        !CheckTopologyFile(topology, error))
        return fail(1, error);

    CSingleInstanceLock lock;
    CCliMessage refusal;
    if (!TakeSingleInstanceLock(lock, "vellum-fwupdater", options_I, &refusal))
        return fail(-1, refusal);

    FrontEndSession session;
    if (!OpenFrontEndSession(options_I, session, error))
        return fail(setupFailure, error);

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
    // The command has printed its object; this only adds to stderr.
    if (!CloseFrontEndSession(session, error)) {
        PrintCliError(error);
        if (result == 0)
            result = 1;
    }
    return result;
}
