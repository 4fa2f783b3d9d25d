// The Linux locale environment as the user's language.

#include "FWUpdater/CLinuxLanguagePlatform.h"
#include "ResourceUtils.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

namespace {

CLinuxLanguagePlatform WithEnvironment(std::map<std::string, std::string> variables_I)
{
    auto variables = std::make_shared<std::map<std::string, std::string>>(std::move(variables_I));
    return CLinuxLanguagePlatform([variables](const char* name_I) -> const char* {
        const auto it = variables->find(name_I);
        return it == variables->end() ? nullptr : it->second.c_str();
    });
}

} // namespace

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

TEST(LinuxLanguagePlatform, LcAllThenLcMessagesThenLang)
{
    EXPECT_EQ(WithEnvironment({{"LC_ALL", "fr_FR.UTF-8"}, {"LC_MESSAGES", "de_DE"}, {"LANG", "ja_JP"}})
                  .UserDefaultUILanguage(),
              0x040C);
    EXPECT_EQ(WithEnvironment({{"LC_MESSAGES", "de_DE"}, {"LANG", "ja_JP"}}).UserDefaultUILanguage(), 0x0407);
    EXPECT_EQ(WithEnvironment({{"LANG", "ja_JP"}}).UserDefaultUILanguage(), 0x0411);
    // An empty variable counts as not set.
    EXPECT_EQ(WithEnvironment({{"LC_ALL", ""}, {"LANG", "ja_JP"}}).UserDefaultUILanguage(), 0x0411);
    EXPECT_EQ(WithEnvironment({}).UserDefaultUILanguage(), 0x0409);
    EXPECT_EQ(WithEnvironment({{"LC_CTYPE", "de_DE"}}).UserDefaultLCID(), 0x0409u);
    EXPECT_EQ(WithEnvironment({{"LANG", "zh_HK"}}).UserDefaultLCID(), 0x0C04u);
}

TEST(LinuxLanguagePlatform, ChoosesTheProvidersLanguage)
{
    auto hongKong = std::make_shared<CLinuxLanguagePlatform>(WithEnvironment({{"LANG", "zh_HK.UTF-8"}}));
    const LanguageProvider provider("userUI", hongKong);
    EXPECT_EQ(provider.GetCurrentLanguage().mName, "zh_TW");
    EXPECT_EQ(ResourceUtils::LoadResourceString(2103, provider.GetResourceLanguageId()), u"程式設計成功");

    auto posix = std::make_shared<CLinuxLanguagePlatform>(WithEnvironment({{"LC_ALL", "C"}, {"LANG", "de_DE"}}));
    EXPECT_EQ(LanguageProvider("userUI", posix).GetCurrentLanguage().mName, "en");
    auto swedish = std::make_shared<CLinuxLanguagePlatform>(WithEnvironment({{"LANG", "sv_SE.UTF-8"}}));
    EXPECT_EQ(LanguageProvider("user", swedish).GetCurrentLanguage().mName, "sv");
}

TEST(LinuxLanguagePlatform, ReadsTheProcessEnvironment)
{
    const char* saved[3];
    const char* names[3] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::string copies[3];
    for (int i = 0; i < 3; ++i) {
        saved[i] = std::getenv(names[i]);
        if (saved[i])
            copies[i] = saved[i];
    }
    ::unsetenv("LC_ALL");
    ::setenv("LC_MESSAGES", "pl_PL.UTF-8", 1);
    ::setenv("LANG", "it_IT.UTF-8", 1);
    const auto answer = CLinuxLanguagePlatform().UserDefaultUILanguage();
    for (int i = 0; i < 3; ++i) {
        if (saved[i])
            ::setenv(names[i], copies[i].c_str(), 1);
        else
            ::unsetenv(names[i]);
    }
    EXPECT_EQ(answer, 0x0415);
}
