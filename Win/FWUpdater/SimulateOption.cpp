#include "SimulateOption.h"

#include "StringUtils.h"

bool ParseSimulateOption(const std::u16string& commandLine_I, std::string& scenario_O)
{
    static const std::u16string kOption = u"-simulate";
    bool found = false;
    std::size_t start = 0;
    while (start <= commandLine_I.size()) {
        std::size_t blank = commandLine_I.find(u' ', start);
        if (blank == std::u16string::npos)
            blank = commandLine_I.size();
        const std::u16string token = commandLine_I.substr(start, blank - start);
        if (token == kOption) {
            found = true;
            scenario_O = kDefaultSimScenario;
        } else if (token.size() > kOption.size() + 1 && token.compare(0, kOption.size(), kOption) == 0 &&
                   token[kOption.size()] == u'=') {
            found = true;
            scenario_O = Utf16ToUtf8(token.substr(kOption.size() + 1));
        }
        start = blank + 1;
    }
    return found;
}
