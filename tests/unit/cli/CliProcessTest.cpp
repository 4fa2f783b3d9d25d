// vellum-fwupdater as a user or a script runs it: a subprocess against the simulated tablets.

#include "CliProcess.h"

#include <sys/file.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

TEST_F(CliProcess, ListAndInspect)
{
    // The basic scenario's topology, as a person and as a script read it.
    const std::string place = "#8&sim0001&0&000";
    const std::string guid = "#{4d1e55b2-f16f-11cf-88cb-001111000030}";
    EXPECT_EQ(Program({"--simulate", "list"}).out, "Tablet: Vellum Sim Tablet (NORMAL mode)\n"
                                                   "  Pen Firmware Version:        1.05\n"
                                                   "      HID, vendor 0xFFFF, product 0x0100\n"
                                                   "      \\\\?\\hid#vid_ffff&pid_0100" + place + "0" + guid + "\n"
                                                   "  Touch Firmware Version:      1.05\n"
                                                   "      I2C, vendor 0xFFFF, product 0x0101\n"
                                                   "      \\\\?\\hid#vid_ffff&pid_0101" + place + "1" + guid + "\n"
                                                   "  Bluetooth Firmware Version:  Not Supported\n");
    const std::string json = R"({"devices": [{"name": "Vellum Sim Tablet", "mode": "NORMAL", "boards": {
        "pen": {"path": "\\\\?\\hid#vid_ffff&pid_0100#8&sim0001&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}",
                "interface": "HID", "vendorId": 65535, "productId": 256, "version": "1.05"},
        "touch": {"path": "\\\\?\\hid#vid_ffff&pid_0101#8&sim0001&0&0001#{4d1e55b2-f16f-11cf-88cb-001111000030}",
                  "interface": "I2C", "vendorId": 65535, "productId": 257, "version": "1.05"}}}]})";
    const JsonValue listed = Program({"--simulate", "list", "--json"}).Json();
    ASSERT_EQ(listed.Type(), "map");
    EXPECT_EQ(listed.value->ToText(0), ParseJson(json).value->ToText(0));
    // No topology (hardware mode), no scenarios in the data folder: nothing found, no error.
    const ProgramRun none = Program({"list", "--json"});
    EXPECT_EQ(none.code, 0) << none.err;
    EXPECT_EQ(none.out, "{\"devices\": []}\n");
    std::filesystem::create_directories(mWork.File("data/scenarios"));
    EXPECT_EQ(Program({"--simulate", "list", "--json"}, {"VFWU_DATA_DIR=data"}).out, none.out);

    const JsonValue file = Program({"inspect", Scenario("basic/basic.pen"), "--json"}).Json();
    EXPECT_EQ(file["format"].Text() + " " + file["intelHex"].Type() + " " + file["airoFlash"].Type(), "pen absent absent");
    const std::vector<JsonValue> blocks = file["srec"]["blocks"].Items();
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(std::make_pair(blocks[0]["address"].Number(), blocks[0]["size"].Number()), std::make_pair(0x1000L, 5 * 4096L));
}

// A second copy is refused with -1 (255) and the holder named; a simulated run takes no lock.
TEST_F(CliProcess, ASecondCopyIsRefusedWithTheHolderNamed)
{
    const std::string lock = (mLocks.Path() / "VFWUMutex.lock").string();
    const int fd = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    const std::string pid = std::to_string(getpid()) + "\n";
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    ASSERT_EQ(write(fd, pid.data(), pid.size()), static_cast<ssize_t>(pid.size()));
    const ProgramRun second = Program({"list"});
    EXPECT_EQ(second.code, 255);
    EXPECT_EQ(second.err, "vellum-fwupdater: another copy is running (process " + std::to_string(getpid()) +
                              ", holding " + lock + ")\n");
    EXPECT_EQ(second.out, "");
    for (const Strings& arguments : {Strings{"list", "--json"}, Update({}, Scenario("basic/basic.pen"))}) {
        const ProgramRun refused = Program(arguments);
        EXPECT_EQ(refused.code, 255);
        EXPECT_EQ(refused.Json()["error"].Text().rfind("another copy is running (", 0), 0u) << refused.out;
    }
    EXPECT_EQ(Program({"--simulate", "list"}).code, 0);
    close(fd);

    // Once the first copy is gone the next one runs and writes its own id.
    EXPECT_EQ(Program({"list"}).code, 0);
    const std::string written = ReadFile(lock);
    EXPECT_TRUE(written != pid && written.back() == '\n') << written;
    // A link planted in place of the lock file is not followed: its target is left alone.
    std::filesystem::remove(lock);
    WriteFile(mWork.File("victim"), "keep me");
    std::filesystem::create_symlink(mWork.File("victim"), lock);
    ExpectHas(Program({"list"}).err, "vellum-fwupdater: warning: single-instance lock not taken (cannot open " + lock);
    EXPECT_EQ(ReadFile(mWork.File("victim")), "keep me");
    // A missing lock folder is made, for this user only.
    std::filesystem::remove_all(mLocks.Path());
    EXPECT_EQ(Program({"list"}).err, "");
    struct stat info {};
    EXPECT_EQ(stat(mLocks.Path().c_str(), &info) == 0 ? info.st_mode & 0777 : 0, 0700u);
}

