#include "FWUpdater/CLinuxLanguagePlatform.h"

#include "StringUtils.h"

#include <cstdlib>

namespace {

constexpr std::uint16_t kUSEnglish = 0x0409;

// ISO 639 language code -> Windows primary language id.
struct Primary
{
    const char* mCode;
    std::uint16_t mPrimary;
};
constexpr Primary kPrimaries[] = {
    {"ar", 0x01}, {"bg", 0x02}, {"ca", 0x03}, {"zh", 0x04}, {"cs", 0x05}, {"da", 0x06},
    {"de", 0x07}, {"el", 0x08}, {"en", 0x09}, {"es", 0x0A}, {"fi", 0x0B}, {"fr", 0x0C},
    {"he", 0x0D}, {"hu", 0x0E}, {"is", 0x0F}, {"it", 0x10}, {"ja", 0x11}, {"ko", 0x12},
    {"nl", 0x13}, {"no", 0x14}, {"nb", 0x14}, {"nn", 0x14}, {"pl", 0x15}, {"pt", 0x16},
    {"ro", 0x18}, {"ru", 0x19}, {"hr", 0x1A}, {"sk", 0x1B},
    {"sq", 0x1C}, {"sv", 0x1D}, {"th", 0x1E}, {"tr", 0x1F}, {"ur", 0x20}, {"id", 0x21},
    {"uk", 0x22}, {"be", 0x23}, {"sl", 0x24}, {"et", 0x25}, {"lv", 0x26}, {"lt", 0x27},
    {"fa", 0x29}, {"vi", 0x2A}, {"hy", 0x2B}, {"az", 0x2C}, {"eu", 0x2D}, {"mk", 0x2F},
    {"af", 0x36}, {"ka", 0x37}, {"fo", 0x38}, {"hi", 0x39}, {"mt", 0x3A}, {"ga", 0x3C},
    {"ms", 0x3E}, {"kk", 0x3F}, {"sw", 0x41}, {"uz", 0x43}, {"bn", 0x45}, {"ta", 0x49},
    {"te", 0x4A}, {"mr", 0x4E}, {"gl", 0x56},
};

// Language and territory whose Windows id is not the language's default sublanguage (1), or
// that the fallback chain tells apart (Chinese).
struct Specific
{
    const char* mLocale;
    std::uint16_t mLanguageId;
};
constexpr Specific kSpecifics[] = {
    {"zh_cn", 0x0804}, {"zh_tw", 0x0404}, {"zh_hk", 0x0C04}, {"zh_sg", 0x1004}, {"zh_mo", 0x1404},
    {"en_gb", 0x0809}, {"en_au", 0x0C09}, {"en_ca", 0x1009}, {"en_nz", 0x1409}, {"en_ie", 0x1809},
    {"en_za", 0x1C09}, {"en_in", 0x4009}, {"de_ch", 0x0807}, {"de_at", 0x0C07}, {"de_lu", 0x1007},
    {"de_li", 0x1407}, {"fr_be", 0x080C}, {"fr_ca", 0x0C0C}, {"fr_ch", 0x100C}, {"fr_lu", 0x140C},
    {"es_es", 0x0C0A}, {"es_mx", 0x080A}, {"es_ar", 0x2C0A}, {"es_us", 0x540A}, {"it_ch", 0x0810},
    {"pt_br", 0x0416}, {"pt_pt", 0x0816}, {"nl_be", 0x0813}, {"sv_fi", 0x081D}, {"nn_no", 0x0814},
};

// The default when a language has no territory or one the map does not know.
std::uint16_t DefaultLanguageId(std::uint16_t primary_I)
{
    if (primary_I == 0x04)
        return 0x0804; // Simplified Chinese
    if (primary_I == 0x16)
        return 0x0816; // Portuguese (Portugal)
    if (primary_I == 0x0A)
        return 0x0C0A; // Spanish (Spain)
    return static_cast<std::uint16_t>((1u << 10) | primary_I);
}

} // namespace

std::uint16_t LanguageIdFromLocaleName(const std::string& locale_I)
{
    // Drop ".codeset" and "@modifier".
    std::string name = ToLower(locale_I.substr(0, locale_I.find_first_of(".@")));
    const std::size_t underscore = name.find('_');
    const std::string language = name.substr(0, underscore);
    if (language.empty() || language == "c" || language == "posix")
        return kUSEnglish;
    for (const Specific& s : kSpecifics) {
        if (name == s.mLocale)
            return s.mLanguageId;
    }
    for (const Primary& p : kPrimaries) {
        if (language == p.mCode)
            return DefaultLanguageId(p.mPrimary);
    }
    return kUSEnglish;
}

CLinuxLanguagePlatform::CLinuxLanguagePlatform()
    : CLinuxLanguagePlatform([](const char* name_I) -> const char* { return std::getenv(name_I); })
{
}

CLinuxLanguagePlatform::CLinuxLanguagePlatform(EnvironmentReader environment_I)
    : mEnvironment(std::move(environment_I))
{
}

std::string CLinuxLanguagePlatform::MessagesLocale() const
{
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = mEnvironment ? mEnvironment(variable) : nullptr;
        if (value && *value)
            return value;
    }
    return {};
}

std::optional<std::uint16_t> CLinuxLanguagePlatform::UserDefaultUILanguage() const
{
    return LanguageIdFromLocaleName(MessagesLocale());
}

std::uint32_t CLinuxLanguagePlatform::UserDefaultLCID() const
{
    return LanguageIdFromLocaleName(MessagesLocale());
}
