#pragma once
// Runs vellum-fwupdater as a user or a script runs it: a subprocess with a clean environment,
// its own lock folder and a scratch working directory.

#include "MiniJson.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

using Strings = std::vector<std::string>;

struct ProgramRun
{
    int code = -1;
    std::string out;
    std::string err;
    JsonValue Json() const { return CMiniJsonParser::Parse(out); }
};

inline std::string Quote(const std::string& text_I)
{
    std::string quoted = "'";
    for (const char c : text_I)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

inline void ExpectHas(const std::string& text_I, const std::string& part_I)
{
    EXPECT_NE(text_I.find(part_I), std::string::npos) << "'" << part_I << "' not in:\n" << text_I;
}

// The English words a translated output must no longer hold.
inline void ExpectNone(const std::string& text_I, const Strings& words_I)
{
    for (const std::string& word : words_I)
        EXPECT_EQ(text_I.find(word), std::string::npos) << "'" << word << "' left in:\n" << text_I;
}

class CliProcess : public ::testing::Test
{
protected:
    // Simulated time runs this many times faster in the runs that wait for boards that do not
    // answer (docs/simulator.md).
    static constexpr const char* kFast = "VFWU_SIM_SPEED=25";

    // Runs the program with a clean environment (no locale variables unless given), stdin from
    // /dev/null, in a scratch working directory.
    ProgramRun Program(const Strings& arguments_I, const Strings& environment_I = {})
    {
        std::string command = "cd " + Quote(mWork.Path().string()) + " && env -i PATH=/usr/bin:/bin VFWU_LOCK_DIR=" +
                              Quote(mLocks.Path().string());
        // Appended piecewise: GCC 12 reports a false overlap for " " + std::string at -O3.
        for (const std::string& variable : environment_I)
            command.append(" ").append(Quote(variable));
        // A program that hangs (on a FIFO, say) ends as a failure (124) instead of stalling the suite.
        command.append(" timeout -k 5 120 ").append(Quote(VFWU_CLI_PATH));
        for (const std::string& argument : arguments_I)
            command.append(" ").append(Quote(argument));
        const std::string out = mWork.File("stdout.txt");
        const std::string err = mWork.File("stderr.txt");
        command += " >" + Quote(out) + " 2>" + Quote(err) + " </dev/null";
        const int status = std::system(command.c_str());
        ProgramRun run;
        run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1000;
        run.out = ReadFile(out);
        run.err = ReadFile(err);
        return run;
    }

    // globals_I + --log-dir + "update --type BOARD FILE" + after_I.
    Strings Update(const Strings& globals_I, const std::string& file_I, const Strings& after_I = {"--yes", "--json"},
                   const std::string& board_I = "pen")
    {
        Strings arguments = globals_I;
        for (const std::string& word : {std::string("--log-dir"), mLogs.Path().string(), std::string("update"),
                                        std::string("--type"), board_I, file_I})
            arguments.push_back(word);
        arguments.insert(arguments.end(), after_I.begin(), after_I.end());
        return arguments;
    }

    static std::string Scenario(const std::string& file_I)
    {
        return std::string(VFWU_SOURCE_DIR) + "/data/scenarios/" + file_I;
    }

    // Takes the lock as another copy does, writing its process id; the descriptor holds it.
    int HoldLock()
    {
        const int fd = open(LockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
        const std::string pid = std::to_string(getpid()) + "\n";
        EXPECT_EQ(write(fd, pid.data(), pid.size()), static_cast<ssize_t>(pid.size()));
        return fd;
    }
    std::string LockPath() const { return (mLocks.Path() / "VFWUMutex.lock").string(); }

    // The basic topology whose pen loader is expected with 39 blocks instead of its 40: the update
    // stops in the loader before anything is erased.
    std::string MismatchedTopology()
    {
        std::string topology = ReadFile(Scenario("basic/fw_loader.ini"));
        const std::string sectors = "\"sectors\": 40";
        EXPECT_NE(topology.find(sectors), std::string::npos);
        topology.replace(topology.find(sectors), sectors.size(), "\"sectors\": 39");
        WriteFile(mWork.File("fw_loader.ini"), topology);
        return mWork.File("fw_loader.ini");
    }

    CTempDir mWork;
    CTempDir mLocks;
    CTempDir mLogs;
};
