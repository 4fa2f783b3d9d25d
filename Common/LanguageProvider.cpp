#include "LanguageProvider.h"

#include "DebugOutput.h"
#include "StringUtils.h"

namespace {

constexpr std::uint16_t kChinese = 0x04;
constexpr std::uint16_t kEnglish = 0x09;
constexpr std::uint16_t kNeutralId = 0;
constexpr std::uint32_t kNoUILanguageLCID = 0x0409;

struct LanguageEntry
{
    const char* mName;
    std::uint16_t mLanguageId;
    std::uint8_t mFlag;
};

// Index = ELanguage.
constexpr LanguageEntry kLanguages[] = {
    {"en", 0x0009, 1},    {"zh_CN", 0x0804, 1}, {"zh_TW", 0x0404, 1}, {"en", 0x0009, 1},
    {"fr", 0x000C, 1},    {"de", 0x0007, 1},    {"ja", 0x0011, 1},    {"ko", 0x0012, 1},
    {"it", 0x0010, 1},    {"es", 0x000A, 1},    {"pt", 0x0016, 1},    {"pt", 0x0016, 1},
    {"nl", 0x0013, 1},    {"ru", 0x0019, 1},    {"sv", 0x001D, 0},    {"pl", 0x0015, 1},
    {"da", 0x0006, 0},    {"fi", 0x000B, 0},    {"no", 0x0014, 0},    {"tr", 0x001F, 1},
    {"cs", 0x0005, 0},    {"el", 0x0008, 0},    {"hu", 0x000E, 0},    {"sk", 0x001B, 0},
};
static_assert(sizeof(kLanguages) / sizeof(kLanguages[0]) == LAST_ELANGUAGE);

} // namespace

std::optional<std::uint16_t> FallbackLanguageId(std::uint16_t languageId_I)
{
    if (languageId_I == kNeutralId)
        return std::nullopt;
    const std::uint16_t primary = languageId_I & 0x3FF;
    if (primary == kChinese) {
        const unsigned sub = languageId_I >> 10;
        if (sub < 6) {
            switch (languageId_I) {
            case 0x0004:
                return kNeutralId;
            case 0x0404:
            case 0x0804:
                return 0x0004;
            case 0x0C04:
            case 0x1404:
                return 0x0404;
            default:
                return 0x0804;
            }
        }
        return 0x0804;
    }
    if (languageId_I < 0x0400)
        return primary != kEnglish ? kEnglish : kNeutralId;
    return primary;
}

LanguageProvider::LanguageProvider(const std::string& selection_I,
                                   std::shared_ptr<const CLanguagePlatform> platform_I)
    : mNeutral{"neutral", LAST_ELANGUAGE, kNeutralId, 1}, mPlatform(std::move(platform_I))
{
    BuildLanguageTable();
    mCurrent = mLangTable[0];
    SelectLanguage(selection_I);
}

void LanguageProvider::BuildLanguageTable()
{
    if (!mLangTable.empty())
        return;
    mLangTable.reserve(LAST_ELANGUAGE);
    for (std::uint32_t i = 0; i < LAST_ELANGUAGE; ++i)
        mLangTable.push_back({kLanguages[i].mName, i, kLanguages[i].mLanguageId, kLanguages[i].mFlag});
    ASSERT(mLangTable.size() == LAST_ELANGUAGE);
}

void LanguageProvider::SelectLanguage(const std::string& selection_I)
{
    if (selection_I == "userUI") {
        std::optional<std::uint16_t> ui;
        if (mPlatform)
            ui = mPlatform->UserDefaultUILanguage();
        if (ui) {
            SelectLanguageId(*ui);
        } else {
            const std::uint32_t lcid = mPlatform ? mPlatform->UserDefaultLCID() : kNoUILanguageLCID;
            SelectLanguageId(static_cast<std::uint16_t>(lcid & 0xFFFF));
        }
        return;
    }
    if (selection_I == "user") {
        // The language id is the low word of the locale identifier (the sort id lives above it).
        const std::uint32_t lcid = mPlatform ? mPlatform->UserDefaultLCID() : kNoUILanguageLCID;
        SelectLanguageId(static_cast<std::uint16_t>(lcid & 0xFFFF));
        return;
    }
    if (selection_I == "neutral") {
        mCurrent = mNeutral;
        return;
    }
    mCurrent = mLangTable[0];
    for (const LanguageRecord& record : mLangTable) {
        if (EqualsNoCase(record.mName, selection_I)) {
            mCurrent = record;
            break;
        }
    }
}

void LanguageProvider::SelectLanguageId(std::uint16_t languageId_I)
{
    mCurrent = mLangTable[0];
    std::optional<std::uint16_t> candidate = languageId_I;
    while (candidate) {
        if (*candidate == mNeutral.mLanguageId) {
            mCurrent = mNeutral;
            return;
        }
        for (const LanguageRecord& record : mLangTable) {
            if (record.mLanguageId == *candidate) {
                mCurrent = record;
                return;
            }
        }
        candidate = FallbackLanguageId(*candidate);
    }
}
