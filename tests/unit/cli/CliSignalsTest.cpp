// Ctrl-C during an update: before the board is switched to its loader it cancels (exit 2, the
// board untouched); once the switch has begun it is held off and the update finishes.
// Deterministic without timing: the first starts the program with SIGINT already pending behind
// a blocked mask; the second sends it once the program has said on stderr that the board is on
// its way into the loader.

#include "CliProcess.h"

#include <signal.h>

namespace {

struct Child
{
    pid_t pid = -1;
    int err = -1; // read end of the child's stderr
};

// Starts the program in work_I with stdout to outFile_I and stderr on a pipe. pendingInterrupt_I:
// SIGINT is blocked and raised before the program starts, so it waits for the program.
Child Start(const Strings& arguments_I, const std::string& work_I, const std::string& locks_I,
            const std::string& outFile_I, bool pendingInterrupt_I)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return {};
    Strings argv = {VFWU_CLI_PATH};
    argv.insert(argv.end(), arguments_I.begin(), arguments_I.end());
    const Strings env = {"PATH=/usr/bin:/bin", "VFWU_LOCK_DIR=" + locks_I};
    std::vector<char*> args;
    std::vector<char*> envp;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    for (const std::string& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    args.push_back(nullptr);
    envp.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
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

// Reads the child's stderr until it holds text_I (true) or ends (false), into seen_IO.
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

TEST_F(CliProcess, CtrlCBeforeTheSwitchCancelsAndOnceItHasBegunIsHeldOff)
{
    const std::string state = mWork.File("tablets.state");
    const std::string out = mWork.File("out.json");
    const Child cancelled = Start(Update({"--simulate", "--sim-state", state}, Scenario("basic/basic.pen")),
                                  mWork.Path().string(), mLocks.Path().string(), out, true);
    ASSERT_GT(cancelled.pid, 0);
    std::string err;
    EXPECT_EQ(Finish(cancelled, err), 2) << err;
    ExpectHas(err, "Update cancelled.\n");
    EXPECT_EQ(err.find("must not be interrupted"), std::string::npos) << err;
    EXPECT_EQ(CMiniJsonParser::Parse(ReadFile(out))["error"].text, "cancelled");
    // The board never left its firmware.
    const JsonValue device = Program({"--simulate", "--sim-state", state, "list", "--json"}).Json()["devices"][0];
    EXPECT_EQ(device["mode"].text, "NORMAL");
    EXPECT_EQ(device["boards"]["pen"]["version"].text, "1.05");

    const Child held = Start(Update({"--simulate"}, Scenario("basic/basic.pen")), mWork.Path().string(),
                             mLocks.Path().string(), out, false);
    ASSERT_GT(held.pid, 0);
    err.clear();
    // The model shows this state once the worker is switching the board.
    ASSERT_TRUE(ReadUntil(held.err, "Waiting for Loader Mode", err)) << err;
    kill(held.pid, SIGINT);
    EXPECT_EQ(Finish(held, err), 0) << err;
    ExpectHas(err, "vellum-fwupdater: the board is being ");
    ExpectHas(err, " and must not be interrupted; please wait.\n");
    EXPECT_EQ(CMiniJsonParser::Parse(ReadFile(out))["versionAfter"].text, "1.10");
}
