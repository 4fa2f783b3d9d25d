#pragma once
// One running copy at a time: an exclusive flock on a file named after the Windows program's
// mutex ("VFWUMutex") in the user's runtime directory, held for the life of the object. The
// kernel drops the lock when the process ends, however it ends, so a crash leaves nothing stale.

#include <string>

class CSingleInstanceLock
{
public:
    enum class EResult
    {
        eAcquired,
        eHeldByOther, // another copy runs
        eUnavailable, // the lock file could not be created or locked
    };

    CSingleInstanceLock() = default;
    ~CSingleInstanceLock();
    CSingleInstanceLock(const CSingleInstanceLock&) = delete;
    CSingleInstanceLock& operator=(const CSingleInstanceLock&) = delete;

    // Takes the lock in directory_I (created owner-only if missing); empty means
    // DefaultLockDirectory(). error_O says why on eUnavailable.
    EResult Acquire(const std::string& directory_I, std::string& error_O);
    void Release();
    bool Held() const { return mFd >= 0; }
    const std::string& Path() const { return mPath; }

    // $VFWU_LOCK_DIR, else $XDG_RUNTIME_DIR, else /tmp/vfwu-<uid>.
    static std::string DefaultLockDirectory();
    static constexpr const char* kFileName = "VFWUMutex.lock";

private:
    int mFd = -1;
    std::string mPath;
};
