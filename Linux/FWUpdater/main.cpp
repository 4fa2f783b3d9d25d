// vellum-fwupdater: the Linux command-line front end.

#include "FWUpdater/CliApp.h"
#include "FWUpdater/CliJson.h"
#include "FWUpdater/CliOptions.h"
#include "FWUpdater/CliText.h"

#include <algorithm>

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    CliOptions options;
    std::string error;
    if (!ParseCliOptions(arguments, options, error)) {
        PrintCliError(error);
        std::fprintf(stderr, "Try 'vellum-fwupdater --help'.\n");
        // A script that asked for JSON gets its one object even for a line it got wrong.
        if (std::find(arguments.begin(), arguments.end(), "--json") != arguments.end())
            std::printf("%s\n", ErrorJson(error).c_str());
        return 1;
    }
    return RunCli(options);
}
