#pragma once
// Chooses the user-interface language and yields the resource language id that every string load
// uses. The platform's answers (interface language, user locale) come through CLanguagePlatform
// so that the choice itself is the same code on every platform and in every test.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Position of a record in the language table.
enum ELanguage : std::uint32_t
{
    eEnglish = 0,
    eChineseSimplified,
    eChineseTraditional,
    eEnglishAlternate,
    eFrench,
    eGerman,
    eJapanese,
    eKorean,
    eItalian,
    eSpanish,
    ePortuguese,
    ePortugueseAlternate,
    eDutch,
    eRussian,
    eSwedish,
    ePolish,
    eDanish,
    eFinnish,
    eNorwegian,
    eTurkish,
    eCzech,
    eGreek,
    eHungarian,
    eSlovak,
    LAST_ELANGUAGE // 24; also the enumerator of the neutral record
};

struct LanguageRecord
{
    std::string mName;           // locale name, e.g. "zh_CN"
    std::uint32_t mLanguage;     // ELanguage
    std::uint16_t mLanguageId;   // Windows language id used for the resource lookup
    std::uint8_t mFlag;          // kept with the record, not consulted
};

// What the platform knows about the user's language.
class CLanguagePlatform
{
public:
    virtual ~CLanguagePlatform() = default;
    // The user's default interface language; empty where the platform has no such query.
    virtual std::optional<std::uint16_t> UserDefaultUILanguage() const = 0;
    // The user's default locale identifier (a Windows LCID: language id in the low 16 bits).
    virtual std::uint32_t UserDefaultLCID() const = 0;
};

// Fixed answers: for tests, and for a front end that has decided the language itself.
class CFixedLanguagePlatform : public CLanguagePlatform
{
public:
    CFixedLanguagePlatform(std::optional<std::uint16_t> uiLanguage_I, std::uint32_t lcid_I)
        : mUILanguage(uiLanguage_I), mLCID(lcid_I)
    {
    }
    std::optional<std::uint16_t> UserDefaultUILanguage() const override { return mUILanguage; }
    std::uint32_t UserDefaultLCID() const override { return mLCID; }

private:
    std::optional<std::uint16_t> mUILanguage;
    std::uint32_t mLCID;
};

// One step along the fallback chain of language ids; empty after the neutral id 0.
// 0x0407 -> 0x0007 -> 0x0009 -> 0; Chinese: 0x0C04/0x1404 -> 0x0404, 0x1004 -> 0x0804,
// 0x0404/0x0804 -> 0x0004 -> 0.
std::optional<std::uint16_t> FallbackLanguageId(std::uint16_t languageId_I);

class LanguageProvider
{
public:
    // A null platform answers "no interface language" and the user locale 0x0409 (US English).
    LanguageProvider(const std::string& selection_I, std::shared_ptr<const CLanguagePlatform> platform_I);

    // "userUI": the platform's interface language (else the user locale); "user": the user locale;
    // "neutral": the neutral record; anything else: the first record of that name, compared
    // without regard to case, and "en" when there is none. Never fails.
    void SelectLanguage(const std::string& selection_I);
    // The record of this id, else of the first id along the fallback chain that has one; the
    // neutral id 0 selects the neutral record; "en" when the chain ends without a match.
    void SelectLanguageId(std::uint16_t languageId_I);

    std::uint16_t GetResourceLanguageId() const { return mCurrent.mLanguageId; }
    const LanguageRecord& GetCurrentLanguage() const { return mCurrent; }
    const std::vector<LanguageRecord>& GetLanguageTable() const { return mLangTable; }
    const LanguageRecord& GetNeutralLanguage() const { return mNeutral; }

private:
    void BuildLanguageTable();

    LanguageRecord mCurrent;
    std::vector<LanguageRecord> mLangTable;
    LanguageRecord mNeutral;
    std::shared_ptr<const CLanguagePlatform> mPlatform;
};
