#pragma once
// vellum-fwupdater's commands over the portable core: list, inspect, update (the main dialog's
// model behind a terminal view) and the unattended form.

#include "FWUpdater/CliOptions.h"
#include "FWUpdater/FrontEndSession.h" // SelectCliLanguage

#include <cstdint>
#include <string>

// Runs a parsed command line and returns the process exit code (-1 for "another copy runs" and
// the unattended form's start-up failures, as the Windows program does).
int RunCli(const CliOptions& options_I);
