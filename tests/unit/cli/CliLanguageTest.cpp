// The command line in the user's language: its labels, prompt, notices and errors come from the
// strings source; the confirmation accepts the language's yes; JSON stays English.

#include "CliProcess.h"
#include "MiniJson.h"
#include "TestSupport.h"

#include "FWUpdater/CTerminalView.h"
#include "FWUpdater/CliStringIds.h"
#include "FWUpdater/CliText.h"
#include "ResourceUtils.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

constexpr std::uint16_t kGerman = 0x0407; // de_DE: found along the fallback chain (0x0007)
constexpr std::uint16_t kFrench = 0x000C;
constexpr std::uint16_t kSpanish = 0x0C0A;
constexpr std::uint16_t kRussian = 0x0019;
constexpr std::uint16_t kJapanese = 0x0011;
constexpr std::uint16_t kSwedish = 0x041D; // no strings of its own: English

// Restores the command line's language after a test that sets it.
class CLanguageScope
{
public:
    explicit CLanguageScope(std::uint16_t languageId_I) : mBefore(CliLanguage()) { SetCliLanguage(languageId_I); }
    ~CLanguageScope() { SetCliLanguage(mBefore); }

private:
    std::uint16_t mBefore;
};

// The English words a translated output must no longer hold.
void ExpectNone(const std::string& text_I, const std::vector<std::string>& words_I)
{
    for (const std::string& word : words_I)
        EXPECT_EQ(text_I.find(word), std::string::npos) << "'" << word << "' left in:\n" << text_I;
}

} // namespace

