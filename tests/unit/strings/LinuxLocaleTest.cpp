// The Linux locale environment as the user's language.

#include "FWUpdater/CLinuxLanguagePlatform.h"
#include "ResourceUtils.h"

#include <gtest/gtest.h>

#include <map>

TEST(LocaleName, MapsToWindowsLanguageIds)
{
    // One row per rule: territory, encoding, modifier, case, the language alone, Chinese by
    // territory, a territory the language does not have, and what is no language.
    const std::pair<const char*, std::uint16_t> cases[] = {
        {"pt_BR", 0x0416}, {"pt_PT.UTF-8", 0x0816}, {"de_AT@euro", 0x0C07}, {"DE_de.utf8", 0x0407},
        {"es", 0x0C0A},    {"zh_HK.UTF-8", 0x0C04}, {"zh_SG", 0x1004},      {"ru_UA", 0x0419},
        {"C.UTF-8", 0x0409}, {"", 0x0409},           {"xx_YY", 0x0409},      {"_DE", 0x0409},
    };
    for (const auto& [name, id] : cases)
        EXPECT_EQ(LanguageIdFromLocaleName(name), id) << name;
}

// LC_ALL, then LC_MESSAGES, then LANG; an empty variable counts as not set.
TEST(LinuxLanguagePlatform, LcAllThenLcMessagesThenLangChooseTheProvidersLanguage)
{
    using Environment = std::map<std::string, std::string>;
    struct Case
    {
        Environment variables;
        std::uint16_t language;
        const char* mode;
        const char* name; // the provider's choice in that mode
    };
    const Case cases[] = {
        {{{"LC_ALL", "fr_FR.UTF-8"}, {"LC_MESSAGES", "de_DE"}, {"LANG", "ja_JP"}}, 0x040C, "user", "fr"},
        {{{"LC_MESSAGES", "de_DE"}, {"LANG", "ja_JP"}}, 0x0407, "userUI", "de"},
        {{{"LC_ALL", ""}, {"LANG", "ja_JP"}}, 0x0411, "userUI", "ja"},
        {{{"LC_CTYPE", "de_DE"}}, 0x0409, "user", "en"},
        {{{"LANG", "zh_HK.UTF-8"}}, 0x0C04, "userUI", "zh_TW"},
        {{{"LC_ALL", "C"}, {"LANG", "de_DE"}}, 0x0409, "userUI", "en"},
    };
    for (const Case& c : cases) {
        auto variables = std::make_shared<Environment>(c.variables);
        auto platform = std::make_shared<CLinuxLanguagePlatform>([variables](const char* name_I) -> const char* {
            const auto it = variables->find(name_I);
            return it == variables->end() ? nullptr : it->second.c_str();
        });
        SCOPED_TRACE(c.name);
        EXPECT_EQ(platform->UserDefaultUILanguage(), c.language);
        EXPECT_EQ(platform->UserDefaultLCID(), c.language);
        EXPECT_EQ(LanguageProvider(c.mode, platform).GetCurrentLanguage().mName, c.name);
    }
}
