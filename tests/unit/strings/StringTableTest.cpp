// The one source of the localized strings, the table generated from it, and the Windows
// STRINGTABLE fragments generated from it.

#include "ResourceUtils.h"
#include "StringTable.h"
#include "StringUtils.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <regex>
#include <set>

namespace {

const std::string kSource = VFWU_SOURCE_DIR "/Common/Strings/strings.txt";
const std::string kGenerator = VFWU_SOURCE_DIR "/Common/Strings/GenerateStrings.cmake";
const std::string kRcDir = VFWU_BINARY_DIR "/Common/generated/rc";

const std::set<std::uint16_t> kResourceLanguages = {0x0007, 0x0009, 0x000A, 0x000C, 0x0010, 0x0011, 0x0012,
                                                    0x0013, 0x0015, 0x0016, 0x0019, 0x0404, 0x0804};
// The dialog's strings; the command line's own are 3000 and up (Common/FWUpdater/CliStringIds.h).
const std::set<std::uint32_t> kDialogIds = {2000, 2100, 2101, 2102, 2103, 2104, 2105, 2106, 2200, 2201, 2202, 2203};
const std::string kCliIdsHeader = VFWU_SOURCE_DIR "/Common/FWUpdater/CliStringIds.h";

using Texts = std::map<std::uint16_t, std::map<std::uint32_t, std::string>>;

// An independent reading of the source format, so that the generator is checked against it.
Texts ReadSource(const std::string& path_I)
{
    Texts texts;
    std::uint16_t language = 0;
    for (std::string line : SplitLines(ReadFile(path_I))) {
        Trim(line);
        if (line.empty() || line[0] == '#')
            continue;
        if (line.rfind("language ", 0) == 0) {
            language = static_cast<std::uint16_t>(std::stoul(line.substr(9), nullptr, 16));
            texts[language];
            continue;
        }
        const std::size_t open = line.find('"');
        EXPECT_NE(open, std::string::npos) << line;
        EXPECT_EQ(line.back(), '"') << line;
        const std::uint32_t id = static_cast<std::uint32_t>(std::stoul(line.substr(0, open)));
        std::string text;
        for (std::size_t i = open + 1; i + 1 < line.size(); ++i) {
            if (line[i] == '\\') {
                ++i;
                text.push_back(line[i] == 'n' ? '\n' : line[i]);
            } else {
                text.push_back(line[i]);
            }
        }
        texts[language][id] = text;
    }
    return texts;
}

int RunGenerator(const std::string& args_I, const std::string& log_I)
{
    const std::string command = std::string("\"") + VFWU_CMAKE_COMMAND + "\" " + args_I + " -P \"" + kGenerator +
                                "\" >\"" + log_I + "\" 2>&1";
    return std::system(command.c_str());
}

// The texts of a STRINGTABLE fragment: id -> the wide string between L" and ", escapes resolved.
std::map<std::uint32_t, std::u16string> ParseRcFragment(const std::string& text_I, std::string* language_O)
{
    std::map<std::uint32_t, std::u16string> entries;
    for (std::string line : SplitLines(text_I)) {
        Trim(line);
        if (line.rfind("LANGUAGE ", 0) == 0 && language_O)
            *language_O = line;
        const std::size_t open = line.find("L\"");
        if (open == std::string::npos)
            continue;
        const std::uint32_t id = static_cast<std::uint32_t>(std::stoul(line.substr(0, line.find(','))));
        std::u16string value;
        for (std::size_t i = open + 2; i < line.size() && line[i] != '"'; ++i) {
            if (line.compare(i, 6, "\\x0298") == 0) {
                value.push_back(0x0298);
                i += 5;
            } else if (line.compare(i, 2, "\\0") == 0) {
                value.push_back(0);
                i += 1;
            } else {
                value.push_back(static_cast<unsigned char>(line[i]));
            }
        }
        entries[id] = value;
    }
    return entries;
}

} // namespace

