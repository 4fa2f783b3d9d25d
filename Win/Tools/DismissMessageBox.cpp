// vfwu_dismiss [--press ID] [--busy TITLE STATUS]... CAPTION [SECONDS]: waits (at most SECONDS,
// default 60) for a dialog window (a message box or the program's dialog) whose caption is
// exactly CAPTION, prints its text on standard output (UTF-8; a message box's text), presses its
// OK (or Yes) button, or the command ID given (0: none), and exits 0; exits 1 when no such window
// appeared in time. Lets CI answer the program's message boxes and close its dialog without
// changing the program.
//
// Each --busy first waits for the program's dialog (caption TITLE) to show STATUS in its status
// text (trailing dots aside: "Programming..." shows "Programming"), then tries to end it as a user
// and the system would: the close box (WM_CLOSE), Escape (the cancel command) and the end of the
// session (WM_QUERYENDSESSION, then WM_ENDSESSION with the answer). It prints one line:
//   busy "STATUS": end of session refused|accepted
// The program must refuse all of them while busy; whether it did shows in its exit code.

#include "Clock.h"
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kStatusTextId = 1023;
// Polling in real time is this helper's whole purpose: it stands in for a user. The status text
// of a busy state stays at least one 500 ms timer period: 20 ms polls cannot miss it.
constexpr std::uint32_t kPollMs = 20;

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

std::wstring StatusText(HWND dialog_I)
{
    wchar_t text[512] = {};
    ::GetDlgItemTextW(dialog_I, kStatusTextId, text, 512);
    std::wstring status(text);
    while (!status.empty() && status.back() == L'.')
        status.pop_back();
    return status;
}

// Waits for the dialog to show the status, then asks it to end in every way; false on timeout.
bool CloseWhileBusy(const wchar_t* title_I, const std::wstring& status_I, std::uint64_t deadline_I)
{
    while (GetClock()->now() < deadline_I) {
        HWND dialog = ::FindWindowW(L"#32770", title_I);
        if (dialog != nullptr && StatusText(dialog) == status_I) {
            ::SendMessageW(dialog, WM_CLOSE, 0, 0);
            ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            DWORD_PTR answer = TRUE;
            if (!::SendMessageTimeoutW(dialog, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 5000, &answer))
                answer = TRUE; // no answer is no refusal
            ::SendMessageTimeoutW(dialog, WM_ENDSESSION, answer != FALSE ? TRUE : FALSE, 0, SMTO_NORMAL, 5000, nullptr);
            std::printf("busy \"%s\": end of session %s\n", Utf8(status_I).c_str(),
                        answer != FALSE ? "accepted" : "refused");
            std::fflush(stdout);
            return true;
        }
        GetClock()->sleep(kPollMs);
    }
    std::fprintf(stderr, "vfwu_dismiss: the status \"%s\" did not show\n", Utf8(status_I).c_str());
    return false;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    int press = -1; // the default button
    std::vector<std::pair<const wchar_t*, std::wstring>> busy;
    int first = 1;
    for (;;) {
        if (argc > first + 1 && std::wcscmp(argv[first], L"--press") == 0) {
            press = std::wcstol(argv[first + 1], nullptr, 10);
            first += 2;
        } else if (argc > first + 2 && std::wcscmp(argv[first], L"--busy") == 0) {
            busy.emplace_back(argv[first + 1], argv[first + 2]);
            first += 3;
        } else {
            break;
        }
    }
    if (argc <= first) {
        std::fputs("usage: vfwu_dismiss [--press ID] [--busy TITLE STATUS]... CAPTION [SECONDS]\n", stderr);
        return 2;
    }
    const wchar_t* caption = argv[first];
    const int seconds = argc > first + 1 ? std::wcstol(argv[first + 1], nullptr, 10) : 60;
    const std::uint64_t deadline = GetClock()->now() + static_cast<std::uint64_t>(seconds) * 1000;
    for (const auto& [title, status] : busy) {
        if (!CloseWhileBusy(title, status, deadline))
            return 1;
    }
    while (GetClock()->now() < deadline) {
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
