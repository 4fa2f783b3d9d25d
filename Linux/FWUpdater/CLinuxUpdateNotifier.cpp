#include "CLinuxUpdateNotifier.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class CPosixLogFile : public CLogFile
{
public:
    explicit CPosixLogFile(int fd_I) : mFd(fd_I) {}
    ~CPosixLogFile() override { ::close(mFd); }

    bool Write(const std::string& bytes_I) override
    {
        const char* p = bytes_I.data();
        size_t left = bytes_I.size();
        while (left > 0) {
            const ssize_t n = ::write(mFd, p, left);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            p += n;
            left -= static_cast<size_t>(n);
        }
        return true;
    }

private:
    int mFd;
};

} // namespace

std::unique_ptr<CLogFile> OpenPrivateLogFile(const std::string& path_I)
{
    // O_NOFOLLOW: a planted link in a shared directory is never followed.
    // O_NONBLOCK: a planted FIFO must not hang the open; it is refused below.
    // O_APPEND instead of truncation: a run whose time gives the same name as an earlier
    // run's (same second, or 01:11:05 and 11:01:05) adds to that log instead of wiping it.
    const int fd = ::open(path_I.c_str(),
                          O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY,
                          S_IRUSR | S_IWUSR);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || st.st_nlink != 1) {
        ::close(fd);
        return nullptr;
    }
    ::fchmod(fd, S_IRUSR | S_IWUSR);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return std::make_unique<CPosixLogFile>(fd);
}

std::string DefaultLogDirectory()
{
    const char* tmp = std::getenv("TMPDIR");
    if (tmp != nullptr && *tmp != '\0')
        return tmp;
    return "/tmp";
}

CLinuxUpdateNotifier::CLinuxUpdateNotifier(const std::string& directory_I) : CLinuxUpdateNotifier(Open(directory_I)) {}

CLinuxUpdateNotifier::CLinuxUpdateNotifier(Opened opened_I)
    : CLogUpdateNotifier(std::move(opened_I.mFile), std::move(opened_I.mPath), "\n", ELogEncoding::eUtf8)
{
}

CLinuxUpdateNotifier::Opened CLinuxUpdateNotifier::Open(const std::string& directory_I)
{
    std::string directory = directory_I.empty() ? DefaultLogDirectory() : directory_I;
    if (directory.back() != '/')
        directory.push_back('/');

    const std::time_t t = std::time(nullptr);
    std::tm local {};
    ::localtime_r(&t, &local);
    LogTime time;
    time.mHour = local.tm_hour;
    time.mMinute = local.tm_min;
    time.mSecond = local.tm_sec;
    time.mMonth = local.tm_mon + 1;
    time.mDay = local.tm_mday;
    time.mYear = local.tm_year + 1900;

    Opened opened;
    opened.mPath = directory + MakeLogFileName(time);
    opened.mFile = OpenPrivateLogFile(opened.mPath);
    return opened;
}