std::set<std::uint32_t> IdsOf(const std::map<std::uint32_t, std::string>& strings_I)
{
    std::set<std::uint32_t> ids;
    for (const auto& entry : strings_I)
        ids.insert(entry.first);
    return ids;
}

// The ids the command line uses: every "#define IDS_CLI_... <id>" of its header.
std::set<std::uint32_t> CliIds()
{
    std::set<std::uint32_t> ids;
    for (const std::string& line : SplitLines(ReadFile(kCliIdsHeader))) {
        if (line.rfind("#define IDS_CLI_", 0) == 0)
            ids.insert(static_cast<std::uint32_t>(std::stoul(line.substr(line.rfind(' ') + 1))));
    }
    return ids;
}

// The placeholders %1 ... %9 a text holds.
std::multiset<char> Placeholders(const std::string& text_I)
{
    std::multiset<char> found;
    for (std::size_t i = 0; i + 1 < text_I.size(); ++i) {
        if (text_I[i] == '%' && text_I[i + 1] >= '1' && text_I[i + 1] <= '9')
            found.insert(text_I[i + 1]);
    }
    return found;
}

TEST(StringSource, ThirteenLanguagesEachWithEveryIdOfTheFirst)
{
    const Texts texts = ReadSource(kSource);
    const std::set<std::uint32_t> first = IdsOf(texts.at(0x0009));
    std::set<std::uint16_t> languages;
    for (const auto& [language, strings] : texts) {
        languages.insert(language);
        EXPECT_EQ(IdsOf(strings), first) << "language " << language;
    }
    EXPECT_EQ(languages, kResourceLanguages);

    // The dialog's twelve and every id the command line uses, in a range of its own.
    std::set<std::uint32_t> expected = kDialogIds;
    const std::set<std::uint32_t> cli = CliIds();
    EXPECT_GT(cli.size(), 50u);
    for (const std::uint32_t id : cli) {
        EXPECT_GE(id, 3000u);
        EXPECT_TRUE(expected.insert(id).second) << "id " << id << " given twice";
    }
    EXPECT_EQ(first, expected);
}

TEST(StringSource, TranslationsKeepEveryPlaceholderAndHaveNoEmptyText)
{
    const Texts texts = ReadSource(kSource);
    for (const auto& [language, strings] : texts) {
        for (const auto& [id, text] : strings) {
            EXPECT_FALSE(text.empty()) << "language " << language << ", string " << id;
            EXPECT_EQ(Placeholders(text), Placeholders(texts.at(0x0009).at(id)))
                << "language " << language << ", string " << id << ": " << text;
        }
    }
}

// The words of the command line that --help keeps as they are in every language: options and the
// unattended form's words, the fault keys, argument words and variable names, extensions, file
// names, numbers, the quoted characters and the \\?\ prefix.
std::set<std::string> CommandLineWords(const std::string& text_I)
{
    static const std::regex word(R"((?:^|[\s(\[|])(--?[a-z][a-z-]*[a-z])|[a-z][a-z-]*=|[A-Z][A-Z0-9_]+|)"
                                 R"((?:^|[\s(])\.[a-z0-9]+|[a-z_]+\.ini|[0-9]+|'[^'\s]'|\\\\\?\\)");
    std::set<std::string> words;
    for (auto it = std::sregex_iterator(text_I.begin(), text_I.end(), word); it != std::sregex_iterator(); ++it) {
        std::string found = (*it)[1].matched ? (*it)[1].str() : it->str();
        Trim(found);
        if (!found.empty() && found[0] == '(')
            found.erase(0, 1);
        words.insert(found);
    }
    return words;
}

// Ids of the help's texts: "#define IDS_CLI_HELP_... <id>" of the command line's header.
std::set<std::uint32_t> HelpIds()
{
    std::set<std::uint32_t> ids;
    for (const std::string& line : SplitLines(ReadFile(kCliIdsHeader))) {
        if (line.rfind("#define IDS_CLI_HELP_", 0) == 0)
            ids.insert(static_cast<std::uint32_t>(std::stoul(line.substr(line.rfind(' ') + 1))));
    }
    return ids;
}

