// Choosing the language (selection by name and mode, the fallback chain), and the unattended
// command line's token rules (more through the command-line program: tests/unit/cli).

#include "FirmwareUpdaterApp.h"
#include "LanguageProvider.h"

#include <gtest/gtest.h>


TEST(FallbackLanguageId, StepsOfTheChainAndEveryChainEndsAtTheNeutralId)
{
    const std::pair<std::uint16_t, std::optional<std::uint16_t>> steps[] = {
        {0x0407, 0x0007}, {0x0007, 0x0009}, {0x0009, 0x0000}, {0x0000, std::nullopt}, {0x0400, 0x0000},
        // Chinese by sublanguage (id >> 10).
        {0x0004, 0x0000}, {0x0404, 0x0004}, {0x0804, 0x0004}, {0x0C04, 0x0404}, {0x1004, 0x0804},
    };
    for (const auto& [from, to] : steps)
        EXPECT_EQ(FallbackLanguageId(from), to) << std::hex << from;
    for (std::uint32_t id = 0; id <= 0xFFFF; ++id) {
        std::optional<std::uint16_t> step = static_cast<std::uint16_t>(id);
        std::uint16_t last = 0;
        for (int steps = 0; step; ++steps) {
            ASSERT_LT(steps, 10) << std::hex << id;
            last = *step;
            step = FallbackLanguageId(*step);
        }
        ASSERT_EQ(last, 0) << std::hex << id;
    }
}

TEST(SelectLanguage, ByModeNameAndThePlatformsLanguages)
{
    struct Case
    {
        const char* selection;
        std::optional<std::uint16_t> ui;
        std::uint32_t lcid;
        std::uint32_t language; // ELanguage
        const char* then;       // a later SelectLanguage, as the command line's name does
    };
    const Case cases[] = {
        // Interface languages along their fallback chains.
        {"userUI", 0x0C04, 0x0409, eChineseTraditional, nullptr},
        {"userUI", 0x0416, 0x0409, ePortuguese, nullptr}, // the first record of the id
        {"userUI", 0x0418, 0x0409, eEnglish, nullptr},    // 0x0418 -> 0x0018 -> 0x0009
        {"userUI", 0x0004, 0x0409, LAST_ELANGUAGE, nullptr}, // the neutral id, no table record on the way
        {"neutral", 0x0407, 0x0407, LAST_ELANGUAGE, nullptr},
        {"USERUI", 0x0407, 0x0407, eEnglish, nullptr}, // modes are case-sensitive
        // "user" takes the locale; "userUI" the interface language, else the locale, whose sort id
        // above the low word does not count.
        {"user", 0x0411, 0x0C04, eChineseTraditional, nullptr},
        {"userUI", std::nullopt, 0x00020804, eChineseSimplified, nullptr},
        // Names are compared whole without case; unknown names give English.
        {"ZH_cn", std::nullopt, 0x0409, eChineseSimplified, nullptr},
        {"userUI", 0x0407, 0x0409, eKorean, "ko"},
        {"de", 0x0407, 0x0409, eEnglish, "de_DE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.selection << " " << std::hex << c.ui.value_or(0xFFFF) << " " << c.lcid
                                        << " then " << (c.then ? c.then : "nothing"));
        LanguageProvider provider(c.selection, std::make_shared<CFixedLanguagePlatform>(c.ui, c.lcid));
        if (c.then)
            provider.SelectLanguage(c.then);
        EXPECT_EQ(provider.GetCurrentLanguage().mLanguage, c.language);
    }
    EXPECT_EQ(LanguageProvider("userUI", nullptr).GetCurrentLanguage().mLanguage, eEnglish);
}

TEST(CommandLine, TokenRulesOfTheThreeOptions)
{
    using EPathStyle = CFirmwareUpdaterApp::EPathStyle;
    const EPathStyle windows = EPathStyle::eWindows;
    const EPathStyle posix = EPathStyle::eWindowsOrPosix;
    struct Case
    {
        const char16_t* line;
        const char16_t* path;
        const char16_t* board;
        const char* language;
        EPathStyle style;
    };
    const Case cases[] = {
        {u"\t \r\n", u"", u"", "", windows},
        {u"  -path hid#vid_056a+pid_0357#7+1 -auto touch -lang ja  ", u"\\\\?\\hid#vid_056a&pid_0357#7&1", u"touch",
         "ja", windows},
        {u"-auto pen -path", u"", u"pen", "", windows}, // an option as the last token is ignored
        {u"-PATH x -Auto pen --path x -pathx y", u"", u"", "", windows}, // case-sensitive and whole
        {u"-auto pen -lang de -auto bluetooth -lang fr", u"", u"bluetooth", "fr", windows},
        // Quotes have no meaning and only blanks separate.
        {u"-auto \"pen touch\" -lang\tde", u"", u"\"pen", "", windows},
        // POSIX paths keep their form where they are allowed; anything else is a Windows path.
        {u"-path hid#x+y", u"\\\\?\\hid#x&y", u"", "", posix},
        {u"-path /dev/hidraw3", u"\\\\?\\/dev/hidraw3", u"", "", windows},
    };
    for (const Case& c : cases) {
        const CFirmwareUpdaterApp app(c.line, c.style);
        SCOPED_TRACE(testing::Message() << "line " << (&c - cases));
        EXPECT_EQ(app.GetDevicePath(), c.path);
        EXPECT_EQ(app.GetAutoUpdateBoard(), c.board);
        EXPECT_EQ(app.GetLanguage(), c.language);
    }
}
