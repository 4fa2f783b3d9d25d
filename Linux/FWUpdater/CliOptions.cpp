#include "FWUpdater/CliOptions.h"

#include "FWUpdater/CliStringIds.h"

#include <cstddef>

namespace {

// Global and command options that take a value.
const char* const kValueOptions[] = {"--sim-state", "--sim-faults", "--topology", "--lang", "--log-dir", "--type",
                                     "--device"};

bool TakesValue(const std::string& name_I)
{
    for (const char* name : kValueOptions) {
        if (name_I == name)
            return true;
    }
    return false;
}

} // namespace

int UpdateTypeFromWord(const std::string& word_I)
{
    if (word_I == "pen")
        return 0;
    if (word_I == "touch")
        return 1;
    if (word_I == "bluetooth")
        return 2;
    return -1;
}

const char* UpdateTypeWord(int type_I)
{
    switch (type_I) {
    case 0:
        return "pen";
    case 1:
        return "touch";
    case 2:
        return "bluetooth";
    default:
        return "";
    }
}

namespace {

// window_I: the GTK program's line, which has no command words; without any word it is the
// interactive window.
bool ParseOptions(const std::vector<std::string>& arguments_I, bool window_I, CliOptions& options_O, CCliMessage& error_O)
{
    CliOptions options;
    options.arguments = arguments_I;
    std::vector<std::string> words;
    bool help = false;
    bool version = false;
    bool typeGiven = false;

    for (std::size_t i = 0; i < arguments_I.size(); ++i) {
        const std::string& argument = arguments_I[i];
        if (argument == "-h") {
            help = true; // no word of the unattended form is this short
            continue;
        }
        if (argument.size() < 3 || argument.compare(0, 2, "--") != 0) {
            words.push_back(argument);
            continue;
        }
        std::string name = argument;
        std::string value;
        bool hasValue = false;
        if (const std::size_t equals = argument.find('='); equals != std::string::npos) {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
            hasValue = true;
        }
        if (TakesValue(name) && !hasValue) {
            if (i + 1 >= arguments_I.size()) {
                error_O = CCliMessage(IDS_CLI_NEEDS_VALUE, {name});
                return false;
            }
            value = arguments_I[++i];
            hasValue = true;
        }
        if (name == "--simulate") {
            options.simulate = true;
            if (hasValue) {
                if (value.empty()) {
                    error_O = CCliMessage::Id(IDS_CLI_SIMULATE_NEEDS_NAME);
                    return false;
                }
                options.scenario = value;
            }
            continue;
        }
        if (!TakesValue(name) && hasValue) {
            error_O = CCliMessage(IDS_CLI_TAKES_NO_VALUE, {name});
            return false;
        }
        if (name == "--help")
            help = true;
        else if (name == "--version")
            version = true;
        else if (name == "--json")
            options.json = true;
        else if (name == "--yes")
            options.yes = true;
        else if (name == "--verify")
            options.verify = true;
        else if (name == "--sim-state") {
            options.hasSimState = true;
            options.simState = value;
        } else if (name == "--sim-faults") {
            options.hasSimFaults = true;
            options.simFaults = value;
        } else if (name == "--topology")
            options.topology = value;
        else if (name == "--lang")
            options.language = value;
        else if (name == "--log-dir")
            options.logDirectory = value;
        else if (name == "--device") {
            options.device = value;
            if (value.empty()) {
                error_O = CCliMessage::Id(IDS_CLI_DEVICE_NEEDS_PATH);
                return false;
            }
        }
        else if (name == "--type") {
            options.updateType = UpdateTypeFromWord(value);
            typeGiven = true;
            if (options.updateType < 0) {
                error_O = CCliMessage(IDS_CLI_BAD_TYPE, {value});
                return false;
            }
        } else {
            error_O = CCliMessage(IDS_CLI_UNKNOWN_OPTION, {argument});
            return false;
        }
    }

    if (help || version) {
        options.command = help ? ECliCommand::eHelp : ECliCommand::eVersion;
        options_O = options;
        return true;
    }
    if (words.empty() && !window_I) {
        error_O = CCliMessage::Id(IDS_CLI_NO_COMMAND);
        return false;
    }

    const std::string command = words.empty() ? std::string() : words.front();
    const std::vector<std::string> rest(words.empty() ? words.begin() : words.begin() + 1, words.end());
    if (window_I && (command.empty() || command[0] != '-')) {
        options.command = ECliCommand::eWindow;
        if (!command.empty()) {
            error_O = CCliMessage(IDS_CLI_UNEXPECTED_ARGUMENT, {command});
            return false;
        }
    } else if (command == "list") {
        options.command = ECliCommand::eList;
        if (!rest.empty()) {
            error_O = CCliMessage(IDS_CLI_LIST_TAKES_NO_ARGUMENT, {rest.front()});
            return false;
        }
    } else if (command == "inspect") {
        options.command = ECliCommand::eInspect;
        if (rest.size() != 1) {
            error_O = CCliMessage::Id(IDS_CLI_INSPECT_NEEDS_FILE);
            return false;
        }
        options.file = rest.front();
    } else if (command == "update") {
        options.command = ECliCommand::eUpdate;
        if (!typeGiven) {
            error_O = CCliMessage::Id(IDS_CLI_UPDATE_NEEDS_TYPE);
            return false;
        }
        if (rest.size() != 1) {
            error_O = CCliMessage::Id(IDS_CLI_UPDATE_NEEDS_FILE);
            return false;
        }
        options.file = rest.front();
    } else if (!command.empty() && command[0] == '-') {
        options.command = ECliCommand::eUnattended;
        for (std::size_t i = 0; i < words.size(); ++i)
            options.unattendedLine += (i ? " " : "") + words[i];
    } else {
        error_O = CCliMessage(IDS_CLI_UNKNOWN_COMMAND, {command});
        return false;
    }

    // Options that belong to one command only.
    const bool update = options.command == ECliCommand::eUpdate;
    if (!update && (options.yes || options.verify || typeGiven || !options.device.empty())) {
        error_O = CCliMessage(window_I ? IDS_CLI_NOT_FOR_WINDOW : IDS_CLI_ONLY_FOR_UPDATE,
                              {options.yes ? "--yes" : options.verify ? "--verify" : typeGiven ? "--type" : "--device"});
        return false;
    }
    if (options.json && (window_I || options.command == ECliCommand::eUnattended)) {
        error_O = CCliMessage(window_I ? IDS_CLI_NOT_FOR_WINDOW : IDS_CLI_NOT_FOR_UNATTENDED, {"--json"});
        return false;
    }
    if ((options.hasSimState || options.hasSimFaults) && !options.simulate) {
        error_O = CCliMessage(IDS_CLI_NEEDS_SIMULATE, {options.hasSimState ? "--sim-state" : "--sim-faults"});
        return false;
    }
    options_O = options;
    return true;
}

} // namespace

