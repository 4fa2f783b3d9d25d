// What the program says when something is wrong with what the user gave it: the file or folder
// named, where in it, and what was expected; the exit code; and that nothing was touched.

#include "CliProcess.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

TEST_F(CliProcess, UnusableTopologyFilesAreErrorsThatSayWhereAndWhat)
{
    struct Case
    {
        const char* name;
        std::string content; // written to <name>; empty: not written
        std::string message;  // after "vellum-fwupdater: ", with @ standing for the file's path
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
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = mWork.File(c.name);
        if (!c.content.empty())
            WriteFile(path, c.content);
        std::string expected = c.message;
        expected.replace(expected.find('@'), 1, path);
        for (const bool simulate : {false, true}) {
            std::vector<std::string> arguments = {"--topology", path, "list"};
            if (simulate)
                arguments.insert(arguments.begin(), "--simulate");
            const ProgramRun run = Program(arguments);
            EXPECT_EQ(run.code, 1);
            EXPECT_EQ(run.err, "vellum-fwupdater: " + expected + "\n");
            EXPECT_EQ(run.out, "");
        }
    }

    const ProgramRun folder = Program({"--topology", mWork.Path().string(), "list", "--json"});
    EXPECT_EQ(folder.code, 1);
    EXPECT_EQ(folder.err, "vellum-fwupdater: cannot read " + mWork.Path().string() + ": it is a folder, not a topology file\n");

    // The default place is checked as well when a file is there.
    WriteFile(mWork.File("fw_loader.ini"), "[{\"name\": 1 2}]");
    const ProgramRun local = Program({"list"});
    EXPECT_EQ(local.code, 1);
    EXPECT_EQ(local.err, "vellum-fwupdater: malformed topology file ./fw_loader.ini, line 1, column 13: expected ',' or '}'\n");

    // Well-formed with entries discovery does not know: accepted, and nothing is found.
    WriteFile(mWork.File("fw_loader.ini"), "[{\"name\": \"X\", \"colour\": \"red\"}, 7]");
    const ProgramRun unknown = Program({"list"});
    EXPECT_EQ(unknown.code, 0) << unknown.err;
    EXPECT_EQ(unknown.out, "No supported tablet found.\n");
}

TEST_F(CliProcess, AnUnusableLogFolderIsRefusedBeforeAnythingIsTouched)
{
    const std::string state = mWork.File("tablets.state");
    const std::string file = Scenario("basic/basic.pen");
    WriteFile(mWork.File("plain"), "x");
    struct Case
    {
        std::string folder;
        std::string reason;
    };
    const Case cases[] = {
        {mWork.File("missing"), "No such file or directory"},
        {mWork.File("plain"), "not a folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        for (const bool json : {false, true}) {
            std::vector<std::string> arguments = {"--simulate", "--sim-state", state, "--log-dir", c.folder,
                                                  "update", "--type", "pen", file, "--yes"};
            if (json)
                arguments.push_back("--json");
            const ProgramRun run = Program(arguments);
            EXPECT_EQ(run.code, 1);
            EXPECT_EQ(run.err, "vellum-fwupdater: --log-dir " + c.folder + ": " + c.reason + "\n");
            // The simulated tablets were never opened: no state was saved.
            EXPECT_FALSE(std::filesystem::exists(state));
        }
        const ProgramRun unattended = Program({"--simulate", "--log-dir", c.folder, "-path", "x", "-auto", "pen"});
        EXPECT_EQ(unattended.code, 1);
        EXPECT_EQ(unattended.err, "vellum-fwupdater: --log-dir " + c.folder + ": " + c.reason + "\n");
    }
}