// Its code and the cause (all of stderr where the row starts with the program's name), nothing on
// stdout but, with --json, one object with the same error; no log before the tablets are reached.
TEST_F(CliProcess, RefusalsSayWhatAndWriteNothing)
{
    // Lines and columns counted by hand; S1 05 0000 0102 sums to 0x08: checksum 0xF7; the HEX data
    // record sums to 0x02: 0xFE, the type 4 record to 0x06: 0xFA.
    const std::pair<const char*, std::string> files[] = {
        {"comma.ini", "[\n  {\n    \"name\": \"A\"\n    \"penBoard\": {}\n  }\n]\n"},
        {"bytes.ini", std::string("\x01\x02\xfe garbage\n", 12)}, {"map.ini", "// one model\n  {\"name\": \"A\"}\n"},
        {"cut.ini", "[{\"name\": \"A\",\n \"penBoard\": {\"pid\": \"0100\""}, {"key.ini", "[{\"name\": \"A\", \"\": 1}]"},
        {"escape.ini", "[{\"name\": \"A\\q\"}]"}, {"plain", "x"}, {"checksum.pen", "S0030000FC\nS10500000102F6\n"},
        {"checksum.hex", ":020000040000FA\r\n:0100000001FF\r\n"}, {"place.hex", ":0100000001FE\r\n"},
        {"valid.bin", "S10500000102F7\n"}, {"valid.srec", "S10500000102F7\n"},
        {"radio.airoflash", "\x01\x02\x03"}, // any bytes are an Airoha image
    };
    for (const auto& [name, content] : files)
        WriteFile(mWork.File(name), content);
    ASSERT_EQ(mkfifo(mWork.File("pipe.pen").c_str(), 0600), 0); // nobody writes: opening it would hang
    std::filesystem::create_directory(mWork.File("folder.pen"));
    const std::string state = mWork.File("tablets.state");
    const std::string file = Scenario("basic/basic.pen");
    const std::string me = "vellum-fwupdater: ";
    const std::string accepted = "accepted: .pen and .vel (S-records, pen board), .touch (S-records, touch board), .hex "
                                 "(Intel HEX, touch board), .airoflash (Airoha flash binary, bluetooth board)";
    const std::string rename = ". An S-record file is named for its board here: rename it to .pen, .vel or .touch\n";
    const std::string help = "\nTry 'vellum-fwupdater --help'.\n";
    struct Case
    {
        Strings arguments;
        int code;
        std::string err;
        const char* board = nullptr; // with --json, the update's summary object for this board
        Strings environment = {};
    };
    const Case cases[] = {
        {{"list", "--json", "--bogus"}, 1, me + "unknown option '--bogus'" + help},
        {{"--simulate", "-auto", "pen"}, 1, me + "the unattended form needs -path PATH and -auto BOARD (see --help)\n"},
        {{"--simulate", "--sim-faults", "sneeze=1", "list", "--json"}, 1, "--sim-faults: unknown fault key: sneeze\n"},
        {{"--simulate=nowhere", "list", "--json"}, 1, "unknown scenario 'nowhere' (known: basic, protocol1, bulk, two-"},
        {{"--simulate=nowhere", "update", "--type", "pen", file, "--yes", "--json"}, 1, "unknown scenario", "pen"},
        {{"--simulate=nowhere", "-path", "x", "-auto", "pen"}, 255, "unknown scenario"}, // its dialog cannot start
        {{"--simulate", "list"}, 1, "cannot find the simulated tablets' data", nullptr, {"VFWU_DATA_DIR=folder.pen"}},
        // In the language asked for or the locale's, even on a line wrong before --lang is read.
        {{"--lang", "de", "frobnicate"}, 1, me + "unbekannter Befehl 'frobnicate'\nSiehe 'vellum-fwupdater --help'.\n"},
        {{"--bogus", "list"}, 1, me + "nieznana opcja '--bogus'\nSpróbuj 'vellum-fwupdater --help'.\n", nullptr,
         {"LANG=pl_PL.UTF-8"}},
        {{"--lang", "zh_CN", "--sim-state", "s", "list"}, 1,
         me + "--sim-state 需要 --simulate\n请参阅 'vellum-fwupdater --help'。\n"},
        {{"--topology", "comma.ini", "list"}, 1, "comma.ini, line 4, column 5: expected ',' or '}'\n"},
        {{"--simulate", "--topology", "comma.ini", "list", "--json"}, 1, "comma.ini, line 4, column 5"},
        {{"--topology", "bytes.ini", "list"}, 1, "line 1, column 1: expected '[' or '{' to start the document\n"},
        {{"--topology", "map.ini", "list"}, 1, "map.ini, line 2, column 3: expected '[' (a list of tablet descriptions)"},
        {{"--topology", "cut.ini", "list"}, 1,
         "cut.ini, line 2, column 28: expected '}' to close the map (the file ends there)\n"},
        {{"--topology", "key.ini", "list"}, 1, "key.ini, line 1, column 16: expected a name that is not empty\n"},
        {{"--topology", "escape.ini", "list"}, 1,
         "escape.ini, line 1, column 13: expected an escape such as \\\", \\\\, \\n or \\uXXXX after the backslash\n"},
        {{"--simulate", "--topology", "absent.ini", "list"}, 1, "cannot read absent.ini: No such file or directory\n"},
        {{"--topology", ".", "list"}, 1, me + "cannot read .: it is a folder, not a topology file\n"},
        // Log folders: refused before the saved state is touched.
        {{"--simulate", "--sim-state", state, "--log-dir", "missing", "update", "--type", "pen", file, "--yes"}, 1,
         me + "--log-dir missing: No such file or directory\n"},
        {{"--simulate", "--log-dir", "plain", "-path", "x", "-auto", "pen"}, 1, me + "--log-dir plain: not a folder\n"},
        // Firmware files: what is not a regular file is never opened (a FIFO would hang).
        {{"inspect", "missing.pen", "--json"}, 1, me + "cannot read missing.pen: No such file or directory\n"},
        {Update({"--simulate"}, "pipe.pen", {"--yes"}), 1, "cannot read pipe.pen: it is a FIFO, not a firmware file\n"},
        {Update({"--simulate"}, "checksum.pen", {"--yes"}), 1, me + "checksum.pen is not a firmware file this program can "
                                                                   "read: line 2: checksum mismatch (the record says 0xF6, its "
                                                                   "bytes give 0xF7)\n"},
        {{"inspect", "checksum.hex", "--json"}, 1, "checksum.hex is not a firmware file this program can read: line 2: "
                                                   "checksum mismatch (the record says 0xFF, its bytes give 0xFE)\n"},
        {Update({"--simulate"}, "place.hex", {"--yes"}, "touch"), 1, "the first data byte lies at 0x0; the touch board's image "
                                                                     "starts at 0x8000\n"},
        {{"inspect", "valid.bin"}, 1, "valid.bin is not a firmware file this program can read: the extension .bin does not "
                                      "name a firmware format; " + accepted + "\n"},
        {Update({"--simulate"}, "valid.srec", {"--yes"}), 1,
         "the extension .srec does not name a firmware format; " + accepted + rename},
        {Update({"--simulate"}, file, {"--yes"}, "touch"), 1,
         me + file + " is firmware for the pen board, not for the touch board\n"},
        {Update({"--simulate"}, file, {"--json"}), 1, "pass --yes", "pen"},
        {Update({"--simulate"}, "radio.airoflash", {"--yes", "--json"}, "bluetooth"), 1, "no bluetooth board",
         "bluetooth"},
        {Update({}, file), 1, me + "Error: No supported tablet is connected.  Please connect a tablet.\n", "pen"},
        {Update({"--simulate=two-tablets"}, Scenario("two-tablets/basic.pen"), {"--device", "/dev/hidraw99", "--yes"}), 1,
         me + "no tablet found has the interface /dev/hidraw99 (list shows the paths)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "row " << (&c - cases) << ": " << c.err);
        const ProgramRun run = Program(c.arguments, With(c.environment, {kFast}));
        EXPECT_EQ(run.code, c.code) << run.err;
        EXPECT_TRUE(c.err.rfind(me, 0) == 0 ? run.err == c.err : run.err.find(c.err) != std::string::npos) << run.err;
        if (std::find(c.arguments.begin(), c.arguments.end(), "--json") == c.arguments.end()) {
            EXPECT_EQ(run.out, "");
        } else {
            const JsonValue doc = run.Json();
            ExpectHas(run.err, me + doc["error"].Text() + "\n");
            EXPECT_EQ(doc["result"].Text() + " " + doc["board"].Text(), c.board ? "failure " + std::string(c.board) : "? ?");
        }
        EXPECT_TRUE(c.board != nullptr || std::filesystem::is_empty(mLogs.Path()));
        std::filesystem::remove_all(mLogs.Path());
        std::filesystem::create_directory(mLogs.Path());
    }
    EXPECT_FALSE(std::filesystem::exists(state));

    // The default topology when there is one; unknown entries are no error.
    WriteFile(mWork.File("fw_loader.ini"), "[{\"name\": 1 2}]");
    EXPECT_EQ(Program({"list"}).err, me + "malformed topology file ./fw_loader.ini, line 1, column 13: expected ',' or '}'\n");
    WriteFile(mWork.File("fw_loader.ini"), "[{\"name\": \"X\", \"colour\": \"red\"}, 7]");
    const ProgramRun unknown = Program({"list"});
    EXPECT_EQ(unknown.code, 0) << unknown.err;
    EXPECT_EQ(unknown.out, "No supported tablet found.\n");
}

TEST_F(CliProcess, NamesAndPathsCannotFakeLinesOrBreakJson)
{
    // A name imitating a second tablet, with an escape sequence and a byte that is not UTF-8.
    std::string topology = ReadFile(Scenario("basic/fw_loader.ini"));
    const std::string from = "\"name\": \"Vellum Sim Tablet\"";
    for (std::size_t at = topology.find(from); at != std::string::npos; at = topology.find(from, at + 1))
        topology.replace(at, from.size(), "\"name\": \"Sim\nTablet: Fake (NORMAL mode)\x1b[31m\xff\"");
    WriteFile(mWork.File("evil.ini"), topology);

    const ProgramRun text = Program({"--simulate", "--topology", "evil.ini", "list"});
    ASSERT_EQ(text.code, 0) << text.err;
    EXPECT_EQ(text.out.rfind("Tablet: Sim\\nTablet: Fake (NORMAL mode)\\x1B[31m\\xFF (NORMAL mode)\n", 0), 0u) << text.out;
    EXPECT_EQ(text.out.find('\x1b'), std::string::npos);
    EXPECT_EQ(text.out.find("\nTablet: "), std::string::npos);
    const JsonValue device = Devices({"--simulate", "--topology", "evil.ini"})[0];
    EXPECT_EQ(device["name"].Text(), "Sim\nTablet: Fake (NORMAL mode)\x1b[31m\\xFF");

    // The same for a path on the error line and in the error object.
    const ProgramRun missing = Program({"inspect", "bad\xfe\n\x1b[2Jname.pen", "--json"});
    EXPECT_EQ(missing.err, "vellum-fwupdater: cannot read bad\\xFE\\n\\x1B[2Jname.pen: No such file or directory\n");
    EXPECT_EQ(missing.Json()["error"].Text(), "cannot read bad\\xFE\n\x1b[2Jname.pen: No such file or directory");
}

// The cause and the board as it is now; then a run without the fault updates it (unverified).
// The protocol1 pen switches in place: with its exit report lost it must not be reported updated.
TEST_F(CliProcess, AFailedUpdateSaysWhyAndWhatTheBoardRunsAndTheNextRunRecovers)
{
    struct Case
    {
        std::string scenario;
        Strings fault;      // the failing run's own options
        std::string reason; // and the board afterwards: state, version (or null), new checksum's type
        std::string board;
        std::string shown;  // on stderr, before the cause
        std::string listed; // mode and pen version after the failure
    };
    const Case cases[] = {
        {"basic", {"--sim-faults", "seed=1,power-loss-at=100"}, "ProgramBoardSRec: Failed to write flash data to device",
         "unknown null null", "Firmware Version: 1.05 -> unknown (the board was not found)\n", "LOADER 0.00"},
        {"protocol1", {"--sim-faults", "drop-set=1,ids=0xD6"}, "There was a problem swapping out of flash mode",
         "loader null integer", "Firmware Version: 1.05 -> in its loader (the update did not finish)\n", "NORMAL 0.00"},
        {"basic", {"--topology", MismatchedTopology()}, "InitCheckForSRecData: Sector/Block mismatch! Expected 39 got 40",
         "firmware 1.05 null", "Firmware Version: 1.05 -> 1.05 (unchanged)\n", "NORMAL 1.05"},
    };
    const std::string nextStep = "  Next step:        run the same command again to finish the update\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        const Strings globals = {"--simulate=" + c.scenario, "--sim-state", mWork.File(std::to_string(&c - cases) + ".state")};
        const std::string file = Scenario(c.scenario + "/" + (c.scenario == "basic" ? "basic.pen" : "protocol1.pen"));
        const ProgramRun failed = Program(Update(With(globals, c.fault), file), {kFast});
        EXPECT_EQ(failed.code, 1) << failed.out << failed.err;
        const JsonValue doc = failed.Json();
        EXPECT_EQ(doc["result"].Text() + ": " + doc["reason"].Text(), "failure: " + c.reason);
        EXPECT_EQ(doc["error"].Text(), "the update failed: " + c.reason);
        const JsonValue after = doc["versionAfter"];
        EXPECT_EQ(doc["state"].Text() + " " + (after.Type() == "null" ? "null" : after.Text()) + " " +
                      doc["checksumNew"].Type(), c.board);
        ExpectHas(ReadFile(doc["log"].Text()), c.reason);
        ExpectHas(failed.err, c.shown + "  Cause:            " + c.reason + "\n");
        EXPECT_EQ(failed.err.find(nextStep) != std::string::npos, c.scenario == "protocol1") << failed.err;
        const JsonValue listed = Devices(globals)[0];
        EXPECT_EQ(listed["mode"].Text() + " " + listed["boards"]["pen"]["version"].Text(), c.listed);

        const ProgramRun again = Program(Update(globals, file), {kFast});
        ASSERT_EQ(again.code, 0) << again.out << again.err;
        EXPECT_EQ(again.Json()["result"].Text() + " " + again.Json()["verified"].value->ToText(0), "success false");
        const JsonValue device = Devices(globals)[0];
        EXPECT_EQ(device["mode"].Text() + " " + device["boards"]["pen"]["version"].Text(), "NORMAL 1.10");
    }
}