TEST(StringSource, HelpTranslationsKeepTheCommandLinesWordsAndStayShort)
{
    const Texts texts = ReadSource(kSource);
    const std::set<std::uint32_t> ids = HelpIds();
    EXPECT_GE(ids.size(), 20u);
    // The word finder itself, on texts whose words are known.
    EXPECT_EQ(CommandLineWords("with --yes (--sim-state, -path) a Windows-form busy=MS e.g. seed=7 .srec ./fw_loader.ini "
                               "'&' \\\\?\\ $TMPDIR S-records"),
              (std::set<std::string>{"--yes", "--sim-state", "-path", "busy=", "MS", "seed=", "7", ".srec",
                                     "fw_loader.ini", "'&'", "\\\\?\\", "TMPDIR"}));
    for (const std::uint32_t id : ids) {
        const std::string& english = texts.at(0x0009).at(id);
        const std::set<std::string> words = CommandLineWords(english);
        for (const auto& [language, strings] : texts) {
            const std::string& text = strings.at(id);
            // One STRINGTABLE entry each, of an ordinary size.
            EXPECT_LT(Utf8ToUtf16(text).size(), 1000u) << "language " << language << ", string " << id;
            const std::set<std::string> kept = CommandLineWords(text);
            for (const std::string& w : words)
                EXPECT_EQ(kept.count(w), 1u) << "language " << language << ", string " << id << " lacks '" << w
                                             << "': " << text;
        }
    }
}

// Over the generated table alone: every language has an entry for every id of the table's first
// language, in exactly that language (no fallback filling a gap).
TEST(GeneratedTable, NoLanguageLacksAnIdOfTheFirst)
{
    std::map<std::uint16_t, std::set<std::uint32_t>> ids;
    std::vector<std::uint16_t> order;
    for (const SStringBlock& block : GeneratedStringBlocks()) {
        if (ids.count(block.mLanguageId) == 0)
            order.push_back(block.mLanguageId);
        std::set<std::uint32_t>& these = ids[block.mLanguageId];
        std::size_t pos = 0;
        for (std::uint32_t k = 0; k < 16 && pos < block.mSize; ++k) {
            if (block.mData[pos] != 0)
                these.insert((block.mBlockNumber - 1u) * 16u + k);
            pos += 1u + block.mData[pos];
        }
    }
    ASSERT_EQ(order.size(), kResourceLanguages.size());
    EXPECT_EQ(order.front(), 0x0009);
    const std::set<std::uint32_t>& first = ids.at(order.front());
    const CBuiltinStringResources builtin;
    for (const std::uint16_t language : order) {
        EXPECT_EQ(ids.at(language), first) << "language " << language;
        for (const std::uint32_t id : first) {
            const auto block = builtin.FindStringBlock(static_cast<std::uint16_t>(id / 16 + 1), language);
            ASSERT_TRUE(block.has_value()) << "language " << language << ", string " << id;
        }
    }
}

