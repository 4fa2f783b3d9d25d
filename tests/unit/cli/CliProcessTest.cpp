// vellum-fwupdater as a user or a script runs it: a subprocess against the simulated tablets,
// in real time (each full update takes a few seconds, so only a handful run here).

#include "CliProcess.h"
#include "MiniJson.h"
#include "TestSupport.h"

#include "FWUpdater/CSRec.h"
#include "FWUpdater/FirmwareSummary.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>


TEST_F(CliProcess, HelpAndVersion)
{
    const ProgramRun version = Program({"--version"});
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out, "vellum-fwupdater 2.22\n");
    const ProgramRun help = Program({"--help"});
    EXPECT_EQ(help.code, 0);
    for (const char* word : {"list [--json]", "inspect FILE", "update --type pen|touch|bluetooth FILE", "-path PATH -auto BOARD",
                             "--simulate[=SCENARIO]", "--sim-state FILE", "--sim-faults SPEC", "--topology FILE",
                             "--lang LOCALE", "--log-dir DIR"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    const ProgramRun wrong = Program({"frobnicate"});
    EXPECT_EQ(wrong.code, 1);
    EXPECT_NE(wrong.err.find("unknown command 'frobnicate'"), std::string::npos);
}

TEST_F(CliProcess, ListShowsTheSimulatedTabletsAsJson)
{
    const ProgramRun basic = Program({"--simulate", "list", "--json"});
    ASSERT_EQ(basic.code, 0) << basic.err;
    const JsonValue doc = CMiniJsonParser::Parse(basic.out);
    ASSERT_EQ(doc["devices"].items.size(), 1u);
    const JsonValue& device = doc["devices"][0];
    EXPECT_EQ(device["name"].text, "Vellum Sim Tablet");
    EXPECT_EQ(device["mode"].text, "NORMAL");
    ASSERT_EQ(device["boards"].members.size(), 2u);
    const JsonValue& pen = device["boards"]["pen"];
    EXPECT_EQ(pen["interface"].text, "HID");
    EXPECT_EQ(pen["vendorId"].number, 0xFFFF);
    EXPECT_EQ(pen["productId"].number, 0x0100);
    EXPECT_EQ(pen["version"].text, "1.05");
    EXPECT_NE(pen["path"].text.find("pid_0100"), std::string::npos);
    const JsonValue& touch = device["boards"]["touch"];
    EXPECT_EQ(touch["interface"].text, "I2C");
    EXPECT_EQ(touch["productId"].number, 0x0101);
    EXPECT_EQ(touch["version"].type, JsonValue::eString);

    const ProgramRun two = Program({"--simulate=two-tablets", "list", "--json"});
    ASSERT_EQ(two.code, 0) << two.err;
    const JsonValue both = CMiniJsonParser::Parse(two.out);
    ASSERT_EQ(both["devices"].items.size(), 2u);
    EXPECT_NE(both["devices"][0]["boards"]["pen"]["path"].text, both["devices"][1]["boards"]["pen"]["path"].text);

    const ProgramRun text = Program({"--simulate", "list"});
    EXPECT_EQ(text.code, 0);
    EXPECT_NE(text.out.find("Tablet: Vellum Sim Tablet"), std::string::npos);
    EXPECT_NE(text.out.find("Pen Firmware Version:"), std::string::npos);
    EXPECT_NE(text.out.find("Touch Firmware Version:      " + touch["version"].text), std::string::npos);
    EXPECT_NE(text.out.find("Bluetooth Firmware Version:  Not Supported"), std::string::npos);

    // Hardware mode in a folder without a topology: nothing found, and that is no error.
    const ProgramRun none = Program({"list", "--json"});
    EXPECT_EQ(none.code, 0) << none.err;
    EXPECT_EQ(CMiniJsonParser::Parse(none.out)["devices"].items.size(), 0u);

    const ProgramRun unknown = Program({"--simulate=nowhere", "list"});
    EXPECT_EQ(unknown.code, 1);
    EXPECT_NE(unknown.err.find("unknown scenario 'nowhere' (known: basic,"), std::string::npos);
}

TEST_F(CliProcess, InspectSummarizesAFileOrFailsWithAnError)
{
    const std::string file = Scenario("basic/basic.pen");
    const ProgramRun run = Program({"inspect", file, "--json"});
    ASSERT_EQ(run.code, 0) << run.err;
    const JsonValue doc = CMiniJsonParser::Parse(run.out);
    EXPECT_EQ(doc["file"].text, file);
    EXPECT_EQ(doc["format"].text, "pen");
    EXPECT_EQ(doc["formatId"].number, 0);
    EXPECT_FALSE(doc.Has("intelHex") || doc.Has("airoFlash"));

    CSRec source;
    ASSERT_TRUE(source.Load(file));
    const FirmwareSummary expected = SummarizeFirmware(source);
    const JsonValue& blocks = doc["srec"]["blocks"];
    ASSERT_EQ(blocks.items.size(), expected.blocks.size());
    for (std::size_t i = 0; i < expected.blocks.size(); ++i) {
        EXPECT_EQ(blocks[i]["address"].number, expected.blocks[i].address);
        EXPECT_EQ(blocks[i]["size"].number, expected.blocks[i].size);
        EXPECT_EQ(blocks[i]["byteSum"].number, static_cast<double>(expected.blocks[i].byteSum));
    }

    WriteFile(mWork.File("junk.pen"), "this is not a firmware file\n");
    const ProgramRun junk = Program({"inspect", "junk.pen", "--json"});
    EXPECT_EQ(junk.code, 1);
    EXPECT_NE(junk.err.find("junk.pen"), std::string::npos);
    EXPECT_NE(CMiniJsonParser::Parse(junk.out)["error"].text.find("junk.pen"), std::string::npos);
    const ProgramRun missing = Program({"inspect", "missing.pen"});
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find("cannot read missing.pen"), std::string::npos);
    EXPECT_EQ(missing.out, "");
}

