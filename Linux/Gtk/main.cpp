// vellum-fwupdater-gtk: the main dialog as a GTK 4 window, over the same model, controller and
// platform layer as the command-line program.

#include "CGtkDialogView.h"

#include "FileVersion.h"
#include "FirmwareUpdaterApp.h"
#include "FWUpdater/CLinuxLanguagePlatform.h"
#include "FWUpdater/CLinuxUpdateNotifier.h"
#include "FWUpdater/CMainDialogModel.h"
#include "FWUpdater/CSingleInstanceLock.h"
#include "FWUpdater/CliOptions.h"
#include "FWUpdater/DataDirectory.h"
#include "FWUpdater/FrontEndSession.h"
#include "LanguageProvider.h"
#include "StringUtils.h"
#include "Version.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const char kProgram[] = "vellum-fwupdater-gtk";

// An installer must not wait for a click: the unattended form's message boxes close by
// themselves after this long.
constexpr std::uint32_t kUnattendedMessageMs = 5000;

const char kUsage[] =
    "Usage:\n"
    "  vellum-fwupdater-gtk [GLOBAL]\n"
    "  vellum-fwupdater-gtk [GLOBAL] -path PATH -auto BOARD [-lang LOCALE]\n"
    "\n"
    "The firmware updater's window. Without -path and -auto it shows the attached tablet and\n"
    "lets you choose a firmware file and program it. With them it runs the unattended update of\n"
    "BOARD (pen, touch, bluetooth) of the tablet that owns the interface PATH, shows only its\n"
    "progress and ends by itself (message boxes close after 5 seconds).\n"
    "\n"
    "Global options (as vellum-fwupdater's): --simulate[=SCENARIO], --sim-state FILE,\n"
    "--sim-faults SPEC, --topology FILE, --lang LOCALE, --log-dir DIR, --help, --version.\n"
    "\n"
    "Exit codes: 0 unattended update succeeded; 1 failure; 2 closed by the user; 255 another\n"
    "copy is running or the window could not be created.\n";

int RunWindow(const CliOptions& options_I)
{
    const bool unattended = options_I.command == ECliCommand::eUnattended;
    const CFirmwareUpdaterApp app(Utf8ToUtf16(options_I.unattendedLine), CFirmwareUpdaterApp::EPathStyle::eWindowsOrPosix);
    if (unattended && (app.GetDevicePath().empty() || app.GetAutoUpdateBoard().empty())) {
        std::fprintf(stderr, "%s: the unattended form needs -path PATH and -auto BOARD (see --help)\n", kProgram);
        return 1;
    }
    if (!gtk_init_check()) {
        std::fprintf(stderr, "%s: cannot open a display\n", kProgram);
        return -1;
    }

    CSingleInstanceLock lock;
    if (!TakeSingleInstanceLock(lock, kProgram, options_I))
        return -1;
    CCliMessage error;
    FrontEndSession session;
    if (!OpenFrontEndSession(options_I, session, error)) {
        std::fprintf(stderr, "%s: %s\n", kProgram, error.Text().c_str());
        return -1;
    }

    auto platform = std::make_shared<CLinuxLanguagePlatform>();
    LanguageProvider provider("userUI", platform);
    if (!options_I.language.empty())
        SelectCliLanguage(provider, options_I.language);
    // -lang of the unattended form overrides the locale, as on Windows.
    if (!app.GetLanguage().empty())
        provider.SelectLanguage(app.GetLanguage());

    int result = 1;
    {
        auto notifier = std::make_unique<CLinuxUpdateNotifier>(options_I.logDirectory);
        CMainDialogModel model(session.controller, std::move(notifier), StringLoader(provider), app.GetDevicePath(),
                               app.GetAutoUpdateBoard());
        // The update files the topology names lie beside it; so do the ones a user picks.
        const std::string topologyDirectory = DirectoryOf(session.topologyPath);
        model.SetAutoUpdateDirectory(topologyDirectory);
        CGtkDialogView::Settings settings;
        settings.messageTimeoutMs = unattended ? kUnattendedMessageMs : 0;
        settings.browseDirectory = topologyDirectory;
        CGtkDialogView view(model, std::make_unique<CGLibTicker>(), settings);
        // Arrivals and removals are handled on the main loop, as window messages are.
        CEventForwarder forwarder(session, model, RunOnMainLoop);
        result = view.Run();
    }
    if (!CloseFrontEndSession(session, error)) {
        std::fprintf(stderr, "%s: %s\n", kProgram, error.Text().c_str());
        if (result == 0)
            result = 1;
    }
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    CliOptions options;
    CCliMessage error;
    if (!ParseWindowOptions(arguments, options, error)) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", kProgram, error.Text().c_str(), kProgram);
        return 1;
    }
    if (options.command == ECliCommand::eHelp) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (options.command == ECliCommand::eVersion) {
        std::printf("%s %s\n", kProgram, FileVersion::FromWord(kProgramVersionWord).ToShortString().c_str());
        return 0;
    }
    return RunWindow(options);
}
