// The command line in the user's language: its labels, prompt, notices and errors come from the
// strings source; the confirmation accepts the language's yes; JSON stays English.

#include "CliProcess.h"

#include "FWUpdater/CTerminalView.h"
#include "FWUpdater/CliStringIds.h"
#include "FWUpdater/CliText.h"
#include "ResourceUtils.h"

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

} // namespace

TEST(CliText, PlaceholdersAreReplacedInTheTranslationsOrder)
{
    struct Case
    {
        const char* pattern;
        Strings arguments;
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
    };
    for (const Case& c : cases)
        EXPECT_EQ(ResourceUtils::FormatText(c.pattern, c.arguments), c.expected) << c.pattern;

    // Nested: the kind of file is a message of its own, translated with the sentence.
    const CCliMessage message(IDS_CLI_NOT_FIRMWARE_FILE_KIND, {"/tmp/x", CCliMessage::Id(IDS_CLI_KIND_FOLDER)});
    EXPECT_EQ(message.English(), "cannot read /tmp/x: it is a folder, not a firmware file");
    EXPECT_EQ(message.In(kGerman), "/tmp/x kann nicht gelesen werden: es ist ein Ordner, keine Firmware-Datei");
    EXPECT_EQ(message.In(kSwedish), message.English());
    // A verbatim argument is never looked up, whatever it looks like.
    EXPECT_EQ(CCliMessage(IDS_CLI_UPDATE_FAILED_BECAUSE, {"3000 %1"}).In(kFrench), "la mise à jour a échoué\u00a0: 3000 %1");
    CLanguageScope german(kGerman);
    EXPECT_EQ(message.Text(), message.In(kGerman));
}

// The terminal recognises the model's own English texts by the English entries of the strings
// source: each must be the model's text exactly, or it would silently stay English.
TEST(CliText, TheModelsOwnTextsAreTheEnglishEntries)
{
    const std::string model = ReadFile(VFWU_SOURCE_DIR "/Common/FWUpdater/CMainDialogModel.cpp");
    CLanguageScope german(kGerman);
    for (const int id : {IDS_CLI_TOUCH_MISSING, IDS_CLI_BLUETOOTH_MISSING, IDS_CLI_INVALID_FILE, IDS_CLI_TYPE_MISMATCH,
                         IDS_CLI_NOT_AVAILABLE, IDS_CLI_NOT_SUPPORTED}) {
        const std::string english = ResourceUtils::LoadFormattedText(static_cast<std::uint32_t>(id), kCliEnglish);
        ExpectHas(model, "u\"" + english + "\"");
        EXPECT_NE(ShownModelText(english), english) << english;
    }
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
        {kGerman, "j", true},     {kGerman, " JA \n", true}, {kGerman, "y", true},     {kGerman, "yes", true},
        {kGerman, "nein", false}, {kGerman, "jein", false},  {kGerman, "", false},     {kGerman, "j a", false},
        {kFrench, "OUI", true},   {kFrench, "j", false},     {kSpanish, "sí", true},   {kSpanish, "SÍ", true},
        {kSpanish, "si", true},   {kSpanish, "no", false},   {kRussian, "Да", true},   {kRussian, "Д", true},
        {kRussian, "нет", false}, {kJapanese, "はい", true}, {kJapanese, "いいえ", false}, {kSwedish, "j", false},
        {0x0009, "ja", false},    {0x0009, "yes", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsYesAnswer(c.answer, c.language), c.yes) << c.language << " '" << c.answer << "'";

    // The terminal asks in the language; --yes answers there too.
    CLanguageScope german(kGerman);
    for (const bool assumeYes : {false, true}) {
        std::ostringstream out;
        std::istringstream in("j\n");
        CTerminalView::Settings settings;
        settings.canPrompt = true;
        settings.assumeYes = assumeYes;
        CTerminalView view(out, in, settings);
        EXPECT_EQ(view.ShowMessage(u"?", u"Titel", EMessageIcon::eNone, EMessageButtons::eYesNo), EMessageResult::eYes);
        ExpectHas(out.str(), assumeYes ? "Fortfahren? [j/N] ja (--yes)\n" : "Fortfahren? [j/N] ");
    }
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
        {"abc def", 0, 2, 10, "abc def"},                     // fits: as written
        {"aaa bbb ccc", 0, 2, 8, "aaa bbb\n  ccc"},           // the blank that fits stays on the line
        {"aaa bbb", 5, 5, 10, "aaa\n     bbb"},               // the first line starts after a label
        {"aaaa bbbb\ncc dd", 0, 1, 6, "aaaa\n bbbb\n cc dd"}, // the text's own lines, each wrapped
        {"abcdefghijkl", 0, 0, 5, "abcdefghijkl"},            // a word is never cut
        {"あいうえお", 0, 2, 6, "あいう\n  えお"},              // two columns each, no blanks needed
        {"あいう。え", 0, 0, 6, "あい\nう。え"},                // no line starts with closing punctuation
        {"（あいう", 0, 0, 4, "（あ\nいう"},                   // nor ends with opening punctuation
        {"가나다 라마바", 0, 0, 8, "가나다\n라마바"},            // Korean breaks at blanks only
        {"가나다라마바", 0, 0, 8, "가나다라마바"},
        {"ab あい", 0, 0, 4, "ab\nあい"},                     // no blank left at the end of a line
        {"あい)", 0, 0, 4, "あ\nい)"},                        // nor one that starts with ASCII closing punctuation
        {"a(あい", 0, 0, 4, "a(あ\nい"},                      // ... or ends with an opening one
    };
    for (const Case& c : cases)
        EXPECT_EQ(WrappedText(c.text, c.firstColumn, c.indent, c.width), c.expected) << c.text;
    for (const auto& [text, width] : {std::pair<const char*, std::size_t>{"über", 4}, {"日本", 4}, {"한글", 4}, {"ｘ", 2},
                                      {"\xFF" "a", 2}}) // a stray byte takes one column
        EXPECT_EQ(DisplayWidth(text), width) << text;
}

