// Choosing the language: the table, selection by name and mode, by id, and the fallback chain.

#include "LanguageProvider.h"
#include "ResourceUtils.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

std::shared_ptr<const CLanguagePlatform> Platform(std::optional<std::uint16_t> ui_I, std::uint32_t lcid_I = 0x0409)
{
    return std::make_shared<CFixedLanguagePlatform>(ui_I, lcid_I);
}

// The record chosen for an interface language.
LanguageRecord ForUILanguage(std::uint16_t ui_I)
{
    return LanguageProvider("userUI", Platform(ui_I)).GetCurrentLanguage();
}

} // namespace

TEST(LanguageTable, TwentyFourRecordsInTableOrder)
{
    struct Expected
    {
        const char* mName;
        std::uint16_t mId;
        std::uint8_t mFlag;
    };
    const Expected expected[] = {
        {"en", 0x0009, 1}, {"zh_CN", 0x0804, 1}, {"zh_TW", 0x0404, 1}, {"en", 0x0009, 1}, {"fr", 0x000C, 1},
        {"de", 0x0007, 1}, {"ja", 0x0011, 1},    {"ko", 0x0012, 1},    {"it", 0x0010, 1}, {"es", 0x000A, 1},
        {"pt", 0x0016, 1}, {"pt", 0x0016, 1},    {"nl", 0x0013, 1},    {"ru", 0x0019, 1}, {"sv", 0x001D, 0},
        {"pl", 0x0015, 1}, {"da", 0x0006, 0},    {"fi", 0x000B, 0},    {"no", 0x0014, 0}, {"tr", 0x001F, 1},
        {"cs", 0x0005, 0}, {"el", 0x0008, 0},    {"hu", 0x000E, 0},    {"sk", 0x001B, 0},
    };
    const LanguageProvider provider("en", nullptr);
    const std::vector<LanguageRecord>& table = provider.GetLanguageTable();
    ASSERT_EQ(table.size(), static_cast<std::size_t>(LAST_ELANGUAGE));
    ASSERT_EQ(LAST_ELANGUAGE, 24u);
    for (std::size_t i = 0; i < table.size(); ++i) {
        EXPECT_EQ(table[i].mName, expected[i].mName) << i;
        EXPECT_EQ(table[i].mLanguage, i);
        EXPECT_EQ(table[i].mLanguageId, expected[i].mId) << i;
        EXPECT_EQ(table[i].mFlag, expected[i].mFlag) << i;
    }
    const LanguageRecord& neutral = provider.GetNeutralLanguage();
    EXPECT_EQ(neutral.mName, "neutral");
    EXPECT_EQ(neutral.mLanguage, LAST_ELANGUAGE);
    EXPECT_EQ(neutral.mLanguageId, 0);
    EXPECT_EQ(neutral.mFlag, 1);
}

TEST(FallbackLanguageId, StepsOfTheChain)
{
    struct Step
    {
        std::uint16_t mFrom;
        std::optional<std::uint16_t> mTo;
    };
    const Step steps[] = {
        {0x0407, 0x0007}, {0x0007, 0x0009}, {0x0009, 0x0000}, {0x0000, std::nullopt}, {0x0409, 0x0009},
        {0x0418, 0x0018}, {0x0018, 0x0009}, {0x041F, 0x001F}, {0x0400, 0x0000}, {0x03FF, 0x0009},
        // Chinese by sublanguage (id >> 10).
        {0x0004, 0x0000}, {0x0404, 0x0004}, {0x0804, 0x0004}, {0x0C04, 0x0404}, {0x1404, 0x0404},
        {0x1004, 0x0804}, {0x7C04, 0x0804}, {0x1804, 0x0804}, {0xFC04, 0x0804},
    };
    for (const Step& s : steps)
        EXPECT_EQ(FallbackLanguageId(s.mFrom), s.mTo) << std::hex << s.mFrom;
}

TEST(FallbackLanguageId, EveryChainEndsAtTheNeutralId)
{
    for (std::uint32_t id = 0; id <= 0xFFFF; ++id) {
        std::optional<std::uint16_t> step = static_cast<std::uint16_t>(id);
        int steps = 0;
        std::uint16_t last = 0;
        while (step && steps < 10) {
            last = *step;
            step = FallbackLanguageId(*step);
            ++steps;
        }
        ASSERT_LT(steps, 10) << std::hex << id;
        ASSERT_EQ(last, 0) << std::hex << id;
    }
}

TEST(SelectLanguageId, InterfaceLanguagesFromTheEdgeCases)
{
    const LanguageRecord en = ForUILanguage(0x0409);
    EXPECT_EQ(en.mName, "en");
    EXPECT_EQ(en.mLanguage, eEnglish);
    EXPECT_EQ(en.mLanguageId, 0x0009);

    const LanguageRecord tr = ForUILanguage(0x041F);
    EXPECT_EQ(tr.mName, "tr");
    EXPECT_EQ(ResourceUtils::LoadResourceString(2104, tr.mLanguageId), u"Programming Failed");

    EXPECT_EQ(ForUILanguage(0x0C04).mName, "zh_TW");
    EXPECT_EQ(ForUILanguage(0x1004).mName, "zh_CN");
    EXPECT_EQ(ForUILanguage(0x0804).mName, "zh_CN");
    EXPECT_EQ(ForUILanguage(0x0407).mName, "de");
    EXPECT_EQ(ForUILanguage(0x0416).mLanguage, ePortuguese);
    // 0x0418 (Romanian) -> 0x0018 -> 0x0009.
    EXPECT_EQ(ForUILanguage(0x0418).mLanguage, eEnglish);
}

