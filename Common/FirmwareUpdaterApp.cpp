#include "FirmwareUpdaterApp.h"

#include "StringUtils.h"

#include <algorithm>
#include <vector>

CFirmwareUpdaterApp::CFirmwareUpdaterApp(const std::u16string& commandLine_I, EPathStyle pathStyle_I)
{
    const std::vector<std::u16string> tokens = Split(Trimmed(commandLine_I), u" ");
    for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
        const std::u16string& token = tokens[i];
        const std::u16string& value = tokens[i + 1];
        if (token == u"-auto") {
            mAutoUpdateBoard = value;
        } else if (token == u"-path") {
            const bool posix = pathStyle_I == EPathStyle::eWindowsOrPosix && !value.empty() && value[0] == u'/';
            mDevicePath = posix ? value : u"\\\\?\\" + value;
            std::replace(mDevicePath.begin(), mDevicePath.end(), u'+', u'&');
        } else if (token == u"-lang") {
            mLanguage = Utf16ToUtf8(value);
        }
    }
}
