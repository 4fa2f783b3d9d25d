// vellum-fwupdater as a user or a script runs it: a subprocess against the simulated tablets.
// Results go to stdout, everything else to stderr in one error style; with --json exactly one
// object whatever the end; what the user gave is checked before any tablet is touched.

#include "CliProcess.h"

#include "FWUpdater/CliText.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>


TEST_F(CliProcess, ListAndInspect)
{
    EXPECT_EQ(Program({"--version"}).out, "vellum-fwupdater 2.22\n");
    const JsonValue doc = Program({"--simulate", "list", "--json"}).Json();
    ASSERT_EQ(doc["devices"].Items().size(), 1u);
    const JsonValue& device = doc["devices"][0];
    EXPECT_EQ(device["name"].Text(), "Vellum Sim Tablet");
    EXPECT_EQ(device["mode"].Text(), "NORMAL");
    EXPECT_EQ(device["boards"]["bluetooth"].Type(), "absent");
    const JsonValue& pen = device["boards"]["pen"];
    EXPECT_EQ(pen["interface"].Text(), "HID");
    EXPECT_EQ(pen["vendorId"].Number(), 0xFFFF);
    EXPECT_EQ(pen["productId"].Number(), 0x0100);
    EXPECT_EQ(pen["version"].Text(), "1.05");
    ExpectHas(pen["path"].Text(), "pid_0100");
    EXPECT_EQ(device["boards"]["touch"]["interface"].Text(), "I2C");
    const std::string text = Program({"--simulate", "list"}).out;
    for (const char* line : {"Tablet: Vellum Sim Tablet", "Pen Firmware Version:", "Touch Firmware Version:      1.05",
                             "Bluetooth Firmware Version:  Not Supported"})
        ExpectHas(text, line);
    // Hardware mode in a folder without a topology: nothing found, and that is no error.
    const ProgramRun none = Program({"list", "--json"});
    EXPECT_EQ(none.code, 0) << none.err;
    EXPECT_TRUE(none.Json()["devices"].Items().empty());

    // The demo image: one block at the pen's application start, five 4 KiB blocks long.
    const JsonValue file = Program({"inspect", Scenario("basic/basic.pen"), "--json"}).Json();
    EXPECT_EQ(file["format"].Text(), "pen");
    EXPECT_FALSE(file.Has("intelHex") || file.Has("airoFlash"));
    ASSERT_EQ(file["srec"]["blocks"].Items().size(), 1u);
    EXPECT_EQ(file["srec"]["blocks"][0]["address"].Number(), 0x1000);
    EXPECT_EQ(file["srec"]["blocks"][0]["size"].Number(), 5 * 4096);
}

// A second copy is refused with -1 (255) and the holder named; a simulated run takes no lock.
TEST_F(CliProcess, ASecondCopyIsRefusedWithTheHolderNamed)
{
    const int fd = HoldLock();
    const ProgramRun second = Program({"list"});
    EXPECT_EQ(second.code, 255);
    EXPECT_EQ(second.err, "vellum-fwupdater: another copy is running (process " + std::to_string(getpid()) +
                              ", holding " + LockPath() + ")\n");
    EXPECT_EQ(second.out, "");
    for (const Strings& arguments : {Strings{"list", "--json"}, Update({}, Scenario("basic/basic.pen"))}) {
        const ProgramRun refused = Program(arguments);
        EXPECT_EQ(refused.code, 255);
        EXPECT_EQ(refused.Json()["error"].Text().rfind("another copy is running (", 0), 0u) << refused.out;
    }
    const ProgramRun demo = Program({"--simulate", "list"});
    EXPECT_EQ(demo.code, 0) << demo.err;
    close(fd);

    // Once the first copy is gone the next one runs, and writes its own id for the next refusal.
    EXPECT_EQ(Program({"list"}).code, 0);
    const std::string written = ReadFile(LockPath());
    EXPECT_NE(written, std::to_string(getpid()) + "\n");
    EXPECT_EQ(written.back(), '\n');
}

