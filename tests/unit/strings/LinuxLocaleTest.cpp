// The Linux locale environment as the user's language.

#include "FWUpdater/CLinuxLanguagePlatform.h"
#include "ResourceUtils.h"

#include <gtest/gtest.h>

#include <map>

TEST(LocaleName, MapsToWindowsLanguageIds)
{
    const std::pair<const char*, std::uint16_t> cases[] = {
        {"de_DE.UTF-8", 0x0407}, {"zh_TW", 0x0404},       {"zh_TW.Big5", 0x0404}, {"pt_BR", 0x0416},
        {"pt_PT.UTF-8", 0x0816}, {"zh_CN.GB18030", 0x0804}, {"zh_HK.UTF-8", 0x0C04}, {"zh_SG", 0x1004},
        {"en_US.UTF-8", 0x0409}, {"en_GB", 0x0809},       {"ja_JP.eucJP", 0x0411}, {"ko_KR.UTF-8", 0x0412},
        {"fr_CA.UTF-8", 0x0C0C}, {"tr_TR.UTF-8", 0x041F}, {"nb_NO.UTF-8", 0x0414}, {"nn_NO", 0x0814},
        {"de_AT@euro", 0x0C07},  {"DE_de.utf8", 0x0407},   {"de", 0x0407},         {"zh", 0x0804},
        {"ru_UA", 0x0419},       {"es", 0x0C0A},           {"C", 0x0409},          {"POSIX", 0x0409},
        {"C.UTF-8", 0x0409},     {"", 0x0409},             {"xx_YY", 0x0409},      {"_DE", 0x0409},
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
        {{{"LANG", "sv_SE.UTF-8"}}, 0x041D, "user", "sv"},
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
