// vfwu_dismiss CAPTION [SECONDS]: waits (at most SECONDS, default 60) for a message box whose
// caption is exactly CAPTION, prints its text on standard output (UTF-8), presses its OK (or Yes)
// button and exits 0; exits 1 when no such box appeared in time. Lets CI run the program's
// message boxes unattended without changing the program.

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
    if (argc < 2) {
        std::fputs("usage: vfwu_dismiss CAPTION [SECONDS]\n", stderr);
        return 2;
    }
    const int seconds = argc > 2 ? std::wcstol(argv[2], nullptr, 10) : 60;
    // Polling in real time is this helper's whole purpose: it stands in for a user.
    for (int tick = 0; tick < seconds * 10; ++tick) {
        HWND box = ::FindWindowW(L"#32770", argv[1]);
        if (box != nullptr) {
            wchar_t text[2048] = {};
            // A message box's text is the static control 0xFFFF.
            ::GetDlgItemTextW(box, 0xFFFF, text, 2048);
            std::printf("%s\n", Utf8(text).c_str());
            std::fflush(stdout);
            const int button = ::GetDlgItem(box, IDOK) != nullptr ? IDOK : IDYES;
            ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
            return 0;
        }
        ::Sleep(100);
    }
    std::fputs("vfwu_dismiss: no message box appeared\n", stderr);
    return 1;
}