bool ParseCliOptions(const std::vector<std::string>& arguments_I, CliOptions& options_O, CCliMessage& error_O)
{
    return ParseOptions(arguments_I, false, options_O, error_O);
}

bool ParseWindowOptions(const std::vector<std::string>& arguments_I, CliOptions& options_O, CCliMessage& error_O)
{
    return ParseOptions(arguments_I, true, options_O, error_O);
}

std::string CliUsage()
{
    return "Usage:\n"
           "  vellum-fwupdater [GLOBAL] list [--json]\n"
           "  vellum-fwupdater [GLOBAL] inspect FILE [--json]\n"
           "  vellum-fwupdater [GLOBAL] update --type pen|touch|bluetooth FILE [--device PATH] [--yes] [--verify] [--json]\n"
           "  vellum-fwupdater [GLOBAL] -path PATH -auto BOARD [-lang LOCALE]\n"
           "  vellum-fwupdater --help | --version\n"
           "\n"
           "Updates the firmware of a pen tablet's boards (pen, touch, bluetooth) through their boot\n"
           "loaders.\n"
           "\n"
           "Commands:\n"
           "  list      the tablets found: per board its interface path, kind, ids, mode and version\n"
           "  inspect   what a firmware file holds (format, blocks, byte sums)\n"
           "  update    programs FILE into the board of the given type; asks for confirmation\n"
           "            unless --yes is given (without a terminal, --yes is required)\n"
           "    --device PATH  the tablet to update, named by one of its interface paths as list\n"
           "              prints it; needed when several tablets have the board\n"
           "    --verify  read the programmed S-record blocks back and compare them byte for byte\n"
           "              before the board leaves its loader\n"
           "    --json    one summary object on stdout at the end; progress goes to stderr\n"
           "  -path PATH -auto BOARD [-lang LOCALE]\n"
           "            unattended update, as installers start it: PATH names one interface of the\n"
           "            tablet (a Windows-form path without its \\\\?\\ prefix and with each '&'\n"
           "            written as '+', or a path starting with '/'), BOARD is pen, touch or\n"
           "            bluetooth; the update file is the one the topology names for that board,\n"
           "            looked for next to the topology file. Words are separated by single blanks.\n"
           "\n"
           "Firmware files: the extension selects the format and the board (as in the error of a\n"
           "file that does not fit):\n"
           "  .pen, .vel   S-records for the pen board\n"
           "  .touch       S-records for the touch board\n"
           "  .hex         Intel HEX for the touch board\n"
           "  .airoflash   Airoha flash binary for the bluetooth board\n"
           "S-record files named otherwise (.srec, .s19, .mot) are renamed for their board.\n"
           "\n"
           "Global options:\n"
           "  --simulate[=SCENARIO]  use the simulated tablets of SCENARIO (default basic; also\n"
           "                         protocol1, bulk, two-tablets) instead of attached hardware\n"
           "  --sim-state FILE       keep the simulated tablets' flash in FILE across runs\n"
           "  --sim-faults SPEC      inject faults into the simulated boards; SPEC is a comma list of\n"
           "                         seed=N, drop=R (0..1: share of reports that fail), drop-set=R,\n"
           "                         drop-get=R, ack-loss=R, ids=A/B (only these report ids),\n"
           "                         busy=MS (after each erase), unplug-at=N, replug=MS,\n"
           "                         power-loss-at=N, power-back=MS (N counts a board's reports from\n"
           "                         the start), tear=R (a power loss tears the erase or write it\n"
           "                         strikes), flip=R, short=R, long=R, wrong-id=R, stale=R (corrupted\n"
           "                         answers), stuck=ID[:N]/... (the report fails always or its first\n"
           "                         N times), notify-loss=R, notify-dup=R, notify-late=MS (arrival\n"
           "                         and removal notifications), reenum=MS (time to come back after a\n"
           "                         mode switch), e.g. seed=7,drop=0.01,busy=3000,power-loss-at=300\n"
#if !(__has_include("SimFaults.h") && __has_include("SimState.h"))
           "                         (--sim-state and --sim-faults are not available in this build)\n"
#endif
           "  --topology FILE        the tablet topology (default ./fw_loader.ini; when simulating,\n"
           "                         the scenario's own)\n"
           "  --lang LOCALE          language of the messages (a locale such as de or de_DE.UTF-8);\n"
           "                         default: LC_ALL, LC_MESSAGES, LANG\n"
           "  --log-dir DIR          where the log file goes (default $TMPDIR, else /tmp)\n"
           "  -h, --help             this text\n"
           "  --version              the program version\n"
           "\n"
           "Exit codes: 0 success; 1 failure (also usage errors); 2 cancelled by the user;\n"
           "255 another copy is running (simulated runs do not count).\n"
           "Environment: VFWU_DATA_DIR (folder holding scenarios/), VFWU_LOCK_DIR (folder of the\n"
           "single-instance lock; default $XDG_RUNTIME_DIR, else /tmp/vfwu-UID), VFWU_DEBUG.\n";
}
