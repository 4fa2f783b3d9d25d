#pragma once
// The log-file notifier on Windows: the log goes to the user's temporary directory.

#include "LogUpdateNotifier.h"

#include <memory>
#include <string>

class CWinUpdateNotifier : public CLogUpdateNotifier
{
public:
    CWinUpdateNotifier();

private:
    struct Opened
    {
        std::unique_ptr<CLogFile> mFile;
        std::string mPath;
    };
    explicit CWinUpdateNotifier(Opened opened_I);
    static Opened Open();
};

// Sends assertion and diagnostic lines to the debugger output (OutputDebugStringA).
void InstallDebuggerOutputSink();
