#pragma once

#include <mutex>

// A critical section: a plain mutex under the name the rest of the code uses for it.
class CCriticalSection
{
public:
    void Enter() { mMutex.lock(); }
    void Leave() { mMutex.unlock(); }

private:
    std::mutex mMutex;
};

// Scoped lock: enters on construction, leaves on destruction.
class CriticalLock
{
public:
    explicit CriticalLock(CCriticalSection* section_I) : mSection(section_I) { mSection->Enter(); }
    virtual ~CriticalLock() { mSection->Leave(); }
    CriticalLock(const CriticalLock&) = delete;
    CriticalLock& operator=(const CriticalLock&) = delete;

private:
    CCriticalSection* mSection;
};
