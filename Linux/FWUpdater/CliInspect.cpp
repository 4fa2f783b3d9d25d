// inspect: what a firmware file holds.

#include "FWUpdater/CliCommands.h"

#include "FWUpdater/CSRec.h"
#include "FWUpdater/CliChecks.h"
#include "FWUpdater/CliJson.h"
#include "FWUpdater/CliText.h"
#include "FWUpdater/FirmwareSummary.h"

#include <iostream>

int RunInspect(const CliOptions& options_I)
{
    CCliMessage error;
    CSRec source;
    if (!CheckFirmwareFile(options_I.file, "", source, error)) {
        PrintCliError(error);
        if (options_I.json)
            std::cout << ErrorJson(error.English()) << "\n";
        return 1;
    }
    const FirmwareSummary summary = SummarizeFirmware(source);
    std::cout << (options_I.json ? InspectJson(summary) + "\n" : FirmwareSummaryText(summary, CliLanguage()));
    return 0;
}