TEST_F(CliProcess, ListInspectAndErrorsInOtherLanguages)
{
    const ProgramRun list = Program({"--lang", "de", "--simulate", "list"});
    ASSERT_EQ(list.code, 0) << list.err;
    for (const char* text : {"Tablet: Vellum Sim Tablet (Normalmodus)\n", "  Firmware-Version Stift:      1.05\n",
                             "      HID, Hersteller 0xFFFF, Produkt 0x0100\n", "  Firmware-Version Bluetooth:  Nicht unterstützt\n"})
        ExpectHas(list.out, text);
    ExpectNone(list.out, {"Pen Firmware", "Touch Firmware", "NORMAL", "Not Supported", "vendor", "product"});
    // The locale decides without --lang; none found is translated too.
    WriteFile(mWork.File("empty.ini"), "[]\n");
    EXPECT_EQ(Program({"--simulate", "--topology", "empty.ini", "list"}, {"LANG=fr_FR.UTF-8"}).out,
              "Aucune tablette prise en charge trouvée.\n");

    const ProgramRun inspect = Program({"--lang", "ru", "inspect", Scenario("basic/basic.pen")});
    EXPECT_EQ(inspect.out.rfind("Файл: ", 0), 0u) << inspect.out;
    ExpectHas(inspect.out, "\nФормат: pen (0)\nБлоки: 1\n  0x00001000  размер 20480  сумма байтов ");
    ExpectNone(inspect.out, {"File:", "Format:", "Blocks:", "size", "byte sum"});

    // The sentence and the kind of file in Spanish; the object a script reads stays English.
    const ProgramRun folder = Program({"--lang", "es", "inspect", mWork.Path().string(), "--json"});
    ExpectHas(folder.err, "vellum-fwupdater: no se puede leer " + mWork.Path().string() +
                              ": es una carpeta, no un archivo de firmware\n");
    EXPECT_EQ(folder.Json()["error"].text, "cannot read " + mWork.Path().string() + ": it is a folder, not a firmware file");

    struct Case
    {
        Strings arguments;
        Strings environment;
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
        {{"--lang", "zh_TW", "--simulate=nowhere", "list"}, {}, "vellum-fwupdater: 未知的情境 'nowhere' (已知：", ""},
    };
    for (const Case& c : cases) {
        const ProgramRun run = Program(c.arguments, c.environment);
        EXPECT_EQ(run.code, 1);
        ExpectHas(run.err, c.error);
        ExpectHas(run.err, c.hint);
        ExpectNone(run.err, {"unknown", "must be", "needs", "Try"});
    }
    const ProgramRun json = Program({"--lang", "ja", "update", "--json"});
    EXPECT_EQ(json.Json()["error"].text, "update needs --type pen|touch|bluetooth");
    ExpectHas(json.err, "update には --type pen|touch|bluetooth が必要です");
}