TEST(CliText, PlaceholdersAreReplacedInTheTranslationsOrder)
{
    using ResourceUtils::FormatText;
    struct Case
    {
        const char* pattern;
        std::vector<std::string> arguments;
        const char* expected;
    };
    const Case cases[] = {
        {"%1 and %2", {"a", "b"}, "a and b"},
        {"%2 before %1", {"a", "b"}, "b before a"}, // a translation may reorder
        {"%1%1", {"x"}, "xx"},
        {"100%% of %1", {"x"}, "100% of x"},
        {"%3 is missing", {"a"}, "%3 is missing"}, // kept as written, not an empty hole
        {"%0 and % and %", {"a"}, "%0 and % and %"},
        {"%1", {"%2"}, "%2"}, // an argument is not scanned again
        {"", {"a"}, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatText(c.pattern, c.arguments), c.expected) << c.pattern;
}

TEST(CliText, MessagesAreShownTranslatedAndGivenToScriptsInEnglish)
{
    // Nested: the kind of file is a message of its own, translated with the sentence.
    const CCliMessage message(IDS_CLI_NOT_FIRMWARE_FILE_KIND, {"/tmp/x", CCliMessage::Id(IDS_CLI_KIND_FOLDER)});
    EXPECT_EQ(message.English(), "cannot read /tmp/x: it is a folder, not a firmware file");
    EXPECT_EQ(message.In(kGerman), "/tmp/x kann nicht gelesen werden: es ist ein Ordner, keine Firmware-Datei");
    EXPECT_EQ(message.In(kSwedish), message.English());
    // A verbatim argument is never looked up, whatever it looks like.
    const CCliMessage verbatim(IDS_CLI_UPDATE_FAILED_BECAUSE, {"3000 %1"});
    EXPECT_EQ(verbatim.In(kFrench), "la mise à jour a échoué\u00a0: 3000 %1");
    {
        CLanguageScope german(kGerman);
        EXPECT_EQ(message.Text(), message.In(kGerman));
        EXPECT_EQ(CliText(IDS_CLI_UNCHANGED, {"1.05"}), "1.05 (unverändert)");
    }
    EXPECT_TRUE(CCliMessage().Empty());
    EXPECT_FALSE(CCliMessage::Id(IDS_CLI_RESULT).Empty());
}

// The terminal recognises the model's own English texts by the English entries of the strings
// source: each must be the model's text exactly, or it would silently stay English.
TEST(CliText, TheModelsOwnTextsAreTheEnglishEntries)
{
    const std::string model = ReadFile(VFWU_SOURCE_DIR "/Common/FWUpdater/CMainDialogModel.cpp");
    for (const int id : {IDS_CLI_TOUCH_MISSING, IDS_CLI_BLUETOOTH_MISSING, IDS_CLI_INVALID_FILE, IDS_CLI_TYPE_MISMATCH,
                         IDS_CLI_NOT_AVAILABLE, IDS_CLI_NOT_SUPPORTED}) {
        const std::string english = ResourceUtils::LoadFormattedText(static_cast<std::uint32_t>(id), kCliEnglish);
        EXPECT_NE(model.find("u\"" + english + "\""), std::string::npos) << english;
        CLanguageScope german(kGerman);
        EXPECT_NE(ShownModelText(english), english) << english;
    }
    // (The confirmation, split over two source lines there, is checked in a run: AFailedUpdateInFrench.)
    EXPECT_EQ(ShownModelText("Programming"), "Programming");
}

TEST(CliText, TheConfirmationFollowsTheLanguageAndAlwaysTakesEnglish)
{
    struct Case
    {
        std::uint16_t language;
        const char* answer;
        bool yes;
    };
    const Case cases[] = {
        {kGerman, "j", true},     {kGerman, "Ja", true},    {kGerman, " JA \n", true}, {kGerman, "y", true},
        {kGerman, "yes", true},   {kGerman, "n", false},    {kGerman, "nein", false},  {kGerman, "jein", false},
        {kGerman, "", false},     {kGerman, "j a", false},  {kFrench, "o", true},      {kFrench, "OUI", true},
        {kFrench, "j", false},    {kSpanish, "sí", true},   {kSpanish, "SÍ", true},    {kSpanish, "si", true},
        {kSpanish, "no", false},  {kRussian, "да", true},   {kRussian, "Да", true},    {kRussian, "Д", true},
        {kRussian, "нет", false}, {kJapanese, "はい", true}, {kJapanese, "Y", true},    {kJapanese, "いいえ", false},
        {kSwedish, "y", true},    {kSwedish, "j", false},   {0x0009, "ja", false},     {0x0009, "yes", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsYesAnswer(c.answer, c.language), c.yes) << c.language << " '" << c.answer << "'";
}

TEST(CliText, TheTerminalAsksInTheLanguageAndJConfirmsInGerman)
{
    CLanguageScope german(kGerman);
    CTerminalView::Settings settings;
    settings.canPrompt = true;
    struct Case
    {
        const char* input;
        EMessageResult expected;
    };
    const Case cases[] = {{"j\n", EMessageResult::eYes}, {"ja\n", EMessageResult::eYes}, {"y\n", EMessageResult::eYes},
                          {"n\n", EMessageResult::eNo},  {"nein\n", EMessageResult::eNo}, {"x\n", EMessageResult::eNo},
                          {"", EMessageResult::eNo}};
    for (const Case& c : cases) {
        std::ostringstream out;
        std::istringstream in(c.input);
        CTerminalView view(out, in, settings);
        EXPECT_EQ(view.ShowMessage(u"?", u"Titel", EMessageIcon::eNone, EMessageButtons::eYesNo), c.expected) << c.input;
        EXPECT_NE(out.str().find("Fortfahren? [j/N] "), std::string::npos) << out.str();
        ExpectNone(out.str(), {"Continue"});
    }
    std::ostringstream out;
    std::istringstream in;
    settings.assumeYes = true;
    CTerminalView assumed(out, in, settings);
    EXPECT_EQ(assumed.ShowMessage(u"?", u"Titel", EMessageIcon::eNone, EMessageButtons::eYesNo), EMessageResult::eYes);
    EXPECT_NE(out.str().find("Fortfahren? [j/N] ja (--yes)\n"), std::string::npos) << out.str();
}

TEST_F(CliProcess, ListInGerman)
{
    const ProgramRun run = Program({"--lang", "de", "--simulate", "list"});
    ASSERT_EQ(run.code, 0) << run.err;
    for (const char* text : {"Tablet: Vellum Sim Tablet (Normalmodus)\n", "  Firmware-Version Stift:      1.05\n",
                             "      HID, Hersteller 0xFFFF, Produkt 0x0100\n", "  Firmware-Version Bluetooth:  Nicht unterstützt\n"})
        EXPECT_NE(run.out.find(text), std::string::npos) << text << "\n" << run.out;
    ExpectNone(run.out, {"Pen Firmware", "Touch Firmware", "Bluetooth Firmware", "NORMAL", "Not Supported", "vendor",
                         "product"});

    // The locale decides without --lang; none found is translated too (a topology that describes
    // no tablet recognises none).
    WriteFile(mWork.File("empty.ini"), "[]\n");
    const ProgramRun none = Program({"--simulate", "--topology", mWork.File("empty.ini"), "list"}, {"LANG=fr_FR.UTF-8"});
    EXPECT_EQ(none.code, 0) << none.err;
    EXPECT_EQ(none.out, "Aucune tablette prise en charge trouvée.\n");
}

TEST_F(CliProcess, InspectAndErrorsInOtherLanguages)
{
    const ProgramRun inspect = Program({"--lang", "ru", "inspect", Scenario("basic/basic.pen")});
    ASSERT_EQ(inspect.code, 0) << inspect.err;
    EXPECT_EQ(inspect.out.rfind("Файл: ", 0), 0u) << inspect.out;
    EXPECT_NE(inspect.out.find("\nФормат: pen (0)\nБлоки: 1\n  0x00001000  размер 20480  сумма байтов "), std::string::npos) << inspect.out;
    ExpectNone(inspect.out, {"File:", "Format:", "Blocks:", "size", "byte sum"});

    // A folder as the firmware file: the sentence and the kind of file in Spanish; with --json
    // the object a script reads stays English.
    const ProgramRun folder = Program({"--lang", "es", "inspect", mWork.Path().string(), "--json"});
    EXPECT_EQ(folder.code, 1);
    EXPECT_NE(folder.err.find("vellum-fwupdater: no se puede leer " + mWork.Path().string() +
                              ": es una carpeta, no un archivo de firmware\n"),
              std::string::npos)
        << folder.err;
    EXPECT_EQ(CMiniJsonParser::Parse(folder.out)["error"].text,
              "cannot read " + mWork.Path().string() + ": it is a folder, not a firmware file");

    const ProgramRun scenario = Program({"--lang", "zh_TW", "--simulate=nowhere", "list"});
    EXPECT_EQ(scenario.code, 1);
    EXPECT_NE(scenario.err.find("vellum-fwupdater: 未知的情境 'nowhere' (已知："), std::string::npos) << scenario.err;
    ExpectNone(scenario.err, {"unknown scenario"});
}

TEST_F(CliProcess, AFailedUpdateInFrench)
{
    // The topology expects another block count than the pen loader describes: the update stops
    // in the loader before anything is erased (as in the English test of a failed update).
    std::string topology = ReadFile(Scenario("basic/fw_loader.ini"));
    const std::string sectors = "\"sectors\": 40";
    ASSERT_NE(topology.find(sectors), std::string::npos);
    topology.replace(topology.find(sectors), sectors.size(), "\"sectors\": 39");
    WriteFile(mWork.File("fw_loader.ini"), topology);
    const std::vector<std::string> update = {"--lang",    "fr",   "--simulate",    "--topology", mWork.File("fw_loader.ini"),
                                             "--log-dir", mLogs.Path().string(), "update",     "--type",
                                             "pen",       Scenario("basic/basic.pen"), "--yes"};
    const ProgramRun run = Program(update);
    EXPECT_EQ(run.code, 1) << run.out << run.err;
    // The cause is the controller's own text, as the log has it.
    const std::string cause = "InitCheckForSRecData: Sector/Block mismatch! Expected 39 got 40";
    EXPECT_NE(run.err.find("vellum-fwupdater: la mise à jour a échoué\u00a0: " + cause + "\n"), std::string::npos)
        << run.err;
    for (const char* text : {"Vous allez mettre à jour le micrologiciel.\n\n", "Micrologiciel actuel\n", "  Version du micrologiciel du stylet\u00a0: ",
                             "Nouveau micrologiciel\n", "Continuer\u00a0? [o/N] oui (--yes)\n"})
        EXPECT_NE(run.err.find(text), std::string::npos) << text << "\n" << run.err;
    EXPECT_EQ(run.out.rfind("Résultat\n", 0), 0u) << run.out;
    for (const char* text : {"1.05 -> 1.05 (inchangée)\n", "  Cause\u00a0:", "  Étape suivante\u00a0:",
                             "corrigez la cause, puis relancez la commande\n", "  Fichier journal\u00a0:"})
        EXPECT_NE(run.out.find(text), std::string::npos) << text << "\n" << run.out;
    ExpectNone(run.out + run.err, {"Result", "Current Firmware", "New Firmware", "Next step", "Old Checksum",
                                   "Log file", "unchanged", "Continue?", "You are about to", "the update failed", "Firmware File"});
    // The labels of the result block line up: every value starts in the same column.
    std::size_t column = 0;
    for (const std::string& line : SplitLines(run.out)) {
        if (line.rfind("  ", 0) != 0)
            continue;
        const std::size_t colon = line.find(':');
        ASSERT_NE(colon, std::string::npos) << line;
        const std::size_t value = TextWidth(line.substr(0, line.find_first_not_of(' ', colon + 1)));
        if (column == 0)
            column = value;
        EXPECT_EQ(value, column) << line;
    }

    // With --json the summary a script reads stays English.
    std::vector<std::string> json = update;
    json.push_back("--json");
    const ProgramRun script = Program(json);
    EXPECT_EQ(script.code, 1);
    EXPECT_EQ(CMiniJsonParser::Parse(script.out)["error"].text, "the update failed: " + cause);
    EXPECT_NE(script.err.find("la mise à jour a échoué"), std::string::npos);
}

TEST_F(CliProcess, TheCommandLinesOwnErrorsInTheLanguageItAskedFor)
{
    struct Case
    {
        std::vector<std::string> arguments;
        std::vector<std::string> environment;
        const char* error;
        const char* hint;
    };
    const Case cases[] = {
        {{"--lang", "de", "frobnicate"}, {}, "vellum-fwupdater: unbekannter Befehl 'frobnicate'\n", "Siehe 'vellum-fwupdater --help'.\n"},
        {{"--lang=it", "--type", "pencil", "update", "f.pen"}, {}, "--type deve essere pen, touch o bluetooth, non 'pencil'\n",
         "Provare 'vellum-fwupdater --help'.\n"},
        // Without --lang the locale decides, even when the line is wrong before the language.
        {{"--bogus", "list"}, {"LANG=pl_PL.UTF-8"}, "vellum-fwupdater: nieznana opcja '--bogus'\n", "Spróbuj 'vellum-fwupdater --help'.\n"},
        {{"--lang", "zh_CN", "--sim-state", "s", "list"}, {}, "--sim-state 需要 --simulate\n", "请参阅 'vellum-fwupdater --help'。\n"},
    };
    for (const Case& c : cases) {
        const ProgramRun run = Program(c.arguments, c.environment);
        EXPECT_EQ(run.code, 1);
        EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(c.hint), std::string::npos) << run.err;
        ExpectNone(run.err, {"unknown", "must be", "needs", "Try"});
    }
    // The object a script reads stays English.
    const ProgramRun json = Program({"--lang", "ja", "update", "--json"});
    EXPECT_EQ(CMiniJsonParser::Parse(json.out)["error"].text, "update needs --type pen|touch|bluetooth");
    EXPECT_NE(json.err.find("update には --type pen|touch|bluetooth が必要です"), std::string::npos) << json.err;
}

TEST(CliText, WrappedTextBreaksAtBlanksOrBetweenWideCharacters)
{
    struct Case
    {
        const char* text;
        std::size_t firstColumn;
        std::size_t indent;
        std::size_t width;
        const char* expected;
    };
    const Case cases[] = {
        {"abc def", 0, 2, 10, "abc def"},                  // fits: as written
        {"aaa bbb ccc", 0, 2, 8, "aaa bbb\n  ccc"},        // the blank that fits stays on the line
        {"aaa bbb", 5, 5, 10, "aaa\n     bbb"},            // the first line starts after a label
        {"a\nb", 0, 3, 80, "a\n   b"},                     // the text's own lines are indented
        {"aaaa bbbb\ncc dd", 0, 1, 6, "aaaa\n bbbb\n cc dd"}, // each of them wrapped on its own
        {"abcdefghijkl", 0, 0, 5, "abcdefghijkl"},         // a word is never cut
        {"あいうえお", 0, 2, 6, "あいう\n  えお"},            // two columns each, no blanks needed
        {"あいう。え", 0, 0, 6, "あい\nう。え"},              // no line starts with closing punctuation
        {"（あいう", 0, 0, 4, "（あ\nいう"},                 // nor ends with opening punctuation
        {"가나다 라마바", 0, 0, 8, "가나다\n라마바"},          // Korean breaks at blanks only
        {"가나다라마바", 0, 0, 8, "가나다라마바"},
        {"ab あい", 0, 0, 4, "ab\nあい"},                  // no blank left at the end of a line
        {"あい)", 0, 0, 4, "あ\nい)"},                     // nor one that starts with ASCII closing punctuation
        {"a(あい", 0, 0, 4, "a(あ\nい"},                  // ... or ends with an opening one
        {"", 4, 4, 10, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WrappedText(c.text, c.firstColumn, c.indent, c.width), c.expected) << c.text;

    EXPECT_EQ(DisplayWidth("abc"), 3u);
    EXPECT_EQ(DisplayWidth("日本"), 4u);
    EXPECT_EQ(DisplayWidth("über"), 4u);
    EXPECT_EQ(DisplayWidth("한글"), 4u);
    EXPECT_EQ(DisplayWidth("ｘ"), 2u);   // full-width form
    EXPECT_EQ(DisplayWidth("\xFF" "a"), 2u); // a stray byte takes one column
}

namespace {

// The entries' labels of --help: the same, in the same order, in every language.
const char* const kHelpLabels[] = {
    "  list      ", "  inspect   ", "  update    ", "    --device PATH  ", "    --verify  ", "    --json    ",
    "  -path PATH -auto BOARD [-lang LOCALE]\n            ", "  .pen, .vel   ", "  .touch       ", "  .hex         ",
    "  .airoflash   ", "  --simulate[=SCENARIO]  ", "  --sim-state FILE       ", "  --sim-faults SPEC      ",
    "  --topology FILE        ", "  --lang LOCALE          ", "  --log-dir DIR          ", "  -h, --help             ",
    "  --version              "};

// The lines of the usage: as the English text has them.
std::vector<std::string> UsageLines(const std::string& help_I)
{
    std::vector<std::string> lines;
    for (const std::string& line : SplitLines(help_I)) {
        if (line.rfind("  vellum-fwupdater ", 0) == 0)
            lines.push_back(line);
    }
    return lines;
}

void ExpectLabelsInOrder(const std::string& help_I)
{
    std::size_t from = 0;
    for (const char* label : kHelpLabels) {
        const std::size_t at = help_I.find(std::string("\n") + label, from);
        ASSERT_NE(at, std::string::npos) << "'" << label << "' missing or out of order in:\n" << help_I;
        from = at + 1;
    }
}

// Columns as a terminal shows the German and Japanese texts: there a three-byte character (kana,
// kanji, their punctuation) takes two, anything else one.
std::size_t TerminalColumns(const std::string& line_I)
{
    std::size_t columns = 0;
    for (std::size_t i = 0; i < line_I.size();) {
        const auto c = static_cast<unsigned char>(line_I[i]);
        const std::size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        columns += length == 3 ? 2 : 1;
        i += length;
    }
    return columns;
}

} // namespace

TEST_F(CliProcess, HelpInTheUsersLanguageWithTheCommandLineAsWritten)
{
    // English: exactly the text the manual page and the completion are checked against.
    std::string english = ReadFile(VFWU_SOURCE_DIR "/tests/unit/cli/help_en.txt");
    const ProgramRun en = Program({"--help"});
    EXPECT_EQ(en.code, 0);
    std::string shown = en.out;
    const std::string unavailable = "                         (--sim-state and --sim-faults are not available in this build)\n";
    if (const std::size_t at = shown.find(unavailable); at != std::string::npos)
        shown.erase(at, unavailable.size()); // a build without the fault injection says so
    EXPECT_EQ(shown, english);
    EXPECT_EQ(Program({"-h"}, {"LANG=sv_SE.UTF-8"}).out, en.out) << "a language without strings shows English";
    ExpectLabelsInOrder(en.out);

    // German by --lang before or after --help, or by the locale.
    const ProgramRun de = Program({"--lang", "de", "--help"});
    EXPECT_EQ(de.code, 0);
    EXPECT_EQ(Program({"--help", "--lang=de_AT"}).out, de.out);
    EXPECT_EQ(Program({"-h"}, {"LC_MESSAGES=de_DE.UTF-8"}).out, de.out);
    for (const char* text : {"Aufruf:\n", "Befehle:\n", "Globale Optionen:\n", "  -h, --help             dieser Text\n",
                             "Komma-Liste aus seed=N, drop=R (0..1: Anteil der Reports",
                             "seed=7,drop=0.01,busy=3000,power-loss-at=300\n", "Exit-Codes: 0 Erfolg; 1 Fehlschlag",
                             "Präfix \\\\?\\ und mit jedem '&' als '+' geschrieben"})
        EXPECT_NE(de.out.find(text), std::string::npos) << text << "\n" << de.out;
    ExpectNone(de.out, {"Usage:", "Commands:", "Global options:", "this text", "Exit codes", "the tablets found",
                        "Environment:", "unattended update"});
    EXPECT_EQ(UsageLines(de.out), UsageLines(english));
    EXPECT_EQ(UsageLines(english).size(), 5u);
    ExpectLabelsInOrder(de.out);

    // Longer translations wrap like the English text: within its width, continuation lines under
    // their entry's text.
    const ProgramRun ja = Program({"--lang", "ja", "--help"});
    EXPECT_EQ(UsageLines(ja.out), UsageLines(english));
    ExpectLabelsInOrder(ja.out);
    for (const ProgramRun* run : {&de, &ja}) {
        bool globalOptions = false;
        for (const std::string& line : SplitLines(run->out)) {
            if (line.rfind("  vellum-fwupdater ", 0) != 0) {
                EXPECT_LE(TerminalColumns(line), 90u) << line;
            }
            EXPECT_TRUE(line.empty() || line.back() != ' ') << "'" << line << "'";
            if (line.rfind("Globale Optionen:", 0) == 0 || line.rfind("グローバルオプション:", 0) == 0) {
                globalOptions = true;
                continue;
            }
            if (globalOptions && line.empty())
                globalOptions = false;
            if (globalOptions && line.rfind("  -", 0) != 0) {
                EXPECT_EQ(line.find_first_not_of(' '), 25u) << line;
            }
        }
    }
}
