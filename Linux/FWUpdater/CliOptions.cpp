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

namespace {

// The widest line of the English text: longer lines of a translation are wrapped.
constexpr std::size_t kHelpWidth = 90;

// label_I as written, then the text stringId_I in the command line's language, its further lines
// indented by indent_I blanks.
std::string HelpEntry(const std::string& label_I, int stringId_I, std::size_t indent_I)
{
    const std::size_t lastLine = label_I.rfind('\n');
    const std::size_t column = DisplayWidth(lastLine == std::string::npos ? label_I : label_I.substr(lastLine + 1));
    return label_I + WrappedText(CliText(stringId_I), column, indent_I, kHelpWidth) + "\n";
}

std::string HelpParagraph(int stringId_I)
{
    return HelpEntry("", stringId_I, 0);
}

} // namespace

std::string CliUsage()
{
    // Commands, options, their argument words and extensions are the same in every language.
    std::string text = HelpParagraph(IDS_CLI_HELP_USAGE);
    text += "  vellum-fwupdater [GLOBAL] list [--json]\n"
            "  vellum-fwupdater [GLOBAL] inspect FILE [--json]\n"
            "  vellum-fwupdater [GLOBAL] update --type pen|touch|bluetooth FILE [--device PATH] [--yes] [--verify] [--json]\n"
            "  vellum-fwupdater [GLOBAL] -path PATH -auto BOARD [-lang LOCALE]\n"
            "  vellum-fwupdater --help | --version\n"
            "\n";
    text += HelpParagraph(IDS_CLI_HELP_ABOUT) + "\n";

    text += HelpParagraph(IDS_CLI_HELP_COMMANDS);
    text += HelpEntry("  list      ", IDS_CLI_HELP_LIST, 12);
    text += HelpEntry("  inspect   ", IDS_CLI_HELP_INSPECT, 12);
    text += HelpEntry("  update    ", IDS_CLI_HELP_UPDATE, 12);
    text += HelpEntry("    --device PATH  ", IDS_CLI_HELP_DEVICE, 14);
    text += HelpEntry("    --verify  ", IDS_CLI_HELP_VERIFY, 14);
    text += HelpEntry("    --json    ", IDS_CLI_HELP_JSON, 14);
    text += HelpEntry("  -path PATH -auto BOARD [-lang LOCALE]\n            ", IDS_CLI_HELP_UNATTENDED, 12);
    text += "\n";

    text += HelpParagraph(IDS_CLI_HELP_FILES);
    text += HelpEntry("  .pen, .vel   ", IDS_CLI_HELP_PEN_FILES, 15);
    text += HelpEntry("  .touch       ", IDS_CLI_HELP_TOUCH_FILES, 15);
    text += HelpEntry("  .hex         ", IDS_CLI_HELP_HEX_FILES, 15);
    text += HelpEntry("  .airoflash   ", IDS_CLI_HELP_AIROHA_FILES, 15);
    text += HelpParagraph(IDS_CLI_HELP_RENAMED_FILES) + "\n";

    text += HelpParagraph(IDS_CLI_HELP_GLOBAL);
    text += HelpEntry("  --simulate[=SCENARIO]  ", IDS_CLI_HELP_SIMULATE, 25);
    text += HelpEntry("  --sim-state FILE       ", IDS_CLI_HELP_SIM_STATE, 25);
    text += HelpEntry("  --sim-faults SPEC      ", IDS_CLI_HELP_SIM_FAULTS, 25);
#if !(__has_include("SimFaults.h") && __has_include("SimState.h"))
    text += HelpEntry(std::string(25, ' '), IDS_CLI_HELP_SIM_UNAVAILABLE, 25);
#endif
    text += HelpEntry("  --topology FILE        ", IDS_CLI_HELP_TOPOLOGY, 25);
    text += HelpEntry("  --lang LOCALE          ", IDS_CLI_HELP_LANG, 25);
    text += HelpEntry("  --log-dir DIR          ", IDS_CLI_HELP_LOG_DIR, 25);
    text += HelpEntry("  -h, --help             ", IDS_CLI_HELP_HELP, 25);
    text += HelpEntry("  --version              ", IDS_CLI_HELP_VERSION, 25);
    text += "\n";

    text += HelpParagraph(IDS_CLI_HELP_EXIT_CODES);
    text += HelpParagraph(IDS_CLI_HELP_ENVIRONMENT);
    return text;
}
