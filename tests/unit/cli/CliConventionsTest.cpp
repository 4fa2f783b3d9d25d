// The conventions of a Linux tool: results on stdout, everything else on stderr in one error
// style; with --json exactly one object on stdout whatever the end; nothing from a file or device
// that could fake a line or drive the terminal.

#include "CliProcess.h"
#include "MiniJson.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <clocale>
#include <cwchar>

namespace {

// glibc's own UTF-8 decoder as the independent judge of "valid UTF-8".
bool IsValidUtf8(const std::string& text_I)
{
    const char* saved = std::setlocale(LC_CTYPE, nullptr);
    const std::string restore = saved ? saved : "C";
    std::setlocale(LC_CTYPE, "C.UTF-8");
    std::mbstate_t state{};
    bool valid = true;
    for (std::size_t i = 0; i < text_I.size();) {
        wchar_t wide = 0;
        const std::size_t n = std::mbrtowc(&wide, text_I.data() + i, text_I.size() - i, &state);
        if (n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2)) {
            valid = false;
            break;
        }
        i += n == 0 ? 1 : n;
    }
    std::setlocale(LC_CTYPE, restore.c_str());
    return valid;
}

// The basic scenario's topology with the tablet's name replaced (raw bytes, as the settings
// format copies them).
std::string TopologyNamed(const std::string& scenarioFile_I, const std::string& name_I)
{
    std::string topology = ReadFile(scenarioFile_I);
    const std::string from = "\"name\": \"Vellum Sim Tablet\"";
    for (std::size_t at = topology.find(from); at != std::string::npos; at = topology.find(from, at + 1))
        topology.replace(at, from.size(), "\"name\": \"" + name_I + "\"");
    return topology;
}

} // namespace

TEST_F(CliProcess, ShortHelpIsTheHelp)
{
    const ProgramRun shortHelp = Program({"-h"});
    const ProgramRun longHelp = Program({"--help"});
    EXPECT_EQ(shortHelp.code, 0);
    EXPECT_EQ(shortHelp.out, longHelp.out);
    EXPECT_NE(shortHelp.out.find("-h, --help"), std::string::npos);
    EXPECT_EQ(Program({"list", "-h"}).out, longHelp.out);
}

TEST_F(CliProcess, WithJsonEveryEndPrintsExactlyOneObject)
{
    WriteFile(mWork.File("broken.ini"), "[{\"name\": \"A\"");
    WriteFile(mWork.File("junk.pen"), "S0030000FC\n");
    const std::string logs = mLogs.Path().string();
    const std::string file = Scenario("basic/basic.pen");
    struct Case
    {
        const char* what;
        std::vector<std::string> arguments;
        int code;
        bool updateSummary; // the update's summary object, else {"error": ...}
    };
    const Case cases[] = {
        {"usage error", {"list", "--json", "--bogus"}, 1, false},
        {"malformed topology", {"--topology", "broken.ini", "list", "--json"}, 1, false},
        {"missing file", {"inspect", "missing.pen", "--json"}, 1, false},
        {"log folder", {"--simulate", "--log-dir", "nowhere", "update", "--type", "pen", file, "--yes", "--json"}, 1, true},
        {"bad firmware", {"--simulate", "--log-dir", logs, "update", "--type", "pen", "junk.pen", "--yes", "--json"}, 1, true},
        {"unknown scenario", {"--simulate=nowhere", "update", "--type", "pen", file, "--yes", "--json"}, 1, true},
        {"no tablet", {"--log-dir", logs, "update", "--type", "pen", file, "--yes", "--json"}, 1, true},
        {"no confirmation", {"--simulate", "--log-dir", logs, "update", "--type", "pen", file, "--json"}, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ProgramRun run = Program(c.arguments);
        EXPECT_EQ(run.code, c.code) << run.err;
        JsonValue doc;
        ASSERT_NO_THROW(doc = CMiniJsonParser::Parse(run.out)) << run.out;
        // The object's error is the one stderr shows, in the one error style.
        ASSERT_EQ(doc["error"].type, JsonValue::eString) << run.out;
        EXPECT_EQ(run.err.rfind("vellum-fwupdater: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find("vellum-fwupdater: " + doc["error"].text + "\n"), std::string::npos) << run.err;
        if (c.updateSummary) {
            EXPECT_EQ(doc["result"].text, "failure");
            EXPECT_EQ(doc["board"].text, "pen");
        }
    }

    // Another copy holds the lock: 255, and still one object.
    const std::string lockPath = (mLocks.Path() / "VFWUMutex.lock").string();
    const int fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"list", "--json"},
          std::vector<std::string>{"--log-dir", logs, "update", "--type", "pen", file, "--yes", "--json"}}) {
        const ProgramRun refused = Program(arguments);
        EXPECT_EQ(refused.code, 255);
        const JsonValue doc = CMiniJsonParser::Parse(refused.out);
        EXPECT_EQ(doc["error"].text.rfind("another copy is running (", 0), 0u) << refused.out;
    }
    close(fd);

    // A successful update: the one object, with a null error.
    const ProgramRun ok = Program({"--simulate", "--log-dir", logs, "update", "--type", "pen", file, "--yes", "--json"});
    ASSERT_EQ(ok.code, 0) << ok.err;
    const JsonValue doc = CMiniJsonParser::Parse(ok.out);
    EXPECT_EQ(doc["result"].text, "success");
    EXPECT_EQ(doc["error"].type, JsonValue::eNull);
}

