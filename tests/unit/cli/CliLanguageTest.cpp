// The command line in the user's language (the strings themselves: the string table tests).

#include "CliProcess.h"

#include "FWUpdater/CliStringIds.h"
#include "FWUpdater/CliText.h"
#include "ResourceUtils.h"

#include <tuple>

// A translation may reorder them; an argument is never scanned again nor looked up.
TEST(CliText, PlaceholdersAreReplacedInTheTranslationsOrder)
{
    const std::tuple<const char*, Strings, const char*> cases[] = {
        {"%1 and %2", {"a", "b"}, "a and b"}, {"%2 before %1", {"a", "b"}, "b before a"}, {"%1%1", {"x"}, "xx"},
        {"100%% of %1", {"x"}, "100% of x"},  {"%3 is missing", {"a"}, "%3 is missing"}, {"%1", {"%2"}, "%2"},
        {"%0 and % and %", {"a"}, "%0 and % and %"}, {"", {"a"}, ""},
    };
    for (const auto& [pattern, arguments, expected] : cases)
        EXPECT_EQ(ResourceUtils::FormatText(pattern, arguments), expected) << pattern;
    const CCliMessage verbatim(IDS_CLI_UPDATE_FAILED_BECAUSE, {"3000 %1"});
    EXPECT_EQ(verbatim.In(0x000C), "la mise à jour a échoué\u00a0: 3000 %1");
}

// German (found along the fallback chain), French, Spanish, Russian, Japanese, Swedish (no strings
// of its own), English.
TEST(CliText, TheConfirmationFollowsTheLanguageAndAlwaysTakesEnglish)
{
    const std::tuple<std::uint16_t, const char*, bool> cases[] = {
        {0x0407, "j", true},   {0x0407, "Ja", true},    {0x0407, " JA \n", true}, {0x0407, "y", true},
        {0x0407, "yes", true}, {0x0407, "n", false},    {0x0407, "nein", false},  {0x0407, "jein", false},
        {0x0407, "", false},   {0x0407, "j a", false},  {0x000C, "o", true},      {0x000C, "OUI", true},
        {0x000C, "j", false},  {0x0C0A, "sí", true},     {0x0C0A, "SÍ", true},      {0x0C0A, "si", true},
        {0x0C0A, "no", false},  {0x0019, "да", true},     {0x0019, "Да", true},      {0x0019, "Д", true},
        {0x0019, "нет", false}, {0x0011, "はい", true},    {0x0011, "Y", true},       {0x0011, "いいえ", false},
        {0x041D, "y", true},    {0x041D, "j", false},     {0x0009, "ja", false},     {0x0009, "yes", true},
    };
    for (const auto& [language, answer, yes] : cases)
        EXPECT_EQ(IsYesAnswer(answer, language), yes) << language << " '" << answer << "'";
}

// Text, the first line's column, the indent of the others, the width, the lines.
TEST(CliText, WrappedTextBreaksAtBlanksOrBetweenWideCharacters)
{
    const std::tuple<const char*, std::size_t, std::size_t, std::size_t, const char*> cases[] = {
        {"aaa bbb ccc", 0, 2, 8, "aaa bbb\n  ccc"},           // the blank that fits stays on the line
        {"aaa bbb", 5, 5, 10, "aaa\n     bbb"},               // the first line starts after a label
        {"a\nb", 0, 3, 80, "a\n   b"},                        // the text's own lines are indented
        {"abcdefghijkl", 0, 0, 5, "abcdefghijkl"},            // a word is never cut
        {"あいうえお", 0, 2, 6, "あいう\n  えお"},               // two columns each, no blanks needed
        {"あいう。え", 0, 0, 6, "あい\nう。え"},                 // no line starts with closing punctuation
        {"（あいう", 0, 0, 4, "（あ\nいう"},                    // nor ends with opening punctuation
        {"가나다 라마바", 0, 0, 8, "가나다\n라마바"},             // Korean breaks at blanks only
        {"ab あい", 0, 0, 4, "ab\nあい"},                     // no blank left at the end of a line
        {"あい)", 0, 0, 4, "あ\nい)"},                        // nor one starting with ASCII closing punctuation
        {"", 4, 4, 10, ""},
    };
    for (const auto& [text, firstColumn, indent, width, expected] : cases)
        EXPECT_EQ(WrappedText(text, firstColumn, indent, width), expected) << text;
    EXPECT_EQ(DisplayWidth("über"), 4u);
    EXPECT_EQ(DisplayWidth("ｘ"), 2u);          // full-width form
    EXPECT_EQ(DisplayWidth("\xFF" "a"), 2u); // a stray byte takes one column
}