TEST(StringSource, TextsAsTheProgramShowsThem)
{
    const Texts texts = ReadSource(kSource);
    const auto& en = texts.at(0x0009);
    EXPECT_EQ(en.at(2000), "Vellum Firmware Update Utility");
    EXPECT_EQ(en.at(2100), "Waiting for Loader Mode");
    EXPECT_EQ(en.at(2101), "Waiting for Device Mode");
    EXPECT_EQ(en.at(2102), "Programming");
    EXPECT_EQ(en.at(2103), "Programming Successful");
    EXPECT_EQ(en.at(2104), "Programming Failed");
    EXPECT_EQ(en.at(2105), "Firmware was successfully updated.");
    EXPECT_EQ(en.at(2106), "Firmware failed to update. Please reattach your device and try again.");
    EXPECT_EQ(en.at(2200), "Error: No supported tablet is connected.  Please connect a tablet.");
    EXPECT_EQ(en.at(2201), "Error: Update target device not found. Please re-download the package.");
    EXPECT_EQ(en.at(2202), "Error: Invalid state resulted in updater termination.");
    EXPECT_EQ(en.at(2203), "Error: Invalid Firmware update file. Please re-download the package.");
    EXPECT_EQ(texts.at(0x0007).at(2106), "Firmware-Update fehlgeschlagen. \nBitte schließen Sie Ihr Gerät neu an "
                                         "und \nversuchen Sie es noch einmal.");
    EXPECT_EQ(texts.at(0x0007).at(2203), "Fehler: Ungültige Firmware-Aktualisierungs-\ndatei. Bitte laden Sie das "
                                         "Paket erneut \nherunter.");
    EXPECT_EQ(texts.at(0x0011).at(2000), "Vellumファームウェアアップデートユーティリィティ");
    EXPECT_EQ(texts.at(0x0404).at(2201), "錯誤：未找到更新目標設備。 請重新下載包。");
    EXPECT_EQ(texts.at(0x0804).at(2000), "Vellum 固件更新实用程序");
    EXPECT_EQ(texts.at(0x0019).at(2102), "Запись программы");
    EXPECT_EQ(texts.at(0x000C).at(2200),
              "Erreur\u00A0: Aucune tablette prise en charge n'est connectée. Veuillez connecter une tablette.")
        << "French puts a no-break space before the colon";
}

TEST(GeneratedTable, EveryLanguageDecodesToItsSourceTexts)
{
    const Texts texts = ReadSource(kSource);
    CDiagnosticCapture capture;
    for (const auto& [language, strings] : texts) {
        for (const auto& [id, text] : strings)
            EXPECT_EQ(ResourceUtils::LoadResourceString(id, language), Utf8ToUtf16(text))
                << "language " << language << ", string " << id;
    }
    EXPECT_TRUE(capture.Lines().empty());
}

TEST(GeneratedTable, BlocksHaveTheResourceLayoutWithStoredFormAndTerminator)
{
    const Texts texts = ReadSource(kSource);
    const std::set<std::uint32_t> sourceIds = IdsOf(texts.at(0x0009));
    std::set<std::uint32_t> blockNumbers;
    for (const std::uint32_t id : sourceIds)
        blockNumbers.insert(id / 16 + 1);
    std::set<std::uint16_t> languages;
    for (const SStringBlock& block : GeneratedStringBlocks()) {
        languages.insert(block.mLanguageId);
        std::size_t pos = 0;
        for (std::uint32_t k = 0; k < 16; ++k) {
            ASSERT_LT(pos, block.mSize);
            const std::uint32_t id = (block.mBlockNumber - 1u) * 16u + k;
            const std::size_t length = block.mData[pos];
            if (sourceIds.count(id) == 0) {
                EXPECT_EQ(length, 0u) << id;
            } else {
                const std::string& utf8 = texts.at(block.mLanguageId).at(id);
                const std::u16string entry(block.mData + pos + 1, length);
                // Marker, padded Base64 of the UTF-8 bytes, terminating zero counted by the length.
                ASSERT_GE(length, 2u);
                EXPECT_EQ(entry.front(), 0x0298);
                EXPECT_EQ(entry.back(), 0);
                std::string base64(entry.begin() + 1, entry.end() - 1);
                EXPECT_EQ(base64.size() % 4, 0u);
                EXPECT_EQ(base64.size(), (utf8.size() + 2) / 3 * 4);
                EXPECT_EQ(Base64Decode(base64.substr(0, base64.find('='))),
                          std::vector<std::uint8_t>(utf8.begin(), utf8.end()));
            }
            pos += 1 + length;
        }
        EXPECT_EQ(pos, block.mSize) << "block " << block.mBlockNumber << " of " << block.mLanguageId;
    }
    EXPECT_EQ(languages, kResourceLanguages);
    EXPECT_EQ(GeneratedStringBlocks().size(), kResourceLanguages.size() * blockNumbers.size());
}

