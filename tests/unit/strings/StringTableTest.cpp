// The one source of the localized strings and the table generated from it (Windows': tests/win).

#include "ResourceUtils.h"
#include "StringTable.h"
#include "StringUtils.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>

namespace {

const std::string kSource = VFWU_SOURCE_DIR "/Common/Strings/strings.txt";
const std::set<std::uint16_t> kResourceLanguages = {0x0007, 0x0009, 0x000A, 0x000C, 0x0010, 0x0011, 0x0012,
                                                    0x0013, 0x0015, 0x0016, 0x0019, 0x0404, 0x0804};

using Strings = std::map<std::uint32_t, std::string>;
using Texts = std::map<std::uint16_t, Strings>;

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
        EXPECT_TRUE(open != std::string::npos && line.back() == '"') << line;
        std::string text;
        for (std::size_t i = open + 1; i + 1 < line.size(); ++i) {
            const bool escaped = line[i] == '\\';
            i += escaped ? 1 : 0;
            text.push_back(escaped && line[i] == 'n' ? '\n' : line[i]);
        }
        texts[language][static_cast<std::uint32_t>(std::stoul(line.substr(0, open)))] = text;
    }
    return texts;
}

// The ids of "#define <prefix>... <id>" in the command line's header.
std::set<std::uint32_t> DefinedIds(const std::string& prefix_I)
{
    std::set<std::uint32_t> ids;
    for (const std::string& line : SplitLines(ReadFile(VFWU_SOURCE_DIR "/Common/FWUpdater/CliStringIds.h"))) {
        if (line.rfind("#define " + prefix_I, 0) == 0)
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
        words.insert(!found.empty() && found[0] == '(' ? found.substr(1) : found);
    }
    return words;
}

} // namespace

// The dialog's twelve ids and every id the command line uses (3000 and up), in every language;
// no empty text, every placeholder kept; the help's texts keep the command line's words and fit
// one STRINGTABLE entry of an ordinary size. The generated table holds exactly these texts.
TEST(StringSource, ThirteenLanguagesWithEveryIdAndTheEnglishPlaceholdersAndCommandLineWords)
{
    const Texts texts = ReadSource(kSource);
    const Strings& english = texts.at(0x0009);
    std::set<std::uint16_t> languages;
    for (const auto& [language, strings] : texts)
        languages.insert(language);
    EXPECT_EQ(languages, kResourceLanguages);
    std::set<std::uint32_t> expected = {2000, 2100, 2101, 2102, 2103, 2104, 2105, 2106, 2200, 2201, 2202, 2203};
    const std::set<std::uint32_t> cli = DefinedIds("IDS_CLI_");
    EXPECT_GT(cli.size(), 50u);
    for (const std::uint32_t id : cli)
        EXPECT_TRUE(expected.insert(id).second) << "id " << id << " given twice";
    const std::set<std::uint32_t> helpIds = DefinedIds("IDS_CLI_HELP_");
    EXPECT_GE(helpIds.size(), 20u);
    for (const auto& [language, strings] : texts) {
        std::set<std::uint32_t> ids;
        for (const auto& [id, text] : strings) {
            ids.insert(id);
            SCOPED_TRACE(testing::Message() << "language " << language << ", string " << id << ": " << text);
            EXPECT_FALSE(text.empty());
            EXPECT_EQ(Placeholders(text), Placeholders(english.at(id)));
            if (helpIds.count(id) == 0)
                continue;
            EXPECT_LT(Utf8ToUtf16(text).size(), 1000u);
            const std::set<std::string> kept = CommandLineWords(text);
            for (const std::string& w : CommandLineWords(english.at(id)))
                EXPECT_EQ(kept.count(w), 1u) << "lacks '" << w << "'";
        }
        EXPECT_EQ(ids, expected) << "language " << language;
    }

    // Every block of the generated table has sixteen entries, holding exactly the source's ids (each
    // with its terminating zero counted by the length) in exactly its own language: no gap is filled
    // by a fallback.
    std::set<std::uint32_t> blockNumbers;
    for (const std::uint32_t id : expected)
        blockNumbers.insert(id / 16 + 1);
    std::map<std::uint16_t, Strings> found;
    for (const SStringBlock& block : GeneratedStringBlocks()) {
        std::size_t pos = 0;
        for (std::uint32_t id = (block.mBlockNumber - 1u) * 16u; id < block.mBlockNumber * 16u; ++id) {
            ASSERT_LT(pos, block.mSize);
            const std::u16string entry(block.mData + pos + 1, block.mData[pos]);
            pos += 1 + entry.size();
            if (entry.empty())
                continue;
            SCOPED_TRACE(testing::Message() << "language " << block.mLanguageId << ", string " << id);
            ASSERT_EQ(entry.back(), 0);
            const std::u16string text = ResourceUtils::DecodeResourceText(entry.substr(0, entry.size() - 1));
            found[block.mLanguageId][id] = Utf16ToUtf8(text);
        }
        EXPECT_EQ(pos, block.mSize) << "block " << block.mBlockNumber << " of " << block.mLanguageId;
    }
    EXPECT_EQ(found, texts);
    EXPECT_EQ(GeneratedStringBlocks().size(), kResourceLanguages.size() * blockNumbers.size());
}