// The unattended form: its texts are the dialog's, on stdout (its failures: the other tables).
TEST_F(CliProcess, UnattendedRunsEndWithTheirCode)
{
    // The path as list shows it, without "\\?\" and with "&" as "+".
    std::string path = Devices({"--simulate"})[0]["boards"]["pen"]["path"].Text();
    ASSERT_EQ(path.rfind("\\\\?\\", 0), 0u);
    path.erase(0, 4);
    std::replace(path.begin(), path.end(), '&', '+');
    const Strings unattended = {"--simulate", "--log-dir", mLogs.Path().string(), "-path", path, "-auto", "pen"};
    const ProgramRun updated = Program(unattended, {kFast});
    EXPECT_EQ(updated.code, 0) << updated.err;
    ExpectHas(updated.out, "Vellum Firmware Update Utility: Firmware was successfully updated.");
}

TEST_F(CliProcess, WithSeveralTabletsTheUserChoosesOne)
{
    const std::string file = Scenario("two-tablets/basic.pen");
    const Strings globals = {"--simulate=two-tablets", "--sim-state", mWork.File("two.state")};
    const auto penPaths = [&] {
        std::vector<std::pair<std::string, std::string>> paths; // path, version
        for (const JsonValue& device : Devices(globals).Items())
            paths.emplace_back(device["boards"]["pen"]["path"].Text(), device["boards"]["pen"]["version"].Text());
        return paths;
    };
    const auto before = penPaths();
    ASSERT_EQ(before.size(), 2u);

    // No choice: each is listed with the option that chooses it, nothing is updated.
    const ProgramRun unchosen = Program(Update(globals, file, {"--yes"}));
    EXPECT_EQ(unchosen.code, 1);
    EXPECT_EQ(unchosen.out, "");
    EXPECT_EQ(unchosen.err, "vellum-fwupdater: 2 tablets have a pen board; choose one with --device PATH:\n"
                            "  Vellum Sim Tablet: --device '" + before[0].first + "'\n"
                            "  Vellum Sim Tablet: --device '" + before[1].first + "'\n");
    EXPECT_EQ(penPaths(), before);

    ASSERT_EQ(Program(Update(globals, file, {"--device", before[1].first, "--yes"})).code, 0);
    EXPECT_EQ(penPaths(), (decltype(before){before[0], {before[1].first, "1.10"}}));
}