TEST_F(CliProcess, ASecondCopyIsRefusedWithMinusOneAndTheHolderNamed)
{
    // Another copy holds the lock and has written its process id, as the program does.
    const std::string lockPath = (mLocks.Path() / "VFWUMutex.lock").string();
    const int fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    const std::string pid = std::to_string(getpid()) + "\n";
    ASSERT_EQ(write(fd, pid.data(), pid.size()), static_cast<ssize_t>(pid.size()));
    const ProgramRun second = Program({"list"});
    EXPECT_EQ(second.code, 255);
    EXPECT_EQ(second.err, "vellum-fwupdater: another copy is running (process " + std::to_string(getpid()) +
                              ", holding " + lockPath + ")\n");
    EXPECT_EQ(second.out, "");

    // A simulated run drives no real tablet: the lock does not concern it.
    const ProgramRun demo = Program({"--simulate", "list"});
    EXPECT_EQ(demo.code, 0) << demo.err;
    EXPECT_NE(demo.out.find("Tablet: Vellum Sim Tablet"), std::string::npos);
    close(fd);

    // Once the first copy is gone the next one runs, and writes its own id for the next refusal.
    const ProgramRun third = Program({"list"});
    EXPECT_EQ(third.code, 0) << third.err;
    const std::string written = ReadFile(lockPath);
    EXPECT_FALSE(written.empty());
    EXPECT_NE(written, pid);
    EXPECT_EQ(written.back(), '\n');
}

