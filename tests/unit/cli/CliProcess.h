#pragma once
// Runs vellum-fwupdater as a user or a script runs it: a subprocess with a clean environment,
// its own lock folder and a scratch working directory.

#include "Settings/SettingsParser.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

using Strings = std::vector<std::string>;

// A value of the --json output as the settings reader (not the program's writer) reads it.
struct JsonValue
{
    CSettingsObjectPtr value;

    JsonValue operator[](const std::string& key_I) const
    {
        const auto map = AsMap(value);
        const auto it = map ? map->Entries().find(key_I) : CSettingsMap::ObjectMap::const_iterator();
        return map && it != map->Entries().end() ? JsonValue{it->second} : JsonValue{};
    }
    JsonValue operator[](std::size_t index_I) const { return index_I < Items().size() ? Items()[index_I] : JsonValue{}; }
    std::vector<JsonValue> Items() const
    {
        std::vector<JsonValue> items;
        if (const auto array = AsArray(value))
            for (const CSettingsObjectPtr& item : array->Elements())
                items.push_back({item});
        return items;
    }
    std::string Type() const { return value ? value->GetTypeName() : "absent"; }
    std::string Text() const { return Type() == "string" ? std::static_pointer_cast<CSettingsString>(value)->GetValue() : "?"; }
    std::int64_t Number() const { return Type() == "integer" ? std::static_pointer_cast<CSettingsInteger>(value)->GetValue() : -1; }
};

// Strictly one object: no stray byte (the reader reports and skips those), nothing after it.
inline JsonValue ParseJson(const std::string& text_I)
{
    CDiagnosticCapture strays;
    std::size_t pos = text_I.find_first_not_of(" \t\r\n");
    if (pos == std::string::npos || text_I[pos] != '{' || text_I[text_I.find_last_not_of(" \t\r\n")] != '}')
        return {};
    const CSettingsObjectPtr map = ParseMap(text_I, pos);
    const bool clean = strays.Lines().empty() && text_I.find_first_not_of(" \t\r\n", pos) == std::string::npos;
    return clean ? JsonValue{map} : JsonValue{};
}

struct ProgramRun
{
    int code = -1;
    std::string out;
    std::string err;
    JsonValue Json() const { return ParseJson(out); }
};

// Stdout in a file, stderr on a pipe (err: the read end).
struct Child
{
    pid_t pid = -1;
    int err = -1;
};

// In work_I, no locale variables unless given, stdin /dev/null; ended by timeout (124) unless
// direct_I; pendingInterrupt_I: SIGINT blocked and raised before exec, pending for the program.
inline Child StartProgram(const Strings& arguments_I, const Strings& environment_I, const std::string& work_I,
                          const std::string& outFile_I, bool direct_I = false, bool pendingInterrupt_I = false)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return {};
    Strings argv = direct_I ? Strings{} : Strings{"/usr/bin/timeout", "-k", "5", "120"};
    argv.push_back(VFWU_CLI_PATH);
    argv.insert(argv.end(), arguments_I.begin(), arguments_I.end());
    Strings env = {"PATH=/usr/bin:/bin"};
    env.insert(env.end(), environment_I.begin(), environment_I.end());
    const auto pointers = [](const Strings& strings_I) {
        std::vector<char*> pointers;
        for (const std::string& s : strings_I)
            pointers.push_back(const_cast<char*>(s.c_str()));
        pointers.push_back(nullptr);
        return pointers;
    };
    std::vector<char*> args = pointers(argv);
    std::vector<char*> envp = pointers(env);
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

// Reads stderr into seen_IO until it holds text_I (true) or ends (false).
inline bool ReadUntil(int fd_I, const std::string& text_I, std::string& seen_IO)
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

// Reads the rest of stderr and waits for the child: its exit code, or 1000 + the signal.
inline int Finish(const Child& child_I, std::string& err_IO)
{
    ReadUntil(child_I.err, std::string(1, '\0'), err_IO);
    close(child_I.err);
    int status = 0;
    waitpid(child_I.pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

inline void ExpectHas(const std::string& text_I, const std::string& part_I)
{
    EXPECT_NE(text_I.find(part_I), std::string::npos) << "'" << part_I << "' not in:\n" << text_I;
}

// Columns as a terminal shows them: three-byte characters (kana, kanji, hangul) take two.
inline std::size_t ShownColumns(const std::string& line_I)
{
    std::size_t columns = 0;
    for (const char c : line_I)
        columns += (c & 0xC0) == 0x80 ? 0 : (c & 0xF0) == 0xE0 ? 2 : 1;
    return columns;
}

inline Strings With(Strings words_I, const Strings& more_I)
{
    words_I.insert(words_I.end(), more_I.begin(), more_I.end());
    return words_I;
}

class CliProcess : public ::testing::Test
{
protected:
    // Simulated time ten times faster, for runs that wait for silent boards or are long.
    static constexpr const char* kFast = "VFWU_SIM_SPEED=10";

    ProgramRun Program(const Strings& arguments_I, Strings environment_I = {})
    {
        environment_I.push_back("VFWU_LOCK_DIR=" + mLocks.Path().string());
        ProgramRun run;
        run.code = Finish(StartProgram(arguments_I, environment_I, mWork.Path().string(), mWork.File("stdout.txt")), run.err);
        run.out = ReadFile(mWork.File("stdout.txt"));
        return run;
    }

    // globals_I + --log-dir + "update --type BOARD FILE" + after_I.
    Strings Update(const Strings& globals_I, const std::string& file_I, const Strings& after_I = {"--yes", "--json"},
                   const std::string& board_I = "pen")
    {
        return With(With(globals_I, {"--log-dir", mLogs.Path().string(), "update", "--type", board_I, file_I}), after_I);
    }

    // The tablets "list --json" finds with globals_I.
    JsonValue Devices(const Strings& globals_I) { return Program(With(globals_I, {"list", "--json"})).Json()["devices"]; }

    static std::string Scenario(const std::string& file_I)
    {
        return std::string(VFWU_SOURCE_DIR) + "/data/scenarios/" + file_I;
    }

    // The basic topology expecting 39 pen blocks of 40: the update stops before anything is erased.
    std::string MismatchedTopology()
    {
        std::string topology = ReadFile(Scenario("basic/fw_loader.ini"));
        const std::size_t at = topology.find("\"sectors\": 40");
        EXPECT_NE(at, std::string::npos);
        WriteFile(mWork.File("fw_loader.ini"), topology.replace(at, 13, "\"sectors\": 39"));
        return mWork.File("fw_loader.ini");
    }

    CTempDir mWork;
    CTempDir mLocks;
    CTempDir mLogs;
};
