#pragma once
// "-simulate[=SCENARIO]": a testing aid, not part of the installer command line. The dialog then
// runs on the simulated tablet bus with the named scenario ("basic" when no name is given).
// Tokens are split like the other options (at single blanks); the last "-simulate" token wins.

#include <string>

constexpr char kDefaultSimScenario[] = "basic";

// True when the command line asks for the simulator; scenario_O is then its name (UTF-8).
bool ParseSimulateOption(const std::u16string& commandLine_I, std::string& scenario_O);
