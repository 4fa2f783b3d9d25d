// Ctrl-C during an update: before the board is switched to its loader it cancels (exit 2, the
// board untouched); once the switch has begun it is held off and the update finishes.
// Deterministic without timing: the first starts the program with SIGINT already pending behind
// a blocked mask; the second sends it once the program has said on stderr that the board is on
// its way into the loader.

#include "CliProcess.h"

TEST_F(CliProcess, CtrlCBeforeTheSwitchCancelsAndOnceItHasBegunIsHeldOff)
{
    const std::string state = mWork.File("tablets.state");
    const std::string out = mWork.File("out.json");
    const Strings locks = {"VFWU_LOCK_DIR=" + mLocks.Path().string()};
    const Child cancelled = StartProgram(Update({"--simulate", "--sim-state", state}, Scenario("basic/basic.pen")), locks,
                                         mWork.Path().string(), out, true, true);
    ASSERT_GT(cancelled.pid, 0);
    std::string err;
    EXPECT_EQ(Finish(cancelled, err), 2) << err;
    ExpectHas(err, "Update cancelled.\n");
    EXPECT_EQ(err.find("must not be interrupted"), std::string::npos) << err;
    EXPECT_EQ(ParseJson(ReadFile(out))["error"].Text(), "cancelled");
    // The board never left its firmware.
    const JsonValue device = Program({"--simulate", "--sim-state", state, "list", "--json"}).Json()["devices"][0];
    EXPECT_EQ(device["mode"].Text(), "NORMAL");
    EXPECT_EQ(device["boards"]["pen"]["version"].Text(), "1.05");

    const Child held = StartProgram(Update({"--simulate"}, Scenario("basic/basic.pen")), locks, mWork.Path().string(), out, true);
    ASSERT_GT(held.pid, 0);
    err.clear();
    // The model shows this state once the worker is switching the board.
    ASSERT_TRUE(ReadUntil(held.err, "Waiting for Loader Mode", err)) << err;
    kill(held.pid, SIGINT);
    EXPECT_EQ(Finish(held, err), 0) << err;
    ExpectHas(err, "vellum-fwupdater: the board is being ");
    ExpectHas(err, " and must not be interrupted; please wait.\n");
    EXPECT_EQ(ParseJson(ReadFile(out))["versionAfter"].Text(), "1.10");
}