TEST_F(CliProcess, NamesAndPathsCannotFakeLinesOrBreakJson)
{
    // A name with a newline that imitates a second tablet, an escape sequence and a byte that is
    // not UTF-8; the settings format copies raw bytes inside quotes as they are.
    const std::string name = "Sim\nTablet: Fake (NORMAL mode)\x1b[31m\xff";
    WriteFile(mWork.File("evil.ini"), TopologyNamed(Scenario("basic/fw_loader.ini"), name));

    const ProgramRun text = Program({"--simulate", "--topology", "evil.ini", "list"});
    ASSERT_EQ(text.code, 0) << text.err;
    EXPECT_EQ(text.out.rfind("Tablet: Sim\\nTablet: Fake (NORMAL mode)\\x1B[31m\\xFF (NORMAL mode)\n", 0), 0u) << text.out;
    EXPECT_EQ(text.out.find('\x1b'), std::string::npos);
    std::size_t tabletLines = 0;
    for (std::size_t at = text.out.find("Tablet: "); at != std::string::npos; at = text.out.find("Tablet: ", at + 1))
        tabletLines += at == 0 || text.out[at - 1] == '\n';
    EXPECT_EQ(tabletLines, 1u);

    const ProgramRun json = Program({"--simulate", "--topology", "evil.ini", "list", "--json"});
    ASSERT_EQ(json.code, 0) << json.err;
    EXPECT_TRUE(IsValidUtf8(json.out));
    // Control characters come back as they were; the byte that is not UTF-8 as the text \xFF.
    EXPECT_EQ(CMiniJsonParser::Parse(json.out)["devices"][0]["name"].text, "Sim\nTablet: Fake (NORMAL mode)\x1b[31m\\xFF");

    // The same for a path on the error line and in the error object.
    const std::string path = "bad\xfe\n\x1b[2Jname.pen";
    const ProgramRun missing = Program({"inspect", path, "--json"});
    EXPECT_EQ(missing.code, 1);
    EXPECT_EQ(missing.err, "vellum-fwupdater: cannot read bad\\xFE\\n\\x1B[2Jname.pen: No such file or directory\n");
    EXPECT_TRUE(IsValidUtf8(missing.out));
    EXPECT_EQ(CMiniJsonParser::Parse(missing.out)["error"].text, "cannot read bad\\xFE\n\x1b[2Jname.pen: No such file or directory");
}

TEST_F(CliProcess, TheDialogSpeaksOnStderrAndErrorsHaveOneStyle)
{
    // Hardware mode without a tablet: the dialog's own error text, in the program's error style.
    const ProgramRun none = Program({"--log-dir", mLogs.Path().string(), "update", "--type", "pen",
                                     Scenario("basic/basic.pen"), "--yes"});
    EXPECT_EQ(none.code, 1);
    EXPECT_EQ(none.out, "");
    EXPECT_NE(none.err.find("vellum-fwupdater: Error: No supported tablet is connected.  Please connect a tablet.\n"),
              std::string::npos)
        << none.err;
}
