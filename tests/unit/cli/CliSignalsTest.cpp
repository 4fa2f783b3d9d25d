// Ctrl-C during an update: before the board is switched to its loader it cancels (exit 2, the
// board untouched); once the switch has begun it is held off and the update finishes.
//
// Both cases are made deterministic without any timing: the first by starting the program with
// SIGINT already pending behind a blocked mask (it arrives the moment the program can see it,
// before anything is touched); the second by sending it only after the program has said on
// stderr that the board is on its way into the loader.

#include "CliProcess.h"
#include "MiniJson.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Child
{
    pid_t pid = -1;
    int err = -1; // read end of the child's stderr
};

// Starts the program in work_I with stdout to outFile_I and stderr on a pipe. pendingInterrupt_I:
// SIGINT is blocked and raised before the program starts, so it waits for the program.
Child Start(const std::vector<std::string>& arguments_I, const std::string& work_I, const std::string& locks_I,
            const std::string& outFile_I, bool pendingInterrupt_I)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return {};
    std::vector<std::string> argv = {VFWU_CLI_PATH};
    argv.insert(argv.end(), arguments_I.begin(), arguments_I.end());
    const std::vector<std::string> env = {"PATH=/usr/bin:/bin", "VFWU_LOCK_DIR=" + locks_I};
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        std::vector<char*> envp;
        for (const std::string& e : env)
            envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outFile_I.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || chdir(work_I.c_str()) != 0)
            _exit(120);
        dup2(in, 0);
        dup2(out, 1);
        dup2(pipeFds[1], 2);
        close(pipeFds[0]);
        if (pendingInterrupt_I) {
            sigset_t set;
            sigemptyset(&set);
            sigaddset(&set, SIGINT);
            sigprocmask(SIG_BLOCK, &set, nullptr);
            raise(SIGINT);
        }
        execve(args[0], args.data(), envp.data());
        _exit(121);
    }
    close(pipeFds[1]);
    return {pid, pipeFds[0]};
}

// Reads the child's stderr until it holds text_I (true) or ends (false); the text read so far is
// kept in seen_IO.
bool ReadUntil(int fd_I, const std::string& text_I, std::string& seen_IO)
{
    char buffer[4096];
    while (seen_IO.find(text_I) == std::string::npos) {
        const ssize_t n = read(fd_I, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        seen_IO.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
}

int Finish(const Child& child_I, std::string& err_IO)
{
    ReadUntil(child_I.err, std::string(1, '\0'), err_IO); // to the end
    close(child_I.err);
    int status = 0;
    waitpid(child_I.pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

} // namespace

TEST_F(CliProcess, CtrlCBeforeTheSwitchCancelsAndLeavesTheBoardAlone)
{
    const std::string state = mWork.File("tablets.state");
    const std::string out = mWork.File("out.json");
    const Child child = Start({"--simulate", "--sim-state", state, "--log-dir", mLogs.Path().string(), "update", "--type",
                               "pen", Scenario("basic/basic.pen"), "--yes", "--json"},
                              mWork.Path().string(), mLocks.Path().string(), out, true);
    ASSERT_GT(child.pid, 0);
    std::string err;
    EXPECT_EQ(Finish(child, err), 2) << err;
    EXPECT_NE(err.find("Update cancelled.\n"), std::string::npos) << err;
    EXPECT_EQ(err.find("must not be interrupted"), std::string::npos) << err;
    const JsonValue doc = CMiniJsonParser::Parse(ReadFile(out));
    EXPECT_EQ(doc["result"].text, "failure");
    EXPECT_EQ(doc["error"].text, "cancelled");
    // The board never left its firmware.
    const ProgramRun list = Program({"--simulate", "--sim-state", state, "list", "--json"});
    const JsonValue device = CMiniJsonParser::Parse(list.out)["devices"][0];
    EXPECT_EQ(device["mode"].text, "NORMAL");
    EXPECT_EQ(device["boards"]["pen"]["version"].text, "1.05");
}

TEST_F(CliProcess, CtrlCOnceTheSwitchHasBegunIsHeldOff)
{
    const std::string out = mWork.File("out.json");
    const Child child = Start({"--simulate", "--log-dir", mLogs.Path().string(), "update", "--type", "pen",
                               Scenario("basic/basic.pen"), "--yes", "--json"},
                              mWork.Path().string(), mLocks.Path().string(), out, false);
    ASSERT_GT(child.pid, 0);
    std::string err;
    // The model shows this state once the worker is switching the board (not a terminal: one
    // plain line per state).
    ASSERT_TRUE(ReadUntil(child.err, "Waiting for Loader Mode", err)) << err;
    kill(child.pid, SIGINT);
    EXPECT_EQ(Finish(child, err), 0) << err;
    EXPECT_NE(err.find("vellum-fwupdater: the board is being "), std::string::npos) << err;
    EXPECT_NE(err.find(" and must not be interrupted; please wait.\n"), std::string::npos) << err;
    EXPECT_EQ(CMiniJsonParser::Parse(ReadFile(out))["versionAfter"].text, "1.10");
}
