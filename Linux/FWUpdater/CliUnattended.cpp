// The unattended form (-path PATH -auto BOARD [-lang LOCALE]), as installers start the Windows
// program: the dialog updates the named board with the topology's update file by itself.

#include "FWUpdater/CliCommands.h"

#include "FirmwareUpdaterApp.h"
#include "FWUpdater/CLinuxUpdateNotifier.h"
#include "FWUpdater/CMainDialogModel.h"
#include "FWUpdater/CTerminalView.h"
#include "FWUpdater/DataDirectory.h"
#include "LanguageProvider.h"

#include <iostream>
#include <unistd.h>

int RunUnattended(FrontEndSession& session_I, LanguageProvider& provider_I, const CFirmwareUpdaterApp& app_I,
                  const CliOptions& options_I)
{
    if (!app_I.GetLanguage().empty()) {
        provider_I.SelectLanguage(app_I.GetLanguage());
        SetCliLanguage(provider_I.GetResourceLanguageId());
    }
    auto notifier = std::make_unique<CLinuxUpdateNotifier>(options_I.logDirectory);
    WriteLogHeader(*notifier, options_I);
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
        RunDialogTimer(model, view, false);
    return view.Result().value_or(1);
}
