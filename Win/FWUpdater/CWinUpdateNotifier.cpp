#include "CWinUpdateNotifier.h"

#include "DebugOutput.h"
#include "StringUtils.h"

#include <windows.h>

#include <ctime>
#include <vector>

namespace {

class CWinLogFile : public CLogFile
{
public:
    explicit CWinLogFile(HANDLE file_I) : mFile(file_I) {}
    ~CWinLogFile() override { ::CloseHandle(mFile); }

    bool Write(const std::string& bytes_I) override
    {
        DWORD written = 0;
        return ::WriteFile(mFile, bytes_I.data(), static_cast<DWORD>(bytes_I.size()), &written, nullptr) &&
               written == bytes_I.size();
    }

private:
    HANDLE mFile;
};

std::u16string ToU16(const std::wstring& text_I)
{
    return std::u16string(text_I.begin(), text_I.end());
}

} // namespace

CWinUpdateNotifier::CWinUpdateNotifier() : CWinUpdateNotifier(Open()) {}

CWinUpdateNotifier::CWinUpdateNotifier(Opened opened_I)
    : CLogUpdateNotifier(std::move(opened_I.mFile), std::move(opened_I.mPath), "\r\n", ELogEncoding::eLatin1)
{
}

CWinUpdateNotifier::Opened CWinUpdateNotifier::Open()
{
    Opened opened;
    const DWORD needed = ::GetTempPathW(0, nullptr);
    if (needed == 0)
        return opened;
    std::vector<wchar_t> buffer(needed);
    const DWORD length = ::GetTempPathW(needed, buffer.data());
    if (length == 0 || length >= needed)
        return opened;
    const std::wstring directory(buffer.data(), length);

    const __time64_t now = _time64(nullptr);
    struct tm local {};
    if (_localtime64_s(&local, &now) != 0)
        return opened;
    LogTime time;
    time.mHour = local.tm_hour;
    time.mMinute = local.tm_min;
    time.mSecond = local.tm_sec;
    time.mMonth = local.tm_mon + 1;
    time.mDay = local.tm_mday;
    time.mYear = local.tm_year + 1900;
    const std::string name = MakeLogFileName(time);
    const std::wstring path = directory + std::wstring(name.begin(), name.end());

    // Appending instead of truncating: a run whose time gives the same name as an earlier
    // run's (same second, or 01:11:05 and 11:01:05) adds to that log instead of wiping it.
    const HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return opened;
    opened.mFile = std::make_unique<CWinLogFile>(file);
    opened.mPath = Utf16ToUtf8(ToU16(path));
    return opened;
}

void InstallDebuggerOutputSink()
{
    SetDiagnosticSink([](const char* text) { ::OutputDebugStringA(text); });
}