TEST(GeneratedRc, OneFragmentPerLanguageWithEveryStringInStoredForm)
{
    const Texts texts = ReadSource(kSource);
    const std::string all = ReadFile(kRcDir + "/StringTables.rc");
    for (const auto& [language, strings] : texts) {
        char name[32];
        std::snprintf(name, sizeof name, "strings_%04x.rc", language);
        EXPECT_NE(all.find(std::string("#include \"") + name + "\""), std::string::npos) << name;
        const std::string fragment = ReadFile(kRcDir + "/" + name);
        EXPECT_NE(fragment.find("\nSTRINGTABLE\nBEGIN\n"), std::string::npos);
        EXPECT_NE(fragment.find("\nEND\n"), std::string::npos);
        std::string languageLine;
        const auto entries = ParseRcFragment(fragment, &languageLine);
        char expected[64];
        std::snprintf(expected, sizeof expected, "LANGUAGE 0x%x, 0x%x", language & 0x3FFu, language >> 10);
        EXPECT_EQ(languageLine, expected);
        ASSERT_EQ(entries.size(), strings.size()) << name;
        for (const auto& [id, text] : strings) {
            const std::u16string& entry = entries.at(id);
            ASSERT_FALSE(entry.empty());
            EXPECT_EQ(entry.back(), 0) << "the entry carries its terminating zero";
            EXPECT_EQ(ResourceUtils::DecodeResourceText(entry.substr(0, entry.size() - 1)), Utf8ToUtf16(text));
        }
    }
}

// The Windows resource compiler turns the fragments into exactly the blocks of the built-in table.
TEST(GeneratedRc, WindresCompilesThemToTheBuiltinBlocks)
{
    CTempDir dir;
    const std::string res = dir.File("strings.res");
    const std::string log = dir.File("windres.log");
    const std::string command = "x86_64-w64-mingw32-windres --preprocessor=cpp -I \"" + kRcDir + "\" -i \"" + kRcDir +
                                "/StringTables.rc\" -O res -o \"" + res + "\" >\"" + log + "\" 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0)
        << ReadFile(log) << "(windres comes with binutils-mingw-w64-x86-64: bash scripts/setup-debian.sh)";

    const std::string bytes = ReadFile(res);
    auto u16 = [&](std::size_t at) {
        return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                          (static_cast<unsigned char>(bytes[at + 1]) << 8));
    };
    auto u32 = [&](std::size_t at) { return std::uint32_t(u16(at)) | (std::uint32_t(u16(at + 2)) << 16); };
    std::size_t found = 0;
    std::size_t pos = 0;
    while (pos + 32 <= bytes.size()) {
        const std::uint32_t dataSize = u32(pos);
        const std::uint32_t headerSize = u32(pos + 4);
        ASSERT_LE(pos + headerSize + dataSize, bytes.size());
        // Numeric type 6 (string table) and numeric name (the block number).
        if (u16(pos + 8) == 0xFFFF && u16(pos + 10) == 6 && u16(pos + 12) == 0xFFFF) {
            const std::uint16_t block = u16(pos + 14);
            const std::uint16_t language = u16(pos + headerSize - 10);
            std::u16string data;
            for (std::size_t i = 0; i + 1 < dataSize; i += 2)
                data.push_back(u16(pos + headerSize + i));
            const auto builtin = CBuiltinStringResources().FindStringBlock(block, language);
            ASSERT_TRUE(builtin.has_value()) << "block " << block << " language " << language;
            EXPECT_EQ(data, std::u16string(*builtin)) << "block " << block << " language " << language;
            ++found;
        }
        pos += headerSize + dataSize;
        pos = (pos + 3) & ~std::size_t(3);
    }
    EXPECT_EQ(found, GeneratedStringBlocks().size());
}