TEST_F(CliProcess, UpdateRefusesWhatItCannotDoBeforeTouchingTheBoard)
{
    const std::string file = Scenario("basic/basic.pen");
    // No terminal to confirm on and no --yes.
    const ProgramRun unconfirmed = Program({"--simulate", "update", "--type", "pen", file});
    EXPECT_EQ(unconfirmed.code, 1);
    EXPECT_NE(unconfirmed.err.find("pass --yes"), std::string::npos);
    EXPECT_EQ(unconfirmed.out, "");
    const ProgramRun unconfirmedJson = Program({"--simulate", "update", "--type", "pen", file, "--json"});
    EXPECT_EQ(unconfirmedJson.code, 1);
    EXPECT_EQ(CMiniJsonParser::Parse(unconfirmedJson.out)["result"].text, "failure");

    // Any bytes are an Airoha flash image.
    WriteFile(mWork.File("radio.airoflash"), "\x01\x02\x03");
    const ProgramRun noBluetooth = Program(
        {"--simulate", "--log-dir", mLogs.Path().string(), "update", "--type", "bluetooth", "radio.airoflash", "--yes"});
    EXPECT_EQ(noBluetooth.code, 1);
    EXPECT_NE(noBluetooth.err.find("no bluetooth board"), std::string::npos);

    WriteFile(mWork.File("junk.pen"), "S0030000FC\nnot a record\n");
    const ProgramRun junk = Program({"--simulate", "--log-dir", mLogs.Path().string(), "update", "--type", "pen", "junk.pen", "--yes"});
    EXPECT_EQ(junk.code, 1);
    EXPECT_EQ(junk.err, "vellum-fwupdater: junk.pen is not a firmware file this program can read: no data record "
                        "(S1, S2 or S3) in the file\n");

    // Hardware mode without a tablet: the dialog's "no supported tablet" error.
    const ProgramRun hardware = Program({"--log-dir", mLogs.Path().string(), "update", "--type", "pen", file, "--yes", "--json"});
    EXPECT_EQ(hardware.code, 1);
    EXPECT_NE(hardware.err.find("Error: No supported tablet is connected.  Please connect a tablet."), std::string::npos);
    EXPECT_EQ(CMiniJsonParser::Parse(hardware.out)["result"].text, "failure");
}

TEST_F(CliProcess, UpdateSucceedsAndReportsOneJsonSummary)
{
    const ProgramRun run = Program({"--simulate", "--log-dir", mLogs.Path().string(), "update", "--type", "pen",
                             Scenario("basic/basic.pen"), "--yes", "--json"});
    ASSERT_EQ(run.code, 0) << run.out << run.err;
    const JsonValue doc = CMiniJsonParser::Parse(run.out);
    EXPECT_EQ(doc["result"].text, "success");
    EXPECT_EQ(doc["board"].text, "pen");
    EXPECT_EQ(doc["versionBefore"].text, "1.05");
    EXPECT_EQ(doc["versionAfter"].text, "1.10");
    EXPECT_NE(doc["checksumExpected"].number, 0);
    EXPECT_EQ(doc["checksumNew"].number, doc["checksumExpected"].number);
    EXPECT_NE(doc["checksumOld"].number, doc["checksumNew"].number);
    EXPECT_FALSE(doc["verified"].boolean);
    EXPECT_EQ(doc["verified"].type, JsonValue::eBool);
    const std::string log = doc["log"].text;
    EXPECT_EQ(std::filesystem::path(log).parent_path(), mLogs.Path());
    const std::string logText = ReadFile(log);
    EXPECT_NE(logText.find("Device Update complete!"), std::string::npos);
    // The header for a support person comes before the controller's first line.
    EXPECT_EQ(logText.rfind("Program: vellum-fwupdater 2.22", 0), 0u) << logText.substr(0, 300);
    const std::size_t firstOwnLine = logText.find("Updating Device List...");
    for (const std::string& line :
         {std::string("Command line: vellum-fwupdater --simulate --log-dir ") + mLogs.Path().string() + " update --type pen " +
              Scenario("basic/basic.pen") + " --yes --json",
          std::string("Tablets: simulated (scenario basic), not hardware"), std::string("Started: 20"),
          std::string("System: Linux ")}) {
        const std::size_t at = logText.find(line);
        EXPECT_NE(at, std::string::npos) << line;
        EXPECT_LT(at, firstOwnLine) << line;
    }
    EXPECT_EQ(logText.find("VerifyFlash"), std::string::npos);
    // Progress and texts went to stderr; stdout holds the one object.
    EXPECT_NE(run.err.find("Programming Successful"), std::string::npos);
    // Without a terminal one line per state; the board reported its blocks, so the state after
    // programming shows the progress reached (39 of 40 blocks reported: 97%), not 0%.
    const std::size_t waiting = run.err.find("Waiting for Device Mode (");
    ASSERT_NE(waiting, std::string::npos) << run.err;
    EXPECT_GE(std::atoi(run.err.c_str() + waiting + 25), 90) << run.err.substr(waiting, 40);
    EXPECT_EQ(run.err.find("Programming (1"), std::string::npos); // no line per step
    EXPECT_NE(run.err.find("1.05 -> 1.10"), std::string::npos);
}

