#pragma once
// The log-file notifier on Linux: the log goes to the temporary directory ($TMPDIR, else /tmp)
// or a directory the user names, under the same name as on Windows.

#include "LogUpdateNotifier.h"

#include <memory>
#include <string>

// Opens (creating if needed) the log file at path_I for appending, refusing anything that is
// not a plain file of our own: a symbolic link, a FIFO, a device, a file of another user or a
// file with further hard links. New files get owner-only permissions. Null on refusal.
std::unique_ptr<CLogFile> OpenPrivateLogFile(const std::string& path_I);

// The directory the log goes to when none is named.
std::string DefaultLogDirectory();

class CLinuxUpdateNotifier : public CLogUpdateNotifier
{
public:
    // An empty directory means DefaultLogDirectory().
    explicit CLinuxUpdateNotifier(const std::string& directory_I = std::string());

private:
    struct Opened
    {
        std::unique_ptr<CLogFile> mFile;
        std::string mPath;
    };
    explicit CLinuxUpdateNotifier(Opened opened_I);
    static Opened Open(const std::string& directory_I);
};