// A line translated, none of the English words it replaces, labels lined up; JSON in English.
TEST_F(CliProcess, RunsInTheUsersLanguage)
{
    struct Case
    {
        Strings arguments;
        int code;
        std::string shown; // on stdout or stderr
        Strings english;   // words the translation replaces
        std::string jsonError = "";
        Strings environment = {};
    };
    WriteFile(mWork.File("empty.ini"), "[]\n");
    const std::string folder = mWork.Path().string();
    const Case cases[] = {
        {{"--lang", "de", "--simulate", "list"}, 0, "Tablet: Vellum Sim Tablet (Normalmodus)\n",
         {"Pen Firmware", "Touch Firmware", "NORMAL", "Not Supported", "vendor", "product"}},
        // The locale decides without --lang.
        {{"--simulate", "--topology", "empty.ini", "list"}, 0, "Aucune tablette prise en charge trouvée.\n", {"No supported"},
         "", {"LANG=fr_FR.UTF-8"}},
        {{"--lang", "ru", "inspect", Scenario("basic/basic.pen")}, 0, "\nФормат: pen (0)\nБлоки: 1\n  0x00001000  ",
         {"File:", "Format:", "Blocks:", "size", "byte sum"}},
        {{"--lang", "es", "inspect", folder, "--json"}, 1, "no se puede leer " + folder + ": es una carpeta", {"cannot read"},
         "cannot read " + folder + ": it is a folder, not a firmware file"},
        {Update({"--lang", "fr", "--simulate", "--topology", MismatchedTopology()}, Scenario("basic/basic.pen"), {"--yes"}), 1,
         "Continuer\u00a0? [o/N] oui (--yes)\n",
         {"Result", "Current Firmware", "Next step", "Log file", "unchanged", "You are about to", "failed"}, "", {kFast}},
        // The unattended form: -lang's language or else the locale's.
        {{"--simulate", "-path", "nothing", "-auto", "pen"}, 1, "Erreur : Mettre à jour le périphérique cible introuvable.",
         {"Error:"}, "", {"LC_ALL=fr_FR.UTF-8"}},
        {{"--simulate", "-path", "nothing", "-auto", "pen", "-lang", "es"}, 1,
         "Error: no se ha encontrado el dispositivo de destino", {"Erreur"}, "", {"LC_ALL=fr_FR.UTF-8"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        const ProgramRun run = Program(c.arguments, c.environment);
        EXPECT_EQ(run.code, c.code) << run.err;
        ExpectHas(run.out + run.err, c.shown);
        for (const std::string& word : c.english)
            EXPECT_EQ((run.err + (c.jsonError.empty() ? run.out : "")).find(word), std::string::npos) << word;
        if (!c.jsonError.empty()) {
            EXPECT_EQ(run.Json()["error"].Text(), c.jsonError) << run.out;
        }
        std::size_t column = 0;
        for (const std::string& line : SplitLines(run.out)) {
            const std::size_t colon = line.find(": ");
            if (line.rfind("  ", 0) != 0 || line[2] == ' ' || colon == std::string::npos)
                continue;
            const std::size_t value = ShownColumns(line.substr(0, line.find_first_not_of(' ', colon + 1)));
            column = column == 0 ? value : column;
            EXPECT_EQ(value, column) << line;
        }
    }
}

TEST_F(CliProcess, HelpInEveryLanguageKeepsTheCommandLineAsWritten)
{
    // English: the text the manual page and the completion are checked against.
    const ProgramRun en = Program({"--help"});
    EXPECT_EQ(en.code, 0);
    EXPECT_EQ(en.out, ReadFile(VFWU_SOURCE_DIR "/tests/unit/cli/help_en.txt"));
    EXPECT_EQ(Program({"-h"}, {"LANG=sv_SE.UTF-8"}).out, en.out) << "a language without strings shows English";
    // Usage lines as typed; translations wrapped within the English width, no blank at an end.
    const auto usage = [](const std::string& help_I) {
        Strings lines;
        for (const std::string& line : SplitLines(help_I)) {
            EXPECT_TRUE(line.empty() || line.back() != ' ') << "'" << line << "'";
            if (line.rfind("  vellum-fwupdater ", 0) == 0) {
                lines.push_back(line);
            } else {
                EXPECT_LE(ShownColumns(line), 90u) << line;
            }
        }
        return lines;
    };
    const Strings englishUsage = usage(en.out);
    ASSERT_EQ(englishUsage.size(), 5u);
    for (const char* language : {"de", "es", "fr", "it", "ja", "ko", "nl", "pl", "pt", "ru", "zh_TW", "zh_CN"}) {
        SCOPED_TRACE(language);
        const ProgramRun run = Program({"--lang", language, "--help"});
        EXPECT_NE(run.out, en.out);
        EXPECT_EQ(usage(run.out), englishUsage);
    }
}
