#pragma once
// The command line of vellum-fwupdater: the commands (list, inspect, update), the unattended
// form of the Windows program (-path, -auto, -lang) and the global options.
//
// Options that start with "--" may stand anywhere; "--name=value" and "--name value" are the
// same. The first other word chooses the command. Words that start with a single "-" (and no
// command word before them) are the unattended form: they are joined with single blanks and read
// by the application object's token rules, exactly as the Windows program reads its command line.

#include "FWUpdater/CliText.h"

#include <string>
#include <vector>

enum class ECliCommand
{
    eHelp,
    eVersion,
    eList,
    eInspect,
    eUpdate,
    eUnattended,
    eWindow, // the GTK program without the unattended form: the interactive window
};

struct CliOptions
{
    ECliCommand command = ECliCommand::eHelp;

    // Global options.
    bool simulate = false;
    std::string scenario = "basic";
    bool hasSimState = false;
    std::string simState;
    bool hasSimFaults = false;
    std::string simFaults;
    std::string topology; // empty: ./fw_loader.ini, or the scenario's own when simulating
    std::string language; // --lang; empty: the locale environment
    std::string logDirectory;

    // Command options.
    bool json = false;
    bool yes = false;
    bool verify = false;
    int updateType = -1; // 0 pen, 1 touch, 2 bluetooth
    std::string file;
    std::string device; // --device: an interface path as list prints it; empty: the only candidate

    // The unattended form's words joined by single blanks (UTF-8).
    std::string unattendedLine;

    // The whole command line as given (for the log's header).
    std::vector<std::string> arguments;
};

// False with a message for the user when the line is not valid.
bool ParseCliOptions(const std::vector<std::string>& arguments_I, CliOptions& options_O, CCliMessage& error_O);

// The GTK program's line: the global options and, optionally, the unattended form; no command
// words.
bool ParseWindowOptions(const std::vector<std::string>& arguments_I, CliOptions& options_O, CCliMessage& error_O);

// "pen" 0, "touch" 1, "bluetooth" 2, else -1.
int UpdateTypeFromWord(const std::string& word_I);
const char* UpdateTypeWord(int type_I);

// The text of --help, in the command line's language (CliLanguage()).
std::string CliUsage();
