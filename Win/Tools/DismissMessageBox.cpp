// vfwu_dismiss [--press ID] CAPTION [SECONDS]: waits (at most SECONDS, default 60) for a dialog
// window (a message box or the program's dialog) whose caption is exactly CAPTION, prints its
// text on standard output (UTF-8; a message box's text), presses its OK (or Yes) button, or the
// command ID given (0: none), and exits 0; exits 1 when no such window appeared in time. Lets CI
// answer the program's message boxes and close its dialog without changing the program.

#include "Clock.h"
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

std::string Utf8(const std::wstring& text_I)
{
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text_I.c_str(), static_cast<int>(text_I.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text_I.c_str(), static_cast<int>(text_I.size()), result.data(), size,
                              nullptr, nullptr);
    return result;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    int press = -1; // the default button
    int first = 1;
    if (argc > 2 && std::wcscmp(argv[1], L"--press") == 0) {
        press = std::wcstol(argv[2], nullptr, 10);
        first = 3;
    }
    if (argc <= first) {
        std::fputs("usage: vfwu_dismiss [--press ID] CAPTION [SECONDS]\n", stderr);
        return 2;
    }
    const wchar_t* caption = argv[first];
    const int seconds = argc > first + 1 ? std::wcstol(argv[first + 1], nullptr, 10) : 60;
    // Polling in real time is this helper's whole purpose: it stands in for a user.
    for (int tick = 0; tick < seconds * 10; ++tick) {
        HWND box = ::FindWindowW(L"#32770", caption);
        if (box != nullptr) {
            wchar_t text[2048] = {};
            // A message box's text is the static control 0xFFFF.
            ::GetDlgItemTextW(box, 0xFFFF, text, 2048);
            std::printf("%s\n", Utf8(text).c_str());
            std::fflush(stdout);
            const int button = press >= 0 ? press : ::GetDlgItem(box, IDOK) != nullptr ? IDOK : IDYES;
            if (button != 0)
                ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
            return 0;
        }
        GetClock()->sleep(100);
    }
    std::fputs("vfwu_dismiss: no message box appeared\n", stderr);
    return 1;
}
