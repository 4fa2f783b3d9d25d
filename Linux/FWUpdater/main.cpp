// vellum-fwupdater: the Linux command-line front end.

#include "FWUpdater/CliApp.h"
#include "FWUpdater/CliJson.h"
#include "FWUpdater/CliOptions.h"
#include "FWUpdater/CliStringIds.h"
#include "FWUpdater/CliText.h"
#include "FWUpdater/FrontEndSession.h"

#include <algorithm>

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    CliOptions options;
    CCliMessage error;
    if (!ParseCliOptions(arguments, options, error)) {
        // The language the line asked for, if it got that far, else the locale's.
        std::string language;
        for (std::size_t i = 0; i < arguments.size(); ++i) {
            if (arguments[i] == "--lang" && i + 1 < arguments.size())
                language = arguments[i + 1];
            else if (arguments[i].rfind("--lang=", 0) == 0)
                language = arguments[i].substr(7);
        }
        SetCliLanguageForLocale(language);
        PrintCliError(error);
        std::fprintf(stderr, "%s\n", CliText(IDS_CLI_TRY_HELP).c_str());
        // A script that asked for JSON gets its one object even for a line it got wrong.
        if (std::find(arguments.begin(), arguments.end(), "--json") != arguments.end())
            std::printf("%s\n", ErrorJson(error.English()).c_str());
        return 1;
    }
    return RunCli(options);
}
