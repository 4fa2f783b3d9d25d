// vellum-fwupdater: the Linux command-line front end.

#include "FWUpdater/CliApp.h"
#include "FWUpdater/CliOptions.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    CliOptions options;
    std::string error;
    if (!ParseCliOptions(arguments, options, error)) {
        std::fprintf(stderr, "vellum-fwupdater: %s\nTry 'vellum-fwupdater --help'.\n", error.c_str());
        return 1;
    }
    return RunCli(options);
}