// Every way an update cannot start: exit 1, the cause in the one error style, and with --json
// the update's summary object carrying the same error.
TEST_F(CliProcess, WithJsonEveryEndPrintsExactlyOneObject)
{
    WriteFile(mWork.File("broken.ini"), "[{\"name\": \"A\"");
    WriteFile(mWork.File("radio.airoflash"), "\x01\x02\x03"); // any bytes are an Airoha image
    const std::string file = Scenario("basic/basic.pen");
    struct Case
    {
        Strings arguments;
        std::string error; // part of stderr
        const char* board; // the update's summary object for this board, else {"error": ...}
    };
    const Case cases[] = {
        {{"list", "--json", "--bogus"}, "unknown option '--bogus'", nullptr},
        {{"frobnicate", "--json"}, "unknown command 'frobnicate'", nullptr},
        {{"--simulate", "--sim-faults", "sneeze=1", "list", "--json"}, "--sim-faults", nullptr},
        {{"--topology", "broken.ini", "list", "--json"}, "malformed topology file", nullptr},
        {{"inspect", "missing.pen", "--json"}, "cannot read missing.pen", nullptr},
        {{"--simulate=nowhere", "list", "--json"}, "unknown scenario 'nowhere' (known: basic,", nullptr},
        {{"--simulate", "--log-dir", "nowhere", "update", "--type", "pen", file, "--yes", "--json"}, "--log-dir", "pen"},
        {{"--simulate=nowhere", "update", "--type", "pen", file, "--yes", "--json"}, "unknown scenario", "pen"},
        {Update({"--simulate"}, file, {"--json"}), "pass --yes", "pen"},
        {Update({"--simulate"}, "radio.airoflash", {"--yes", "--json"}, "bluetooth"), "no bluetooth board", "bluetooth"},
        {Update({}, file), "vellum-fwupdater: Error: No supported tablet is connected.  Please connect a tablet.\n", "pen"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        const ProgramRun run = Program(c.arguments);
        EXPECT_EQ(run.code, 1) << run.err;
        ExpectHas(run.err, c.error);
        const JsonValue doc = run.Json();
        ASSERT_EQ(doc["error"].Type(), "string") << run.out;
        ExpectHas(run.err, "vellum-fwupdater: " + doc["error"].Text() + "\n");
        EXPECT_EQ(doc.Has("result"), c.board != nullptr);
        if (c.board != nullptr) {
            EXPECT_EQ(doc["result"].Text(), "failure");
            EXPECT_EQ(doc["board"].Text(), c.board);
        }
    }
    // An unattended run that cannot start its dialog ends with -1.
    EXPECT_EQ(Program({"--simulate=nowhere", "-path", "x", "-auto", "pen"}).code, 255);
}

TEST_F(CliProcess, UnusableTopologyFilesAreErrorsThatSayWhereAndWhat)
{
    struct Case
    {
        const char* name;
        std::string content; // written to <name>; empty: not written
        std::string message; // after "vellum-fwupdater: ", with @ standing for the file's path
    };
    // Line and column counted by hand from the texts.
    const Case cases[] = {
        {"comma.ini", "[\n  {\n    \"name\": \"A\"\n    \"penBoard\": {}\n  }\n]\n",
         "malformed topology file @, line 4, column 5: expected ',' or '}'"},
        {"bytes.ini", std::string("\x01\x02\xfe garbage\n", 12),
         "malformed topology file @, line 1, column 1: expected '[' or '{' to start the document"},
        {"map.ini", "// one model\n  {\"name\": \"A\"}\n",
         "malformed topology file @, line 2, column 3: expected '[' (a list of tablet descriptions), found a map"},
        {"cut.ini", "[{\"name\": \"A\",\n \"penBoard\": {\"pid\": \"0100\"",
         "malformed topology file @, line 2, column 28: expected '}' to close the map (the file ends there)"},
        {"key.ini", "[{\"name\": \"A\", \"\": 1}]", "malformed topology file @, line 1, column 16: expected a name that is not empty"},
        {"escape.ini", "[{\"name\": \"A\\q\"}]",
         "malformed topology file @, line 1, column 13: expected an escape such as \\\", \\\\, \\n or \\uXXXX after the backslash"},
        {"absent.ini", "", "cannot read @: No such file or directory"},
        {".", "", "cannot read @: it is a folder, not a topology file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = mWork.File(c.name);
        if (!c.content.empty())
            WriteFile(path, c.content);
        std::string expected = c.message;
        expected.replace(expected.find('@'), 1, path);
        for (const Strings& globals : {Strings{}, Strings{"--simulate"}}) {
            Strings arguments = globals;
            arguments.insert(arguments.end(), {"--topology", path, "list"});
            const ProgramRun run = Program(arguments);
            EXPECT_EQ(run.code, 1);
            EXPECT_EQ(run.err, "vellum-fwupdater: " + expected + "\n");
            EXPECT_EQ(run.out, "");
        }
    }
    // The default place is checked as well when a file is there.
    WriteFile(mWork.File("fw_loader.ini"), "[{\"name\": 1 2}]");
    EXPECT_EQ(Program({"list"}).err,
              "vellum-fwupdater: malformed topology file ./fw_loader.ini, line 1, column 13: expected ',' or '}'\n");
    // Well-formed with entries discovery does not know: accepted, and nothing is found.
    WriteFile(mWork.File("fw_loader.ini"), "[{\"name\": \"X\", \"colour\": \"red\"}, 7]");
    const ProgramRun unknown = Program({"list"});
    EXPECT_EQ(unknown.code, 0) << unknown.err;
    EXPECT_EQ(unknown.out, "No supported tablet found.\n");
}

// A log folder that is missing or a file, and firmware paths that are not regular files, are
// refused before anything is opened: no state saved, and a FIFO is never read (nobody writes
// into it: a program that opened it would hang until the time limit, exit 124).
TEST_F(CliProcess, UnusablePathsAreRefusedBeforeAnythingIsTouched)
{
    const std::string state = mWork.File("tablets.state");
    const std::string file = Scenario("basic/basic.pen");
    WriteFile(mWork.File("plain"), "x");
    for (const auto& [folder, reason] : {std::pair<std::string, std::string>{mWork.File("missing"), "No such file or directory"},
                                         std::pair<std::string, std::string>{mWork.File("plain"), "not a folder"}}) {
        SCOPED_TRACE(folder);
        const std::string expected = "vellum-fwupdater: --log-dir " + folder + ": " + reason + "\n";
        for (const Strings& arguments : {Strings{"--simulate", "--sim-state", state, "--log-dir", folder, "update", "--type", "pen", file, "--yes"},
                                         Strings{"--simulate", "--log-dir", folder, "-path", "x", "-auto", "pen"}}) {
            const ProgramRun run = Program(arguments);
            EXPECT_EQ(run.code, 1);
            EXPECT_EQ(run.err, expected);
        }
        EXPECT_FALSE(std::filesystem::exists(state));
    }

    const std::string fifo = mWork.File("pipe.pen");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directory(mWork.File("folder.pen"));
    for (const auto& [path, kind] : {std::pair<std::string, std::string>{fifo, "a FIFO"},
                                     std::pair<std::string, std::string>{mWork.File("folder.pen"), "a folder"},
                                     std::pair<std::string, std::string>{"/dev/null", "a character device"}}) {
        SCOPED_TRACE(path);
        const std::string expected = "vellum-fwupdater: cannot read " + path + ": it is " + kind + ", not a firmware file\n";
        EXPECT_EQ(Program({"inspect", path}).err, expected);
        const ProgramRun update = Program(Update({"--simulate"}, path, {"--yes"}));
        EXPECT_EQ(update.code, 1);
        EXPECT_EQ(update.err, expected);
        EXPECT_EQ(update.out, "");
    }
}

TEST_F(CliProcess, FirmwareErrorsNameTheReasonAndTheLine)
{
    // Records made by hand: S1, count 05, address 0000, data 01 02; 05 + 00 + 00 + 01 + 02 = 0x08,
    // so the checksum is 0xFF - 0x08 = 0xF7. Intel HEX: 01 + 00 + 00 + 00 + 01 = 0x02, checksum
    // 0x100 - 0x02 = 0xFE; the type 4 record 02 + 00 + 00 + 04 + 00 + 00 = 0x06 needs 0xFA.
    const std::string accepted = ".pen and .vel (S-records, pen board), .touch (S-records, touch board), .hex (Intel "
                                 "HEX, touch board), .airoflash (Airoha flash binary, bluetooth board)";
    const std::string rename = ". An S-record file is named for its board here: rename it to .pen, .vel or .touch";
    struct Case
    {
        const char* name;
        std::string content;
        std::string reason; // after "<file> is not a firmware file this program can read: "
    };
    const Case cases[] = {
        {"checksum.pen", "S0030000FC\nS10500000102F6\n",
         "line 2: checksum mismatch (the record says 0xF6, its bytes give 0xF7)"},
        {"truncated.pen", "S0030000FC\nS10500000102F7\nS1050002\n",
         "line 3: too short for an S-record (8 characters, at least 10)"},
        {"short-s2.touch", "S205000001\n",
         "line 1: an S2 record needs at least 12 characters (type, count, 3-byte address, checksum), the line has 10"},
        {"type.pen", "S10500000102F7\nS40500000102F7\n",
         "line 2: 'S4' is not an S-record type (S0 to S3, S5, S7 to S9)"},
        {"nodata.vel", "S0030000FC\n", "no data record (S1, S2 or S3) in the file"},
        {"empty.pen", "", "the file is empty"},
        {"checksum.hex", ":020000040000FA\r\n:0100000001FF\r\n",
         "line 2: checksum mismatch (the record says 0xFF, its bytes give 0xFE)"},
        {"lf.hex", ":020000040000FA\r\n:0100000001FE\n", "line 2: the line ends in LF alone; every line must end in CR LF"},
        {"place.hex", ":0100000001FE\r\n", "the first data byte lies at 0x0; the touch board's image starts at 0x8000"},
        {"image.bin", "S10500000102F7\n", "the extension .bin does not name a firmware format; accepted: " + accepted},
        {"valid.srec", "S10500000102F7\n", "the extension .srec does not name a firmware format; accepted: " + accepted + rename},
        {"valid.S19", "S10500000102F7\n", "the extension .S19 does not name a firmware format; accepted: " + accepted + rename},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(mWork.File(c.name), c.content);
        const std::string expected =
            std::string("vellum-fwupdater: ") + c.name + " is not a firmware file this program can read: " + c.reason + "\n";
        const ProgramRun inspect = Program({"inspect", c.name});
        EXPECT_EQ(inspect.code, 1);
        EXPECT_EQ(inspect.err, expected);
        EXPECT_EQ(inspect.out, "");
        EXPECT_EQ(Program({"inspect", c.name, "--json"}).Json()["error"].Text() + "\n", expected.substr(18));
        // The update stops with the same words before the tablet is touched: no log is written.
        const ProgramRun update = Program(Update({"--simulate"}, c.name, {"--yes"}));
        EXPECT_EQ(update.code, 1);
        EXPECT_EQ(update.err, expected);
        EXPECT_TRUE(std::filesystem::is_empty(mLogs.Path()));
    }
    // A good file for another board.
    const ProgramRun wrongBoard = Program(Update({"--simulate"}, Scenario("basic/basic.pen"), {"--yes"}, "touch"));
    EXPECT_EQ(wrongBoard.code, 1);
    EXPECT_EQ(wrongBoard.err,
              "vellum-fwupdater: " + Scenario("basic/basic.pen") + " is firmware for the pen board, not for the touch board\n");
}

TEST_F(CliProcess, NamesAndPathsCannotFakeLinesOrBreakJson)
{
    // A name with a newline that imitates a second tablet, an escape sequence and a byte that is
    // not UTF-8; the settings format copies raw bytes inside quotes as they are.
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

    const ProgramRun json = Program({"--simulate", "--topology", "evil.ini", "list", "--json"});
    ASSERT_EQ(json.code, 0) << json.err;
    // Control characters come back as they were; the byte that is not UTF-8 as the text \xFF.
    EXPECT_EQ(json.Json()["devices"][0]["name"].Text(), "Sim\nTablet: Fake (NORMAL mode)\x1b[31m\\xFF");

    // The same for a path on the error line and in the error object.
    const ProgramRun missing = Program({"inspect", "bad\xfe\n\x1b[2Jname.pen", "--json"});
    EXPECT_EQ(missing.err, "vellum-fwupdater: cannot read bad\\xFE\\n\\x1B[2Jname.pen: No such file or directory\n");
    EXPECT_EQ(missing.Json()["error"].Text(), "cannot read bad\\xFE\n\x1b[2Jname.pen: No such file or directory");
}

TEST_F(CliProcess, UpdateSucceedsAndReportsOneJsonSummary)
{
    const Strings arguments = Update({"--simulate"}, Scenario("basic/basic.pen"));
    const ProgramRun run = Program(arguments); // real speed: the states shown are the timer's samples
    ASSERT_EQ(run.code, 0) << run.out << run.err;
    const JsonValue doc = run.Json();
    EXPECT_EQ(doc["result"].Text(), "success");
    EXPECT_EQ(doc["error"].Type(), "null");
    EXPECT_EQ(doc["versionBefore"].Text(), "1.05");
    EXPECT_EQ(doc["versionAfter"].Text(), "1.10");
    EXPECT_NE(doc["checksumExpected"].Number(), 0);
    EXPECT_EQ(doc["checksumNew"].Number(), doc["checksumExpected"].Number());
    EXPECT_NE(doc["checksumOld"].Number(), doc["checksumNew"].Number());
    EXPECT_EQ(doc["verified"].Type(), "bool");
    EXPECT_EQ(doc["verified"].value->ToText(0), "false");
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
    ExpectHas(log, "Device Update complete!");
    EXPECT_EQ(log.find("VerifyFlash"), std::string::npos);
    // Progress went to stderr, one line per state without a terminal; the board reported its
    // blocks, so the state after programming shows the progress reached (39 of 40: 97%), not 0%.
    ExpectHas(run.err, "Programming Successful");
    const std::size_t waiting = run.err.find("Waiting for Device Mode (");
    ASSERT_NE(waiting, std::string::npos) << run.err;
    EXPECT_GE(std::atoi(run.err.c_str() + waiting + 25), 90) << run.err.substr(waiting, 40);
    EXPECT_EQ(run.err.find("Programming (1"), std::string::npos);
}

// The board stops in its loader before anything is erased (a topology expecting another block
// count): the cause and the board as it is now, for a script and, in French, for a person.
TEST_F(CliProcess, AFailedUpdateSaysWhyAndWhatTheBoardRuns)
{
    const std::string cause = "InitCheckForSRecData: Sector/Block mismatch! Expected 39 got 40";
    const ProgramRun script = Program(Update({"--simulate", "--topology", MismatchedTopology()}, Scenario("basic/basic.pen")), {kFast});
    EXPECT_EQ(script.code, 1) << script.out << script.err;
    const JsonValue doc = script.Json();
    EXPECT_EQ(doc["result"].Text(), "failure");
    EXPECT_EQ(doc["reason"].Text(), cause);
    EXPECT_EQ(doc["error"].Text(), "the update failed: " + cause);
    EXPECT_EQ(doc["state"].Text(), "firmware");
    EXPECT_EQ(doc["versionAfter"].Text(), "1.05");
    // Nothing was read back from the board: the checksums are not known, not 0.
    EXPECT_EQ(doc["checksumNew"].Type(), "null");
    EXPECT_EQ(doc["checksumExpected"].Type(), "null");
    ExpectHas(ReadFile(doc["log"].Text()), cause);

    const ProgramRun run = Program(Update({"--lang", "fr", "--simulate", "--topology", MismatchedTopology()},
                                          Scenario("basic/basic.pen"), {"--yes"}),
                                   {kFast});
    EXPECT_EQ(run.code, 1);
    ExpectHas(run.err, "vellum-fwupdater: la mise à jour a échoué\u00a0: " + cause + "\n");
    ExpectHas(run.err, "Continuer\u00a0? [o/N] oui (--yes)\n"); // the model's confirmation, translated
    EXPECT_EQ(run.out.rfind("Résultat\n", 0), 0u) << run.out;
    ExpectNone(run.out + run.err, {"Result", "Current Firmware", "Next step", "Log file", "unchanged", "You are about to"});
    // The labels of the result block line up: every value starts in the same column.
    std::size_t column = 0;
    for (const std::string& line : SplitLines(run.out)) {
        if (line.rfind("  ", 0) != 0)
            continue;
        const std::size_t colon = line.find(':');
        ASSERT_NE(colon, std::string::npos) << line;
        const std::size_t value = TextWidth(line.substr(0, line.find_first_not_of(' ', colon + 1)));
        column = column == 0 ? value : column;
        EXPECT_EQ(value, column) << line;
    }
}

TEST_F(CliProcess, VerifiedUpdate)
{
    const ProgramRun run = Program(Update({"--simulate"}, Scenario("basic/basic.pen"), {"--yes", "--verify", "--json"}));
    ASSERT_EQ(run.code, 0) << run.out << run.err;
    EXPECT_EQ(run.Json()["verified"].value->ToText(0), "true");
    ExpectHas(ReadFile(run.Json()["log"].Text()), "Programmed flash verified");
}

// The unattended form ends with its code; its texts are the dialog's, on stdout.
TEST_F(CliProcess, UnattendedRunsEndWithTheirCode)
{
    // The pen board's interface path as list shows it, without "\\?\" and with "&" as "+".
    std::string path = Program({"--simulate", "list", "--json"}).Json()["devices"][0]["boards"]["pen"]["path"].Text();
    ASSERT_EQ(path.rfind("\\\\?\\", 0), 0u);
    path.erase(0, 4);
    std::replace(path.begin(), path.end(), '&', '+');
    const Strings unattended = {"--simulate", "--log-dir", mLogs.Path().string(), "-path", path, "-auto"};
    Strings pen = unattended;
    pen.push_back("pen");
    const ProgramRun updated = Program(pen, {kFast});
    EXPECT_EQ(updated.code, 0) << updated.err;
    ExpectHas(updated.out, "Vellum Firmware Update Utility: Firmware was successfully updated.");
    // A board the tablet has no update file for.
    Strings bluetooth = unattended;
    bluetooth.push_back("bluetooth");
    const ProgramRun invalid = Program(bluetooth);
    EXPECT_EQ(invalid.code, 1) << invalid.err;
    ExpectHas(invalid.out, "Error: Invalid Firmware update file.");
    EXPECT_EQ(Program({"--simulate", "-auto", "pen"}).code, 1); // both -path and -auto are needed
}

TEST_F(CliProcess, WithSeveralTabletsTheUserChoosesOne)
{
    const std::string state = mWork.File("two.state");
    const std::string file = Scenario("two-tablets/basic.pen");
    const Strings globals = {"--simulate=two-tablets", "--sim-state", state};
    const auto penPaths = [&] {
        Strings list = globals;
        list.insert(list.end(), {"list", "--json"});
        std::vector<std::pair<std::string, std::string>> paths; // path, version
        const JsonValue doc = Program(list).Json();
        for (const JsonValue& device : doc["devices"].Items())
            paths.emplace_back(device["boards"]["pen"]["path"].Text(), device["boards"]["pen"]["version"].Text());
        return paths;
    };
    const auto before = penPaths();
    ASSERT_EQ(before.size(), 2u);
    EXPECT_NE(before[0].first, before[1].first);

    // No choice: both are listed with the option that chooses each, and nothing is updated.
    const ProgramRun unchosen = Program(Update(globals, file, {"--yes"}));
    EXPECT_EQ(unchosen.code, 1);
    EXPECT_EQ(unchosen.out, "");
    EXPECT_EQ(unchosen.err, "vellum-fwupdater: 2 tablets have a pen board; choose one with --device PATH:\n"
                            "  Vellum Sim Tablet: --device '" + before[0].first + "'\n"
                            "  Vellum Sim Tablet: --device '" + before[1].first + "'\n");
    EXPECT_EQ(penPaths(), before);

    // The second one, named by its path as list prints it; the other is untouched.
    ASSERT_EQ(Program(Update(globals, file, {"--device", before[1].first, "--yes"})).code, 0);
    const auto after = penPaths();
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0], before[0]);
    EXPECT_EQ(after[1], std::make_pair(before[1].first, std::string("1.10")));

    const ProgramRun unknown = Program(Update(globals, file, {"--device", "/dev/hidraw99", "--yes"}));
    EXPECT_EQ(unknown.err, "vellum-fwupdater: no tablet found has the interface /dev/hidraw99 (list shows the paths)\n");
    ExpectHas(Program({"--simulate", "list", "--device", "x"}).err, "--device only applies to the update command");
}

