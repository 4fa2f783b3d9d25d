// The command line of vellum-fwupdater: arguments separated by NUL bytes, parsed as the program
// parses them, and the unattended words read by the application object's token rules.

#include "FWUpdater/CliOptions.h"
#include "FWUpdater/CliText.h"
#include "FirmwareUpdaterApp.h"
#include "StringUtils.h"

#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> arguments(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            arguments.emplace_back();
        else
            arguments.back() += static_cast<char>(data[i]);
    }
    CliOptions options;
    CCliMessage error;
    if (!ParseCliOptions(arguments, options, error)) {
        // A refusal always says why, in English for scripts as in the user's language.
        if (error.Empty() || error.English().empty() || error.Text().empty())
            __builtin_trap();
    } else if (options.command == ECliCommand::eUnattended) {
        const CFirmwareUpdaterApp app(Utf8ToUtf16(options.unattendedLine), CFirmwareUpdaterApp::EPathStyle::eWindowsOrPosix);
        (void)app.GetDevicePath().size();
    }
    return 0;
}
