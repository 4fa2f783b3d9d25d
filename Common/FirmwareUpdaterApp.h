#pragma once
// The application object's command line: "-path", "-auto" and "-lang", as an installer or a
// driver package starts an unattended update.
//
// Token rules: the line is trimmed and split at every single blank (two blanks in a row give an
// empty token; quotation marks mean nothing, so a value cannot contain a blank). Each token is
// compared, case-sensitively, with the option names; an option counts only when a next token
// exists, which becomes its value, and the walk then goes on with that value token itself (so
// "-lang -path x" sets both the language "-path" and the path "x"). A later option overrides an
// earlier one; unknown tokens are ignored.
//
// "-path" gets the "\\?\" prefix and every "+" becomes "&": installers pass a Windows device
// interface path without its prefix and with "&" written as "+". Where paths may be POSIX paths
// (EPathStyle::eWindowsOrPosix, the Linux program), a value that starts with "/" is a POSIX path
// and gets no prefix; the "+" rule applies to it as to any other path.

#include <string>

class CFirmwareUpdaterApp
{
public:
    enum class EPathStyle
    {
        eWindows,        // every device path is a Windows path
        eWindowsOrPosix, // a path starting with "/" is a POSIX path
    };

    explicit CFirmwareUpdaterApp(const std::u16string& commandLine_I, EPathStyle pathStyle_I = EPathStyle::eWindows);

    // Empty when not given.
    const std::u16string& GetDevicePath() const { return mDevicePath; }
    const std::u16string& GetAutoUpdateBoard() const { return mAutoUpdateBoard; }
    const std::string& GetLanguage() const { return mLanguage; } // UTF-8

private:
    std::u16string mDevicePath;
    std::u16string mAutoUpdateBoard;
    std::string mLanguage;
};