namespace {

// The entries' labels of --help: the same, in the same order, in every language.
void ExpectLabelsInOrder(const std::string& help_I)
{
    std::size_t from = 0;
    for (const char* label : {"  list      ", "  inspect   ", "  update    ", "    --device PATH  ", "    --verify  ", "    --json    ",
                              "  -path PATH -auto BOARD [-lang LOCALE]\n            ", "  .pen, .vel   ", "  .touch       ",
                              "  .hex         ", "  .airoflash   ", "  --simulate[=SCENARIO]  ", "  --sim-state FILE       ",
                              "  --sim-faults SPEC      ", "  --topology FILE        ", "  --lang LOCALE          ",
                              "  --log-dir DIR          ", "  -h, --help             ", "  --version              "}) {
        const std::size_t at = help_I.find(std::string("\n") + label, from);
        ASSERT_NE(at, std::string::npos) << "'" << label << "' missing or out of order in:\n" << help_I;
        from = at + 1;
    }
}

Strings UsageLines(const std::string& help_I)
{
    Strings lines;
    for (const std::string& line : SplitLines(help_I)) {
        if (line.rfind("  vellum-fwupdater ", 0) == 0)
            lines.push_back(line);
    }
    return lines;
}

// Columns as a terminal shows the German and Japanese texts: a three-byte character (kana,
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
    const std::string english = ReadFile(VFWU_SOURCE_DIR "/tests/unit/cli/help_en.txt");
    const ProgramRun en = Program({"--help"});
    EXPECT_EQ(en.code, 0);
    std::string shown = en.out;
    const std::string unavailable = "                         (--sim-state and --sim-faults are not available in this build)\n";
    if (const std::size_t at = shown.find(unavailable); at != std::string::npos)
        shown.erase(at, unavailable.size()); // a build without the fault injection says so
    EXPECT_EQ(shown, english);
    EXPECT_EQ(Program({"-h"}, {"LANG=sv_SE.UTF-8"}).out, en.out) << "-h, and a language without strings shows English";
    EXPECT_EQ(Program({"list", "-h"}).out, en.out);
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
        ExpectHas(de.out, text);
    ExpectNone(de.out, {"Usage:", "Commands:", "Global options:", "this text", "Exit codes", "the tablets found",
                        "Environment:", "unattended update"});
    EXPECT_EQ(UsageLines(english).size(), 5u);

    // Longer translations wrap like the English text: within its width, continuation lines under
    // their entry's text; the usage lines as written.
    const ProgramRun ja = Program({"--lang", "ja", "--help"});
    for (const ProgramRun* run : {&de, &ja}) {
        EXPECT_EQ(UsageLines(run->out), UsageLines(english));
        ExpectLabelsInOrder(run->out);
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
            globalOptions = globalOptions && !line.empty();
            if (globalOptions && line.rfind("  -", 0) != 0) {
                EXPECT_EQ(line.find_first_not_of(' '), 25u) << line;
            }
        }
    }
}
