#pragma once
// Runs vellum-fwupdater as a user or a script runs it: a subprocess with a clean environment,
// its own lock folder and a scratch working directory.

#include "MiniJson.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

struct ProgramRun
{
    int code = -1;
    std::string out;
    std::string err;
};

inline std::string Quote(const std::string& text_I)
{
    std::string quoted = "'";
    for (const char c : text_I)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

class CliProcess : public ::testing::Test
{
protected:
    // Runs the program with a clean environment (no locale variables unless given), stdin from
    // /dev/null, in a scratch working directory.
    ProgramRun Program(const std::vector<std::string>& arguments_I, const std::vector<std::string>& environment_I = {})
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

    static std::string Scenario(const std::string& file_I)
    {
        return std::string(VFWU_SOURCE_DIR) + "/data/scenarios/" + file_I;
    }

    // The unattended form's -path value for the basic tablet's pen board: its interface path
    // as list shows it, without "\\?\" and with "&" written as "+".
    std::string InstallerPath()
    {
        const ProgramRun list = Program({"--simulate", "list", "--json"});
        std::string path = CMiniJsonParser::Parse(list.out)["devices"][0]["boards"]["pen"]["path"].text;
        EXPECT_EQ(path.rfind("\\\\?\\", 0), 0u);
        path.erase(0, 4);
        for (char& c : path)
            c = c == '&' ? '+' : c;
        return path;
    }

    CTempDir mWork;
    CTempDir mLocks;
    CTempDir mLogs;
};

