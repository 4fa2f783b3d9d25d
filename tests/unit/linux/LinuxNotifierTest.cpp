#include "FWUpdater/CDiscovery.h"
#include "FWUpdater/CLinuxUpdateNotifier.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

TEST(LinuxNotifier, WritesTheNamedFileInTheGivenDirectoryOrNone)
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
    // A second run in the same second appends instead of destroying the earlier log.
    {
        CLogUpdateNotifier second(OpenPrivateLogFile(path), path, "\n", ELogEncoding::eUtf8);
        second.Log("second run");
    }
    EXPECT_EQ(ReadFile(path), "hello\n[STATE] 1\nsecond run\n");
    // A regular file where the directory should be: nothing can be created in it, even by root; all
    // but the log works.
    CLinuxUpdateNotifier nowhere(path);
    nowhere.Log("nowhere");
    nowhere.ReportState(4);
    EXPECT_TRUE(nowhere.GetState() == 4 && !nowhere.IsLogOpen() && nowhere.GetLogPath().empty());
}

// A planted symbolic link (also a dangling one), a FIFO or a second name of another file in the
// shared temporary directory: refused without following, creating, blocking or writing.
TEST(LinuxNotifier, PlantedFilesAreRefused)
{
    CTempDir dir;
    WriteFile(dir.File("victim.txt"), "precious");
    ASSERT_EQ(::symlink(dir.File("victim.txt").c_str(), dir.File("link.txt").c_str()), 0);
    ASSERT_EQ(::symlink(dir.File("created-through-link").c_str(), dir.File("dangling.txt").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.File("fifo.txt").c_str(), 0600), 0);
    ASSERT_EQ(::link(dir.File("victim.txt").c_str(), dir.File("second-name.txt").c_str()), 0);
    for (const char* name : {"link.txt", "dangling.txt", "fifo.txt", "second-name.txt"})
        EXPECT_EQ(OpenPrivateLogFile(dir.File(name)), nullptr) << name;
    EXPECT_EQ(ReadFile(dir.File("victim.txt")), "precious");
    EXPECT_FALSE(std::filesystem::exists(dir.File("created-through-link")));
}

// cmake --install with the prefix /usr, as a package does: each file lands where the program,
// man, bash-completion and udev look for it, and the rules carry the build's vendor id.
TEST(Install, EachFileWhereItsReaderLooks)
{
    CTempDir dest;
    const std::string command = "DESTDIR='" + dest.Path().string() + "' '" + VFWU_CMAKE_COMMAND + "' --install '" +
                                VFWU_BINARY_DIR + "' --prefix /usr --component Unspecified >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    // The program looks in bin/../share/vellum-fwupdater for scenarios/.
    for (const char* path : {"usr/bin/vellum-fwupdater", "usr/share/vellum-fwupdater/scenarios/basic/fw_loader.ini",
                             "usr/share/man/man1/vellum-fwupdater.1",
                             "usr/share/bash-completion/completions/vellum-fwupdater"})
        EXPECT_TRUE(std::filesystem::exists(dest.Path() / path)) << path;

    char vid[8];
    std::snprintf(vid, sizeof vid, "%04x", static_cast<unsigned>(DefaultVendorId() & 0xFFFF));
    const std::string rules = ReadFile((dest.Path() / "etc/udev/rules.d/70-vellum-fwupdater.rules").string());
    EXPECT_NE(rules.find(std::string("ATTR{idVendor}==\"") + vid + "\""), std::string::npos) << rules;
}