TEST(SelectLanguageId, ChainsThatReachTheNeutralIdSelectTheNeutralRecord)
{
    // 0x0004 -> 0 and 0x0400 -> 0: no table record on the way.
    EXPECT_EQ(ForUILanguage(0x0004).mName, "neutral");
    EXPECT_EQ(ForUILanguage(0x0000).mLanguageId, 0);
    EXPECT_EQ(ForUILanguage(0x0400).mLanguage, LAST_ELANGUAGE);
}

TEST(SelectLanguageId, EveryTableLanguageGetsItsOwnStringsOrEnglish)
{
    LanguageProvider provider("en", nullptr);
    const std::u16string english = ResourceUtils::LoadResourceString(2000, 0x0009);
    for (const LanguageRecord& record : provider.GetLanguageTable()) {
        // With a sublanguage (0x0407 for 0x0007); the Chinese ids already have theirs.
        const std::uint16_t id = record.mLanguageId < 0x0400 ? 0x0400 | record.mLanguageId : record.mLanguageId;
        provider.SelectLanguageId(id);
        EXPECT_EQ(provider.GetResourceLanguageId(), record.mLanguageId) << record.mName;
        const std::u16string title = ResourceUtils::LoadResourceString(2000, provider.GetResourceLanguageId());
        EXPECT_FALSE(title.empty()) << record.mName;
        if (record.mFlag == 0 || record.mName == "tr") {
            EXPECT_EQ(title, english) << record.mName;
        } else if (record.mName != "en") {
            EXPECT_NE(title, english) << record.mName;
        }
    }
}

TEST(SelectLanguage, NamesAreComparedWithoutCaseAndUnknownNamesGiveEnglish)
{
    LanguageProvider provider("ZH_cn", nullptr);
    EXPECT_EQ(provider.GetCurrentLanguage().mName, "zh_CN");
    EXPECT_EQ(provider.GetResourceLanguageId(), 0x0804);
    provider.SelectLanguage("De");
    EXPECT_EQ(provider.GetResourceLanguageId(), 0x0007);
    provider.SelectLanguage("pt");
    EXPECT_EQ(provider.GetCurrentLanguage().mLanguage, ePortuguese) << "the first record of the name";
    provider.SelectLanguage("klingon");
    EXPECT_EQ(provider.GetCurrentLanguage().mLanguage, eEnglish);
    provider.SelectLanguage("");
    EXPECT_EQ(provider.GetCurrentLanguage().mLanguage, eEnglish);
    provider.SelectLanguage("de_DE");
    EXPECT_EQ(provider.GetCurrentLanguage().mLanguage, eEnglish) << "names match whole";
}

TEST(SelectLanguage, ModesAreCaseSensitive)
{
    const auto german = Platform(0x0407, 0x0407);
    EXPECT_EQ(LanguageProvider("userUI", german).GetCurrentLanguage().mName, "de");
    EXPECT_EQ(LanguageProvider("USERUI", german).GetCurrentLanguage().mName, "en");
    EXPECT_EQ(LanguageProvider("User", german).GetCurrentLanguage().mName, "en");
    EXPECT_EQ(LanguageProvider("NEUTRAL", german).GetCurrentLanguage().mName, "en");
}

TEST(SelectLanguage, NeutralSelectsLanguageIdZero)
{
    LanguageProvider provider("neutral", nullptr);
    EXPECT_EQ(provider.GetResourceLanguageId(), 0);
    EXPECT_EQ(provider.GetCurrentLanguage().mLanguage, LAST_ELANGUAGE);
    EXPECT_EQ(ResourceUtils::LoadResourceString(2103, provider.GetResourceLanguageId()), u"Programming Successful");
}

TEST(SelectLanguage, UserModeUsesTheLocaleAndUserUIPrefersTheInterfaceLanguage)
{
    const auto split = Platform(0x0411, 0x0C04); // Japanese interface, Hong Kong locale
    EXPECT_EQ(LanguageProvider("userUI", split).GetCurrentLanguage().mName, "ja");
    EXPECT_EQ(LanguageProvider("user", split).GetCurrentLanguage().mName, "zh_TW");
}

TEST(SelectLanguage, WithoutAnInterfaceLanguageUserUIUsesTheLocale)
{
    EXPECT_EQ(LanguageProvider("userUI", Platform(std::nullopt, 0x0410)).GetCurrentLanguage().mName, "it");
    // The sort id above the low word does not change the language.
    EXPECT_EQ(LanguageProvider("userUI", Platform(std::nullopt, 0x00020804)).GetCurrentLanguage().mName, "zh_CN");
    EXPECT_EQ(LanguageProvider("user", Platform(std::nullopt, 0x00010407)).GetCurrentLanguage().mName, "de");
    EXPECT_EQ(LanguageProvider("userUI", nullptr).GetCurrentLanguage().mName, "en");
}

TEST(SelectLanguage, CommandLineNameOverridesTheInterfaceLanguage)
{
    LanguageProvider provider("userUI", Platform(0x0407));
    EXPECT_EQ(provider.GetCurrentLanguage().mName, "de");
    provider.SelectLanguage("ko");
    EXPECT_EQ(provider.GetResourceLanguageId(), 0x0012);
    EXPECT_EQ(ResourceUtils::LoadResourceString(2102, provider.GetResourceLanguageId()), u"프로그래밍");
}
