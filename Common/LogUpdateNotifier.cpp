#include "LogUpdateNotifier.h"

#include "StringUtils.h"

std::string MakeLogFileName(const LogTime& time_I)
{
    return "VellumFWUpdater_" + std::to_string(time_I.mHour) + std::to_string(time_I.mMinute) +
           std::to_string(time_I.mSecond) + "_" + std::to_string(time_I.mMonth) + "." +
           std::to_string(time_I.mDay) + "." + std::to_string(time_I.mYear) + ".txt";
}

CLogUpdateNotifier::CLogUpdateNotifier(std::unique_ptr<CLogFile> file_I, std::string path_I,
                                       std::string endOfLine_I, ELogEncoding encoding_I)
    : mFile(std::move(file_I)),
      mFailed(mFile == nullptr),
      mLogPath(mFile ? std::move(path_I) : std::string()),
      mEndOfLine(std::move(endOfLine_I)),
      mEncoding(encoding_I)
{
}

CLogUpdateNotifier::~CLogUpdateNotifier() = default;

void CLogUpdateNotifier::AppendEncoded(const std::u16string& text_I, std::string& bytes_IO) const
{
    if (mEncoding == ELogEncoding::eUtf8) {
        bytes_IO += Utf16ToUtf8(text_I);
        return;
    }
    for (char16_t c : text_I)
        bytes_IO.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
}

void CLogUpdateNotifier::WriteLine(const std::u16string& line_I)
{
    CriticalLock lock(&mWriteLock);
    if (mFailed)
        return;
    // A message may hold lines of its own (a device description, a line ending in "\n"): each of
    // its line ends, LF or CR LF, and the report's own end become the file's end of line, so
    // every line of the file ends alike (no bare LF and no CR CR LF in a CR LF file).
    std::string bytes;
    std::size_t start = 0;
    for (;;) {
        const std::size_t feed = line_I.find(u'\n', start);
        std::size_t end = feed == std::u16string::npos ? line_I.size() : feed;
        if (end > start && line_I[end - 1] == u'\r')
            --end;
        AppendEncoded(line_I.substr(start, end - start), bytes);
        bytes += mEndOfLine;
        if (feed == std::u16string::npos)
            break;
        start = feed + 1;
    }
    if (!mFile->Write(bytes))
        mFailed = true; // like a stream in its failed state: later writes are skipped
}

void CLogUpdateNotifier::Log(const std::string& message_I)
{
    WriteLine(Utf8ToUtf16(message_I));
}

void CLogUpdateNotifier::ReportError(std::int32_t code_I, const std::string& message_I)
{
    CriticalLock lock(&mErrorLock);
    WriteLine(u"[ERROR] " + Utf8ToUtf16(message_I) + u" (" + Utf8ToUtf16(std::to_string(code_I)) + u")");
    mLastErrorCode = code_I;
    mLastErrorMessage = message_I;
}

void CLogUpdateNotifier::ReportState(std::int32_t state_I)
{
    CriticalLock lock(&mStateLock);
    WriteLine(u"[STATE] " + Utf8ToUtf16(std::to_string(state_I)));
    mState = state_I;
}

void CLogUpdateNotifier::ReportProgress(std::int32_t percent_I)
{
    mProgressLock.Enter();
    mProgress = percent_I;
    mProgressLock.Leave();
}

std::int32_t CLogUpdateNotifier::GetState()
{
    CriticalLock lock(&mStateLock);
    return mState;
}

std::int32_t CLogUpdateNotifier::GetProgress()
{
    mProgressLock.Enter();
    const std::int32_t value = mProgress;
    mProgressLock.Leave();
    return value;
}

std::int32_t CLogUpdateNotifier::GetLastErrorCode()
{
    CriticalLock lock(&mErrorLock);
    return mLastErrorCode;
}

std::string CLogUpdateNotifier::GetLastErrorMessage()
{
    CriticalLock lock(&mErrorLock);
    return mLastErrorMessage;
}

bool CLogUpdateNotifier::IsLogOpen()
{
    CriticalLock lock(&mWriteLock);
    return !mFailed;
}
