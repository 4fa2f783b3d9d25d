#pragma once
// The Windows answers for the localized strings: string-table blocks from the program's own
// resources (FindResourceEx by exact language), and the user's interface language and locale.

#include "LanguageProvider.h"
#include "ResourceUtils.h"

#include <windows.h>

#include <set>
#include <utility>

class CWinStringResources : public CStringResources
{
public:
    // The module whose resources are searched (null: the program itself).
    explicit CWinStringResources(HMODULE module_I = nullptr);

    std::optional<std::u16string_view> FindStringBlock(std::uint16_t blockNumber_I,
                                                       std::uint16_t languageId_I) const override;

private:
    HMODULE mModule;
    // (block, language) pairs present: FindResourceEx alone would fall back to another language.
    std::set<std::pair<std::uint16_t, std::uint16_t>> mPresent;
};

class CWinLanguagePlatform : public CLanguagePlatform
{
public:
    // GetUserDefaultUILanguage, looked up by name in KERNEL32.DLL; empty where it does not exist.
    std::optional<std::uint16_t> UserDefaultUILanguage() const override;
    std::uint32_t UserDefaultLCID() const override;
};
