#pragma once
// One running copy at a time: an exclusive flock on a file named after the Windows program's
// mutex ("VFWUMutex") in the user's runtime directory, held for the life of the object. The
// kernel drops the lock when the process ends, however it ends, so a crash leaves nothing stale.
// The holder writes its process id into the file, so that a refused copy can say which process
// holds the lock.

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
    // The lock file, also after eHeldByOther.
    const std::string& Path() const { return mPath; }
    // After eHeldByOther: the process id the holder wrote, 0 when unknown (a holder that has
    // not written it yet, or an older copy that did not).
    long HolderProcessId() const { return mHolder; }

    // $VFWU_LOCK_DIR, else $XDG_RUNTIME_DIR, else /tmp/vfwu-<uid>.
    static std::string DefaultLockDirectory();
    static constexpr const char* kFileName = "VFWUMutex.lock";

private:
    int mFd = -1;
    std::string mPath;
    long mHolder = 0;
};