// The pen board loses power in the middle of programming (its 100th report) and stays off; the
// next run finds it where a real half-programmed board is, in its loader, and recovers it.
TEST_F(CliProcess, PowerLossThenRecoveryWithSavedState)
{
    const Strings globals = {"--simulate", "--sim-state", mWork.File("tablets.state")};
    Strings faulty = globals;
    faulty.insert(faulty.end(), {"--sim-faults", "seed=1,power-loss-at=100"});
    const ProgramRun cut = Program(Update(faulty, Scenario("basic/basic.pen")), {kFast});
    EXPECT_EQ(cut.code, 1) << cut.out << cut.err;
    const JsonValue cutDoc = cut.Json();
    EXPECT_EQ(cutDoc["result"].Text(), "failure");
    EXPECT_EQ(cutDoc["state"].Text(), "unknown"); // the board is off: where it is cannot be known
    EXPECT_EQ(cutDoc["versionAfter"].Type(), "null");
    EXPECT_EQ(cutDoc["reason"].Text(), "ProgramBoardSRec: Failed to write flash data to device");

    Strings list = globals;
    list.insert(list.end(), {"list", "--json"});
    EXPECT_EQ(Program(list).Json()["devices"][0]["mode"].Text(), "LOADER");
    const ProgramRun recovered = Program(Update(globals, Scenario("basic/basic.pen")), {kFast});
    ASSERT_EQ(recovered.code, 0) << recovered.out << recovered.err;
    EXPECT_EQ(recovered.Json()["versionAfter"].Text(), "1.10");
    const JsonValue device = Program(list).Json()["devices"][0];
    EXPECT_EQ(device["mode"].Text(), "NORMAL");
    EXPECT_EQ(device["boards"]["pen"]["version"].Text(), "1.10");
}

