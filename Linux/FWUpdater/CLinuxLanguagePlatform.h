#pragma once
// The user's language on Linux: the POSIX locale environment mapped to Windows language ids, so
// that the language table and the fallback chain work unchanged.

#include "LanguageProvider.h"

#include <cstdint>
#include <functional>
#include <string>

// A POSIX locale name ("language[_territory][.codeset][@modifier]") as a Windows language id:
// "de_DE.UTF-8" -> 0x0407, "zh_TW" -> 0x0404, "pt_BR" -> 0x0416, "de" -> 0x0407 (the language's
// default sublanguage; "zh" alone is Simplified Chinese, 0x0804). "C", "POSIX", an empty name and
// a language the map does not know give US English, 0x0409. Letter case does not matter.
std::uint16_t LanguageIdFromLocaleName(const std::string& locale_I);

class CLinuxLanguagePlatform : public CLanguagePlatform
{
public:
    // Reads one environment variable; returns null when it is not set.
    using EnvironmentReader = std::function<const char*(const char* name_I)>;

    // The process environment.
    CLinuxLanguagePlatform();
    explicit CLinuxLanguagePlatform(EnvironmentReader environment_I);

    // The locale that governs messages: the first non-empty of LC_ALL, LC_MESSAGES and LANG
    // (the order in which the C library looks them up); empty when none is set.
    std::string MessagesLocale() const;

    // Both answers come from the messages locale: Linux has no separate interface language.
    std::optional<std::uint16_t> UserDefaultUILanguage() const override;
    std::uint32_t UserDefaultLCID() const override;

private:
    EnvironmentReader mEnvironment;
};
