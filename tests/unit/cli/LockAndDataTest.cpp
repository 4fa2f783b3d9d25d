// The single-instance lock, where the simulated scenarios are found, and their faster time.

#include "FWUpdater/CFastSimClock.h"
#include "FWUpdater/CSingleInstanceLock.h"
#include "FWUpdater/DataDirectory.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Sets an environment variable for a scope and restores it after.
class CScopedVariable
{
public:
    explicit CScopedVariable(const char* name_I) : mName(name_I), mSaved(std::getenv(name_I) ? std::getenv(name_I) : "")
    {
        mHadValue = std::getenv(name_I) != nullptr;
    }
    ~CScopedVariable() { mHadValue ? setenv(mName, mSaved.c_str(), 1) : unsetenv(mName); }

private:
    const char* mName;
    std::string mSaved;
    bool mHadValue = false;
};

} // namespace

TEST(SingleInstanceLock, OneHolderAtATime)
{
    CTempDir dir;
    const std::string folder = dir.File("run/vfwu"); // created on demand, one level
    std::filesystem::create_directory(dir.File("run"));
    std::string error;
    CSingleInstanceLock first;
    ASSERT_EQ(first.Acquire(folder, error), CSingleInstanceLock::EResult::eAcquired) << error;
    EXPECT_TRUE(first.Held());
    struct stat info {};
    ASSERT_EQ(stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    // flock belongs to the open file: a second open in the same process is a second copy, and
    // learns who holds it and where.
    CSingleInstanceLock second;
    EXPECT_EQ(second.Acquire(folder, error), CSingleInstanceLock::EResult::eHeldByOther);
    EXPECT_FALSE(second.Held());
    EXPECT_EQ(second.HolderProcessId(), static_cast<long>(getpid()));
    EXPECT_EQ(second.Path(), folder + "/VFWUMutex.lock");
    first.Release();
    EXPECT_EQ(second.Acquire(folder, error), CSingleInstanceLock::EResult::eAcquired) << error;

    // A link planted in place of the lock file is refused, and its target left alone.
    WriteFile(dir.File("victim"), "keep me");
    std::filesystem::create_symlink(dir.File("victim"), dir.File("VFWUMutex.lock"));
    CSingleInstanceLock planted;
    EXPECT_EQ(planted.Acquire(dir.Path().string(), error), CSingleInstanceLock::EResult::eUnavailable);
    EXPECT_NE(error.find("VFWUMutex.lock"), std::string::npos);
    EXPECT_EQ(ReadFile(dir.File("victim")), "keep me");
    EXPECT_EQ(planted.Acquire(dir.File("victim"), error), CSingleInstanceLock::EResult::eUnavailable); // not a folder
}

TEST(DataDirectory, EnvironmentThenTheSourceTree)
{
    EXPECT_EQ(DirectoryOf("a/b/fw_loader.ini"), "a/b");
    EXPECT_EQ(DirectoryOf("fw_loader.ini"), ".");
    EXPECT_EQ(DirectoryOf("/fw_loader.ini"), "/");
    CScopedVariable restore("VFWU_DATA_DIR");
    CTempDir dir;
    std::filesystem::create_directory(dir.File("scenarios"));
    setenv("VFWU_DATA_DIR", dir.Path().c_str(), 1);
    EXPECT_EQ(FindDataDirectory(), dir.Path().string());
    // Named but without scenarios: an error, not a silent fallback to another copy.
    setenv("VFWU_DATA_DIR", dir.File("scenarios").c_str(), 1);
    EXPECT_EQ(FindDataDirectory(), "");
    unsetenv("VFWU_DATA_DIR");
    // The test program is no installed copy: the source tree's data/ is found.
    EXPECT_EQ(std::filesystem::canonical(FindDataDirectory()), std::filesystem::canonical(std::string(VFWU_SOURCE_DIR) + "/data"));
}

// Scaled time keeps the clock's promises: a sleep lasts at least its time, an event never runs
// before its time, and both take a twentieth of it in real time (bounded generously).
TEST(FastSimClock, SleepsAndEventsKeepTheirOrderInScaledTime)
{
    std::atomic<CClock::TimePoint> ranAt {0}; // outlives the clock's timer thread
    CFastSimClock clock(20);
    const auto realStart = std::chrono::steady_clock::now();
    const CClock::TimePoint due = clock.now() + 1000;
    clock.schedule(due, [&] { ranAt = clock.now(); });
    const CClock::TimePoint before = clock.now();
    clock.sleep(600);
    EXPECT_GE(clock.now(), before + 600);
    while (ranAt.load() == 0 && std::chrono::steady_clock::now() - realStart < std::chrono::seconds(10))
        clock.sleep(100);
    EXPECT_GE(ranAt.load(), due);
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::seconds(10));
}