// The protocol1 pen switches in place; every exit-loader report of its loader is lost. It is
// not reported updated, and running the same command again finishes the update.
TEST_F(CliProcess, AnInPlaceBoardWhoseExitReportFailsIsNotReportedUpdated)
{
    const Strings globals = {"--simulate=protocol1", "--sim-state", mWork.File("protocol1.state")};
    const std::string file = Scenario("protocol1/protocol1.pen");
    Strings faulty = globals;
    faulty.insert(faulty.end(), {"--sim-faults", "drop-set=1,ids=0xD6"});
    const ProgramRun stuck = Program(Update(faulty, file), {kFast});
    EXPECT_EQ(stuck.code, 1) << stuck.out << stuck.err;
    const JsonValue failed = stuck.Json();
    EXPECT_EQ(failed["result"].Text(), "failure") << stuck.out;
    EXPECT_EQ(failed["state"].Text(), "loader") << stuck.out;
    EXPECT_EQ(failed["versionAfter"].Type(), "null");
    EXPECT_EQ(failed["reason"].Text(), "There was a problem swapping out of flash mode");
    ExpectHas(stuck.err, "Firmware Version: 1.05 -> in its loader (the update did not finish)\n"
                         "  Cause:            There was a problem swapping out of flash mode\n"
                         "  Next step:        run the same command again to finish the update\n");

    const ProgramRun again = Program(Update(globals, file), {kFast});
    ASSERT_EQ(again.code, 0) << again.out << again.err;
    EXPECT_EQ(again.Json()["result"].Text(), "success");
    Strings list = globals;
    list.insert(list.end(), {"list", "--json"});
    const JsonValue device = Program(list).Json()["devices"][0];
    EXPECT_EQ(device["mode"].Text(), "NORMAL");
    EXPECT_EQ(device["boards"]["pen"]["version"].Text(), "1.10");
}