TEST_F(CliProcess, FirmwarePathsThatAreNotRegularFilesAreRefusedUnopened)
{
    const std::string fifo = mWork.File("pipe.pen");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string folder = mWork.File("folder.pen");
    std::filesystem::create_directory(folder);
    struct Case
    {
        std::string path;
        std::string kind;
    };
    const Case cases[] = {{fifo, "a FIFO"}, {folder, "a folder"}, {"/dev/null", "a character device"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const std::string expected = "vellum-fwupdater: cannot read " + c.path + ": it is " + c.kind + ", not a firmware file\n";
        // Nobody writes into the FIFO: a program that opened it would wait for ever (the
        // subprocess's time limit turns that into exit 124).
        const ProgramRun inspect = Program({"inspect", c.path});
        EXPECT_EQ(inspect.code, 1);
        EXPECT_EQ(inspect.err, expected);
        const ProgramRun update = Program({"--simulate", "--log-dir", mLogs.Path().string(), "update", "--type", "pen",
                                           c.path, "--yes"});
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
        {"valid.srec", "S10500000102F7\n",
         "the extension .srec does not name a firmware format; accepted: " + accepted +
             ". An S-record file is named for its board here: rename it to .pen, .vel or .touch"},
        {"valid.S19", "S10500000102F7\n",
         "the extension .S19 does not name a firmware format; accepted: " + accepted +
             ". An S-record file is named for its board here: rename it to .pen, .vel or .touch"},
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
        const ProgramRun inspectJson = Program({"inspect", c.name, "--json"});
        EXPECT_EQ(CMiniJsonParser::Parse(inspectJson.out)["error"].text + "\n", expected.substr(18));
        // The update stops with the same words before the tablet is touched: no log is written.
        const ProgramRun update = Program({"--simulate", "--log-dir", mLogs.Path().string(), "update", "--type", "pen",
                                           c.name, "--yes"});
        EXPECT_EQ(update.code, 1);
        EXPECT_EQ(update.err, expected);
        EXPECT_TRUE(std::filesystem::is_empty(mLogs.Path()));
    }

    // A good file for another board.
    const ProgramRun wrongBoard = Program({"--simulate", "--log-dir", mLogs.Path().string(), "update", "--type",
                                           "touch", Scenario("basic/basic.pen"), "--yes", "--json"});
    EXPECT_EQ(wrongBoard.code, 1);
    EXPECT_EQ(wrongBoard.err,
              "vellum-fwupdater: " + Scenario("basic/basic.pen") + " is firmware for the pen board, not for the touch board\n");
    EXPECT_EQ(CMiniJsonParser::Parse(wrongBoard.out)["result"].text, "failure");

    // --help names the extensions and what each selects.
    const ProgramRun help = Program({"--help"});
    for (const char* line : {"  .pen, .vel   S-records for the pen board\n", "  .touch       S-records for the touch board\n",
                             "  .hex         Intel HEX for the touch board\n",
                             "  .airoflash   Airoha flash binary for the bluetooth board\n"})
        EXPECT_NE(help.out.find(line), std::string::npos) << line;
}

TEST_F(CliProcess, WithSeveralTabletsTheUserChoosesOne)
{
    const std::string state = mWork.File("two.state");
    const std::string logs = mLogs.Path().string();
    const std::string file = Scenario("two-tablets/basic.pen");
    const auto penPaths = [&] {
        const JsonValue doc =
            CMiniJsonParser::Parse(Program({"--simulate=two-tablets", "--sim-state", state, "list", "--json"}).out);
        std::vector<std::pair<std::string, std::string>> paths; // path, version
        for (const JsonValue& device : doc["devices"].items)
            paths.emplace_back(device["boards"]["pen"]["path"].text, device["boards"]["pen"]["version"].text);
        return paths;
    };
    const auto before = penPaths();
    ASSERT_EQ(before.size(), 2u);

    // No choice: both are listed with the option that chooses each, and nothing is updated.
    const ProgramRun unchosen =
        Program({"--simulate=two-tablets", "--sim-state", state, "--log-dir", logs, "update", "--type", "pen", file, "--yes"});
    EXPECT_EQ(unchosen.code, 1);
    EXPECT_EQ(unchosen.out, "");
    EXPECT_EQ(unchosen.err, "vellum-fwupdater: 2 tablets have a pen board; choose one with --device PATH:\n"
                            "  Vellum Sim Tablet: --device '" + before[0].first + "'\n"
                            "  Vellum Sim Tablet: --device '" + before[1].first + "'\n");
    EXPECT_EQ(penPaths(), before);

    // The second one, named by its path as list prints it.
    const ProgramRun chosen = Program({"--simulate=two-tablets", "--sim-state", state, "--log-dir", logs, "update",
                                       "--type", "pen", file, "--device", before[1].first, "--yes", "--json"});
    ASSERT_EQ(chosen.code, 0) << chosen.err;
    const auto after = penPaths();
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0], before[0]); // the other tablet is untouched
    EXPECT_EQ(after[1].first, before[1].first);
    EXPECT_EQ(after[1].second, "1.10");

    const ProgramRun unknown = Program({"--simulate=two-tablets", "--log-dir", logs, "update", "--type", "pen", file,
                                        "--device", "/dev/hidraw99", "--yes", "--json"});
    EXPECT_EQ(unknown.code, 1);
    EXPECT_EQ(unknown.err, "vellum-fwupdater: no tablet found has the interface /dev/hidraw99 (list shows the paths)\n");
    EXPECT_EQ(CMiniJsonParser::Parse(unknown.out)["result"].text, "failure");

    const ProgramRun notForList = Program({"--simulate", "list", "--device", "x"});
    EXPECT_EQ(notForList.code, 1);
    EXPECT_NE(notForList.err.find("--device only applies to the update command"), std::string::npos);
}