// Ctrl-C cancels before the switch to the loader (SIGINT pending from the start), is held off after
// it (sent once stderr says so); at real speed: the states shown are the timer's samples.
TEST_F(CliProcess, CtrlCBeforeTheSwitchCancelsAndOnceItHasBegunTheUpdateSucceeds)
{
    const Strings globals = {"--simulate", "--sim-state", mWork.File("tablets.state")};
    const std::string out = mWork.File("out.json");
    const Strings locks = {"VFWU_LOCK_DIR=" + mLocks.Path().string()};
    const std::string work = mWork.Path().string();
    const Child cancelled = StartProgram(Update(globals, Scenario("basic/basic.pen")), locks, work, out, true, true);
    ASSERT_GT(cancelled.pid, 0);
    std::string err;
    EXPECT_EQ(Finish(cancelled, err), 2) << err;
    ExpectHas(err, "Update cancelled.\n");
    EXPECT_EQ(err.find("must not be interrupted"), std::string::npos) << err;
    EXPECT_EQ(ParseJson(ReadFile(out))["error"].Text(), "cancelled");
    const JsonValue device = Devices(globals)[0]; // the board never left its firmware
    EXPECT_EQ(device["mode"].Text() + " " + device["boards"]["pen"]["version"].Text(), "NORMAL 1.05");
    std::filesystem::remove_all(mLogs.Path()); // a log of the same second would be appended to
    std::filesystem::create_directory(mLogs.Path());

    const Strings arguments = Update(globals, Scenario("basic/basic.pen"), {"--yes", "--verify", "--json"});
    const Child held = StartProgram(arguments, locks, work, out, true);
    ASSERT_GT(held.pid, 0);
    err.clear();
    ASSERT_TRUE(ReadUntil(held.err, "Waiting for Loader Mode", err)) << err; // the worker is switching the board
    kill(held.pid, SIGINT);
    EXPECT_EQ(Finish(held, err), 0) << err;
    ExpectHas(err, "vellum-fwupdater: the board is being ");
    ExpectHas(err, " and must not be interrupted; please wait.\n");
    const JsonValue doc = ParseJson(ReadFile(out));
    EXPECT_EQ(doc["result"].Text() + " " + doc["error"].Type(), "success null");
    EXPECT_EQ(doc["versionBefore"].Text() + " -> " + doc["versionAfter"].Text(), "1.05 -> 1.10");
    EXPECT_NE(doc["checksumExpected"].Number(), 0);
    EXPECT_EQ(doc["checksumNew"].Number(), doc["checksumExpected"].Number());
    EXPECT_NE(doc["checksumOld"].Number(), doc["checksumNew"].Number());
    EXPECT_EQ(doc["verified"].Type() == "bool" ? doc["verified"].value->ToText(0) : "", "true");
    EXPECT_EQ(std::filesystem::path(doc["log"].Text()).parent_path(), mLogs.Path());
    // The header for a support person comes before the controller's first line.
    const std::string log = ReadFile(doc["log"].Text());
    EXPECT_EQ(log.rfind("Program: vellum-fwupdater 2.22", 0), 0u) << log.substr(0, 300);
    std::string commandLine = "Command line: vellum-fwupdater";
    for (const std::string& argument : arguments)
        commandLine += " " + argument;
    for (const std::string& line : {commandLine, std::string("Tablets: simulated (scenario basic), not hardware"),
                                    std::string("Started: 20"), std::string("System: Linux ")}) {
        EXPECT_LT(log.find(line), log.find("Updating Device List...")) << line;
    }
    ExpectHas(log, "Programmed flash verified");
    ExpectHas(log, "Device Update complete!");
    // One line per state; after programming the progress the board reported (39 of 40), not 0%.
    ExpectHas(err, "Programming Successful");
    const std::size_t waiting = err.find("Waiting for Device Mode (");
    ASSERT_NE(waiting, std::string::npos) << err;
    EXPECT_GE(std::atoi(err.c_str() + waiting + 25), 90) << err.substr(waiting, 40);
    EXPECT_EQ(err.find("Programming (1"), std::string::npos);
    EXPECT_EQ(err.find("\nProgramming ("), err.rfind("\nProgramming (")) << err; // not a line per dot
}
