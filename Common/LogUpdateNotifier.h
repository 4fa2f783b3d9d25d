#pragma once
// The notifier that writes the log file and keeps the latest state, progress and error for the
// dialog to poll. Everything but creating the file lives here, shared by the platform notifiers
// (CWinUpdateNotifier, CLinuxUpdateNotifier), which only find the directory and open the file.

#include "CriticalLock.h"
#include "UpdateNotifier.h"

#include <cstdint>
#include <memory>
#include <string>

// Where the finished lines go. Write gets one whole line, end-of-line included, and reports
// whether all of it was stored.
class CLogFile
{
public:
    virtual ~CLogFile() = default;
    virtual bool Write(const std::string& bytes_I) = 0;
};

struct LogTime
{
    int mHour = 0;   // 0-23
    int mMinute = 0; // 0-59
    int mSecond = 0; // 0-59
    int mMonth = 1;  // 1-12
    int mDay = 1;    // 1-31
    int mYear = 1970;
};

// "VellumFWUpdater_" + hour minute second (run together, unpadded) + "_" + month "." day "."
// year + ".txt", e.g. VellumFWUpdater_953_3.7.2026.txt at 09:05:03 on 7 March 2026.
std::string MakeLogFileName(const LogTime& time_I);

// How a line's UTF-16 characters become bytes in the file.
enum class ELogEncoding
{
    eLatin1, // one byte per character; characters above U+00FF are written as '?'
    eUtf8,
};

class CLogUpdateNotifier : public CUpdateNotifier
{
public:
    // file_I may be null: no log is written and everything else works as usual.
    CLogUpdateNotifier(std::unique_ptr<CLogFile> file_I, std::string path_I, std::string endOfLine_I,
                       ELogEncoding encoding_I);
    ~CLogUpdateNotifier() override;

    void Log(const std::string& message_I) override;
    void ReportError(std::int32_t code_I, const std::string& message_I) override;
    void ReportState(std::int32_t state_I) override;
    void ReportProgress(std::int32_t percent_I) override;

    std::int32_t GetState();
    std::int32_t GetProgress();
    std::int32_t GetLastErrorCode();
    std::string GetLastErrorMessage();

    // Full path of the log file, empty when none could be opened.
    const std::string& GetLogPath() const { return mLogPath; }
    bool IsLogOpen();

private:
    // Writes one report; its own line ends become the file's.
    void WriteLine(const std::u16string& line_I);
    void AppendEncoded(const std::u16string& text_I, std::string& bytes_IO) const;

    std::int32_t mLastErrorCode = 0;
    std::string mLastErrorMessage;
    std::int32_t mState = 0;
    std::int32_t mProgress = 0;
    CCriticalSection mErrorLock;
    CCriticalSection mStateLock;
    CCriticalSection mProgressLock;

    // Serializes whole lines from both threads; Log takes none of the three value locks.
    CCriticalSection mWriteLock;
    std::unique_ptr<CLogFile> mFile;
    bool mFailed = false;
    std::string mLogPath;
    std::string mEndOfLine;
    ELogEncoding mEncoding;
};
