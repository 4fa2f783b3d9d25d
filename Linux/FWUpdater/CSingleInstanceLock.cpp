#include "FWUpdater/CSingleInstanceLock.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

CSingleInstanceLock::~CSingleInstanceLock()
{
    Release();
}

std::string CSingleInstanceLock::DefaultLockDirectory()
{
    for (const char* name : {"VFWU_LOCK_DIR", "XDG_RUNTIME_DIR"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0')
            return value;
    }
    return "/tmp/vfwu-" + std::to_string(static_cast<unsigned long>(getuid()));
}

CSingleInstanceLock::EResult CSingleInstanceLock::Acquire(const std::string& directory_I, std::string& error_O)
{
    Release();
    mPath.clear();
    mHolder = 0;
    const std::string directory = directory_I.empty() ? DefaultLockDirectory() : directory_I;
    if (mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
        error_O = "cannot create " + directory + ": " + std::strerror(errno);
        return EResult::eUnavailable;
    }
    // In a shared directory such as /tmp another user could have planted the folder: a lock in
    // it would be theirs to hold or remove.
    struct stat info {};
    if (lstat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid()) {
        error_O = directory + " is not a directory of this user";
        return EResult::eUnavailable;
    }
    const std::string path = directory + "/" + kFileName;
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        error_O = "cannot open " + path + ": " + std::strerror(errno);
        return EResult::eUnavailable;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK) {
            char text[32] = {};
            const ssize_t n = pread(fd, text, sizeof text - 1, 0);
            if (n > 0)
                mHolder = std::strtol(text, nullptr, 10);
            close(fd);
            mPath = path;
            return EResult::eHeldByOther;
        }
        close(fd);
        error_O = "cannot lock " + path + ": " + std::strerror(error);
        return EResult::eUnavailable;
    }
    // Our process id for a copy that is refused; the lock does not depend on it.
    const std::string pid = std::to_string(static_cast<long>(getpid())) + "\n";
    if (ftruncate(fd, 0) == 0 && pwrite(fd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size()))
        mHolder = 0; // a refused copy then says the id is unknown
    mFd = fd;
    mPath = path;
    return EResult::eAcquired;
}

void CSingleInstanceLock::Release()
{
    if (mFd >= 0) {
        close(mFd);
        mFd = -1;
    }
}