TEST_F(CliProcess, AFailedUpdateEndsWithOneAndSaysSo)
{
    // A topology that expects another block count than the pen loader describes: the update
    // stops in the loader before anything is erased.
    std::string topology = ReadFile(Scenario("basic/fw_loader.ini"));
    const std::string sectors = "\"sectors\": 40";
    ASSERT_NE(topology.find(sectors), std::string::npos);
    topology.replace(topology.find(sectors), sectors.size(), "\"sectors\": 39");
    WriteFile(mWork.File("fw_loader.ini"), topology);

    const ProgramRun run = Program({"--simulate", "--topology", mWork.File("fw_loader.ini"), "--log-dir",
                                    mLogs.Path().string(), "update", "--type", "pen", Scenario("basic/basic.pen"),
                                    "--yes", "--json"});
    EXPECT_EQ(run.code, 1) << run.out << run.err;
    const JsonValue doc = CMiniJsonParser::Parse(run.out);
    EXPECT_EQ(doc["result"].text, "failure");
    EXPECT_EQ(doc["versionBefore"].text, "1.05");
    EXPECT_FALSE(doc["verified"].boolean);
    EXPECT_NE(run.err.find("Programming Failed"), std::string::npos);
    const std::string cause = "InitCheckForSRecData: Sector/Block mismatch! Expected 39 got 40";
    EXPECT_NE(ReadFile(doc["log"].text).find(cause), std::string::npos);
    // The cause, and the board as it is now: never erased, back in its firmware, still 1.05.
    EXPECT_EQ(doc["reason"].text, cause);
    EXPECT_EQ(doc["error"].text, "the update failed: " + cause);
    EXPECT_EQ(doc["state"].text, "firmware");
    EXPECT_EQ(doc["versionAfter"].text, "1.05");
    // Nothing was read back from the board: the checksums are not known, not 0.
    EXPECT_EQ(doc["checksumNew"].type, JsonValue::eNull);
    EXPECT_EQ(doc["checksumExpected"].type, JsonValue::eNull);

    // The same as a person sees it: the error on stderr, the result on stdout.
    const ProgramRun text = Program({"--simulate", "--topology", mWork.File("fw_loader.ini"), "--log-dir",
                                     mLogs.Path().string(), "update", "--type", "pen", Scenario("basic/basic.pen"), "--yes"});
    EXPECT_EQ(text.code, 1);
    EXPECT_NE(text.err.find("vellum-fwupdater: the update failed: " + cause + "\n"), std::string::npos) << text.err;
    EXPECT_EQ(text.out.rfind("Result\n"
                             "  Firmware Version: 1.05 -> 1.05 (unchanged)\n"
                             "  Cause:            " + cause + "\n"
                             "  Next step:        the board runs the firmware shown; correct the cause, then run the "
                             "command again\n", 0),
              0u)
        << text.out;
}

