#pragma once
// vellum-fwupdater's commands over the portable core: list, inspect, update (the main dialog's
// model behind a terminal view) and the unattended form.

#include "FWUpdater/CliOptions.h"

#include <cstdint>
#include <string>

class LanguageProvider;

// Runs a parsed command line and returns the process exit code (-1 for "another copy runs" and
// the unattended form's start-up failures, as the Windows program does).
int RunCli(const CliOptions& options_I);

// --lang: a name of the language table (any letter case, e.g. "de", "zh_TW"), else a POSIX locale
// name ("de_DE.UTF-8") mapped through the fallback chain; anything unknown ends in English.
void SelectCliLanguage(LanguageProvider& provider_I, const std::string& locale_I);
