#include "FWUpdater/CLinuxUpdateNotifier.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

TEST(LinuxNotifier, WritesTheNamedFileInTheGivenDirectory)
{
    CTempDir dir;
    std::string path;
    {
        CLinuxUpdateNotifier n(dir.Path().string());
        path = n.GetLogPath();
        n.Log("hello");
        n.ReportState(1);
    }
    ASSERT_EQ(path.rfind(dir.Path().string() + "/VellumFWUpdater_", 0), 0u) << path;
    EXPECT_EQ(path.substr(path.size() - 4), ".txt");
    EXPECT_EQ(ReadFile(path), "hello\n[STATE] 1\n");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(LinuxNotifier, PlantedSymbolicLinkIsNotFollowed)
{
    CTempDir dir;
    const std::string victim = dir.File("victim.txt");
    WriteFile(victim, "precious");
    const std::string log = dir.File("VellumFWUpdater_1115_3.7.2026.txt");
    ASSERT_EQ(::symlink(victim.c_str(), log.c_str()), 0);
    EXPECT_EQ(OpenPrivateLogFile(log), nullptr);
    EXPECT_EQ(ReadFile(victim), "precious");
    // A dangling link must not create its target either.
    const std::string dangling = dir.File("dangling.txt");
    ASSERT_EQ(::symlink(dir.File("created-through-link").c_str(), dangling.c_str()), 0);
    EXPECT_EQ(OpenPrivateLogFile(dangling), nullptr);
    EXPECT_FALSE(std::filesystem::exists(dir.File("created-through-link")));
}

TEST(LinuxNotifier, FifoAndHardLinkedFilesAreRefused)
{
    CTempDir dir;
    const std::string fifo = dir.File("fifo.txt");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(OpenPrivateLogFile(fifo), nullptr); // and does not block
    const std::string original = dir.File("original.txt");
    WriteFile(original, "keep");
    ASSERT_EQ(::link(original.c_str(), dir.File("second-name.txt").c_str()), 0);
    EXPECT_EQ(OpenPrivateLogFile(dir.File("second-name.txt")), nullptr);
    EXPECT_EQ(ReadFile(original), "keep");
}

TEST(LinuxNotifier, SameNameAppendsInsteadOfDestroyingTheEarlierLog)
{
    CTempDir dir;
    const std::string path = dir.File("VellumFWUpdater_1115_3.7.2026.txt");
    {
        auto file = OpenPrivateLogFile(path);
        ASSERT_NE(file, nullptr);
        CLogUpdateNotifier first(std::move(file), path, "\n", ELogEncoding::eUtf8);
        first.Log("first run");
    }
    {
        auto file = OpenPrivateLogFile(path);
        ASSERT_NE(file, nullptr);
        CLogUpdateNotifier second(std::move(file), path, "\n", ELogEncoding::eUtf8);
        second.Log("second run");
    }
    EXPECT_EQ(ReadFile(path), "first run\nsecond run\n");
}

TEST(LinuxNotifier, UnwritableDirectoryStillWorksWithoutLog)
{
    // A regular file where the directory should be: nothing can be created in it, even by root.
    CTempDir dir;
    WriteFile(dir.File("not-a-directory"), "x");
    CLinuxUpdateNotifier n(dir.File("not-a-directory"));
    n.ReportState(4);
    EXPECT_EQ(n.GetState(), 4);
    EXPECT_FALSE(n.IsLogOpen());
}

TEST(LinuxNotifier, MissingDirectoryStillWorksWithoutLog)
{
    CTempDir dir;
    CLinuxUpdateNotifier n(dir.File("does/not/exist"));
    n.Log("nowhere");
    n.ReportState(4);
    EXPECT_EQ(n.GetState(), 4);
    EXPECT_FALSE(n.IsLogOpen());
    EXPECT_EQ(n.GetLogPath(), "");
}