TEST_F(CliProcess, VerifiedUpdateInTheUsersLanguage)
{
    const ProgramRun run = Program({"--simulate", "--log-dir", mLogs.Path().string(), "update", "--type", "pen",
                             Scenario("basic/basic.pen"), "--yes", "--verify"},
                            {"LANG=de_DE.UTF-8"});
    ASSERT_EQ(run.code, 0) << run.out << run.err;
    // The dialog speaks on stderr; stdout holds the result block alone.
    EXPECT_NE(run.err.find("Vellum Firmware-Update Utility 2.22"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Warten auf Loader-Modus"), std::string::npos);
    EXPECT_NE(run.err.find("Programmierung erfolgreich (100%)"), std::string::npos);
    // The command line's own labels follow the locale as well.
    EXPECT_EQ(run.out.rfind("Ergebnis\n", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("Firmware-Version: 1.05 -> 1.10\n"), std::string::npos);
    EXPECT_NE(run.out.find("Geprüft:          ja\n"), std::string::npos);
    EXPECT_EQ(run.err.find('\r'), std::string::npos); // plain lines: not a terminal
}

TEST_F(CliProcess, UnattendedSuccessEndsWithZero)
{
    const ProgramRun run = Program({"--simulate", "--log-dir", mLogs.Path().string(), "-path", InstallerPath(), "-auto", "pen"});
    EXPECT_EQ(run.code, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("Programming Successful"), std::string::npos);
    EXPECT_NE(run.out.find("Vellum Firmware Update Utility: Firmware was successfully updated."), std::string::npos);
}

TEST_F(CliProcess, UnattendedFailuresAndTheirLanguages)
{
    const std::string logs = mLogs.Path().string();
    const std::string path = InstallerPath();
    // A board the tablet has no update file for: the invalid-file error, in German.
    const ProgramRun noBoard = Program({"--simulate", "--log-dir", logs, "-path", path, "-auto", "bluetooth", "-lang", "de"});
    EXPECT_EQ(noBoard.code, 1);
    EXPECT_NE(noBoard.out.find("Fehler: Ungültige Firmware-Aktualisierungs-\ndatei."), std::string::npos) << noBoard.out;

    // An unknown device path; Swedish has no strings of its own and falls back to English.
    const ProgramRun swedish = Program({"--simulate", "--log-dir", logs, "-path", "nothing", "-auto", "pen", "-lang", "sv"});
    EXPECT_EQ(swedish.code, 1);
    EXPECT_NE(swedish.out.find("Error: Update target device not found. Please re-download the package."),
              std::string::npos);

    // Without -lang the locale environment decides; -lang overrides it.
    const ProgramRun french = Program({"--simulate", "--log-dir", logs, "-path", "nothing", "-auto", "pen"}, {"LC_ALL=fr_FR.UTF-8"});
    EXPECT_NE(french.out.find("Erreur : Mettre à jour le périphérique cible introuvable."), std::string::npos);
    const ProgramRun override = Program({"--simulate", "--log-dir", logs, "-path", "nothing", "-auto", "pen", "-lang", "es"},
                                 {"LC_ALL=fr_FR.UTF-8"});
    EXPECT_NE(override.out.find("Error: no se ha encontrado el dispositivo de destino"), std::string::npos);

    // Both -path and -auto are needed; a run that cannot start its dialog ends with -1.
    EXPECT_EQ(Program({"--simulate", "-auto", "pen"}).code, 1);
    const ProgramRun noData = Program({"--simulate=nowhere", "-path", path, "-auto", "pen"});
    EXPECT_EQ(noData.code, 255);
}

TEST_F(CliProcess, PowerLossThenRecoveryWithSavedState)
{
    const std::string state = mWork.File("tablets.state");
    const std::string logs = mLogs.Path().string();
    const std::string file = Scenario("basic/basic.pen");
    // The pen board loses power in the middle of programming (its 100th report) and stays off.
    const ProgramRun cut = Program({"--simulate", "--sim-state", state, "--sim-faults", "seed=1,power-loss-at=100",
                                    "--log-dir", logs, "update", "--type", "pen", file, "--yes", "--json"});
    EXPECT_EQ(cut.code, 1) << cut.out << cut.err;
    const JsonValue cutDoc = CMiniJsonParser::Parse(cut.out);
    EXPECT_EQ(cutDoc["result"].text, "failure");
    // The board is off: where it is cannot be known.
    EXPECT_EQ(cutDoc["state"].text, "unknown");
    EXPECT_EQ(cutDoc["versionAfter"].type, JsonValue::eNull);
    EXPECT_EQ(cutDoc["reason"].text, "ProgramBoardSRec: Failed to write flash data to device");

    // The next run finds it where a real half-programmed board is: in its loader.
    const ProgramRun found = Program({"--simulate", "--sim-state", state, "list", "--json"});
    ASSERT_EQ(found.code, 0) << found.err;
    EXPECT_EQ(CMiniJsonParser::Parse(found.out)["devices"][0]["mode"].text, "LOADER") << found.out;

    // And an update from there recovers it; the state keeps the result for the run after.
    const ProgramRun recovered = Program({"--simulate", "--sim-state", state, "--log-dir", logs, "update", "--type",
                                          "pen", file, "--yes", "--json"});
    ASSERT_EQ(recovered.code, 0) << recovered.out << recovered.err;
    EXPECT_EQ(CMiniJsonParser::Parse(recovered.out)["versionAfter"].text, "1.10");
    const ProgramRun after = Program({"--simulate", "--sim-state", state, "list", "--json"});
    const JsonValue device = CMiniJsonParser::Parse(after.out)["devices"][0];
    EXPECT_EQ(device["mode"].text, "NORMAL");
    EXPECT_EQ(device["boards"]["pen"]["version"].text, "1.10");

    const ProgramRun badSpec = Program({"--simulate", "--sim-faults", "sneeze=1", "list"});
    EXPECT_EQ(badSpec.code, 1);
    EXPECT_NE(badSpec.err.find("--sim-faults"), std::string::npos);
}

TEST_F(CliProcess, AnInPlaceBoardWhoseExitReportFailsIsNotReportedUpdated)
{
    // The protocol1 pen switches in place; every exit-loader report of its loader is lost.
    const std::string state = mWork.File("protocol1.state");
    const std::string logs = mLogs.Path().string();
    const std::string file = Scenario("protocol1/protocol1.pen");
    const ProgramRun stuck = Program({"--simulate=protocol1", "--sim-state", state, "--sim-faults", "drop-set=1,ids=0xD6",
                                      "--log-dir", logs, "update", "--type", "pen", file, "--yes", "--json"});
    EXPECT_EQ(stuck.code, 1) << stuck.out << stuck.err;
    const JsonValue failed = CMiniJsonParser::Parse(stuck.out);
    EXPECT_EQ(failed["result"].text, "failure") << stuck.out;
    // Left in its loader: no version to report, and the way out is to run the update again.
    EXPECT_EQ(failed["state"].text, "loader") << stuck.out;
    EXPECT_EQ(failed["versionAfter"].type, JsonValue::eNull);
    EXPECT_EQ(failed["reason"].text, "There was a problem swapping out of flash mode");
    EXPECT_NE(stuck.err.find("Firmware Version: 1.05 -> in its loader (the update did not finish)\n"
                             "  Cause:            There was a problem swapping out of flash mode\n"
                             "  Next step:        run the same command again to finish the update\n"),
              std::string::npos)
        << stuck.err;

    // Run again without the fault: the update is finished and the board runs the new firmware.
    const ProgramRun again = Program({"--simulate=protocol1", "--sim-state", state, "--log-dir", logs, "update",
                                      "--type", "pen", file, "--yes", "--json"});
    ASSERT_EQ(again.code, 0) << again.out << again.err;
    EXPECT_EQ(CMiniJsonParser::Parse(again.out)["result"].text, "success");
    const ProgramRun after = Program({"--simulate=protocol1", "--sim-state", state, "list", "--json"});
    const JsonValue device = CMiniJsonParser::Parse(after.out)["devices"][0];
    EXPECT_EQ(device["mode"].text, "NORMAL") << after.out;
    EXPECT_EQ(device["boards"]["pen"]["version"].text, "1.10") << after.out;
}