TEST(Generator, EscapesAndCMakeListCharactersSurvive)
{
    CTempDir dir;
    WriteFile(dir.File("s.txt"), "# comment\r\n"
                                 "language 0x0409 US English\r\n"
                                 "\r\n"
                                 "7 \"a;b [c] \\\\n \\\"q\\\" \\n end\"\r\n"
                                 "16 \"ü\"\n"
                                 "language 0x0C04 Hong Kong\n"
                                 "16 \"x\"\n"
                                 "7 \"\"\n");
    ASSERT_EQ(RunGenerator("-DSOURCE=\"" + dir.File("s.txt") + "\" -DCPP_OUT=\"" + dir.File("t.cpp") + "\" -DRC_DIR=\"" +
                               dir.File("rc") + "\"",
                           dir.File("log")),
              0)
        << ReadFile(dir.File("log"));
    std::string language;
    const auto us = ParseRcFragment(ReadFile(dir.File("rc/strings_0409.rc")), &language);
    EXPECT_EQ(language, "LANGUAGE 0x9, 0x1");
    ASSERT_EQ(us.size(), 2u);
    EXPECT_EQ(ResourceUtils::DecodeResourceText(us.at(7).substr(0, us.at(7).size() - 1)),
              u"a;b [c] \\n \"q\" \n end");
    EXPECT_EQ(ResourceUtils::DecodeResourceText(us.at(16).substr(0, us.at(16).size() - 1)), u"ü");
    const auto hk = ParseRcFragment(ReadFile(dir.File("rc/strings_0c04.rc")), &language);
    EXPECT_EQ(language, "LANGUAGE 0x4, 0x3");
    EXPECT_EQ(hk.at(7), std::u16string(u"\u0298") + u'\0') << "an empty text is the marker alone";

    // Ids 7 and 16 lie in blocks 1 and 2; each block holds sixteen entries.
    const std::string cpp = ReadFile(dir.File("t.cpp"));
    EXPECT_NE(cpp.find("{0x0409, 1, kBlock0,"), std::string::npos) << cpp;
    EXPECT_NE(cpp.find("{0x0409, 2, kBlock1,"), std::string::npos);
    EXPECT_NE(cpp.find("{0x0c04, 1, kBlock2,"), std::string::npos);
    EXPECT_NE(cpp.find("/* 7 */ 2, 0x0298, 0,"), std::string::npos) << "the empty text of 0x0C04";
    EXPECT_NE(cpp.find("/* 16 */ 6, 0x0298, u'w', u'7', u'w', u'=', 0,"), std::string::npos);
}

TEST(Generator, RejectsSourcesThatWouldLoseOrMisplaceAString)
{
    struct Case
    {
        const char* mSource;
        const char* mMessage;
    };
    const Case cases[] = {
        {"language 0x0009 en\n1 \"a\"\n2 \"b\"\nlanguage 0x0007 de\n1 \"a\"\n", "language 0x0007 has the strings"},
        {"language 0x0009 en\n1 \"a\"\n1 \"b\"\n", "s.txt:3: string 1 given twice"},
        {"language 0x0009 en\n1 \"a\\tb\"\n", "s.txt:2: unknown escape"},
        {"language 0x0009 en\n1 \"a\"b\"\n", "s.txt:2: unescaped quotation mark"},
        {"1 \"a\"\nlanguage 0x0009 en\n", "s.txt:1: string before the first language line"},
        {"language 0x0009 en\nlanguage 0x0009 en\n", "s.txt:2: language 0x0009 given twice"},
        {"language 0x0009 en\n1 a\n", "s.txt:2: expected"},
        {"language 0x10000 x\n", "s.txt:1: language id out of range"},
        {"# nothing\n", "no language"},
    };
    for (const Case& c : cases) {
        CTempDir dir;
        WriteFile(dir.File("s.txt"), c.mSource);
        EXPECT_NE(RunGenerator("-DSOURCE=\"" + dir.File("s.txt") + "\" -DCPP_OUT=\"" + dir.File("t.cpp") + "\"",
                               dir.File("log")),
                  0)
            << c.mSource;
        EXPECT_NE(ReadFile(dir.File("log")).find(c.mMessage), std::string::npos) << ReadFile(dir.File("log"));
        EXPECT_FALSE(std::filesystem::exists(dir.File("t.cpp"))) << c.mSource;
    }
}
