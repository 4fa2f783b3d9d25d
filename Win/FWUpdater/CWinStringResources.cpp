#include "CWinStringResources.h"

#include <cstring>

namespace {

using Present = std::set<std::pair<std::uint16_t, std::uint16_t>>;

BOOL CALLBACK OnLanguage(HMODULE, LPCWSTR, LPCWSTR name_I, WORD language_I, LONG_PTR param_I)
{
    if (IS_INTRESOURCE(name_I)) {
        auto* present = reinterpret_cast<Present*>(param_I);
        present->emplace(static_cast<std::uint16_t>(reinterpret_cast<ULONG_PTR>(name_I)), language_I);
    }
    return TRUE;
}

BOOL CALLBACK OnName(HMODULE module_I, LPCWSTR type_I, LPWSTR name_I, LONG_PTR param_I)
{
    ::EnumResourceLanguagesW(module_I, type_I, name_I, OnLanguage, param_I);
    return TRUE;
}

std::optional<std::u16string_view> BlockOf(HMODULE module_I, HRSRC resource_I)
{
    if (resource_I == nullptr)
        return std::nullopt;
    const HGLOBAL loaded = ::LoadResource(module_I, resource_I);
    const DWORD size = ::SizeofResource(module_I, resource_I);
    if (loaded == nullptr || size == 0)
        return std::nullopt;
    const auto* data = static_cast<const char16_t*>(::LockResource(loaded));
    if (data == nullptr)
        return std::nullopt;
    return std::u16string_view(data, size / sizeof(char16_t));
}

} // namespace

CWinStringResources::CWinStringResources(HMODULE module_I)
    : mModule(module_I != nullptr ? module_I : ::GetModuleHandleW(nullptr))
{
    ::EnumResourceNamesW(mModule, MAKEINTRESOURCEW(6) /* RT_STRING */, OnName, reinterpret_cast<LONG_PTR>(&mPresent));
}

std::optional<std::u16string_view> CWinStringResources::FindStringBlock(std::uint16_t blockNumber_I,
                                                                        std::uint16_t languageId_I) const
{
    if (languageId_I == 0)
        return BlockOf(mModule, ::FindResourceW(mModule, MAKEINTRESOURCEW(blockNumber_I), MAKEINTRESOURCEW(6)));
    if (mPresent.count({blockNumber_I, languageId_I}) == 0)
        return std::nullopt;
    return BlockOf(mModule, ::FindResourceExW(mModule, MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(blockNumber_I), languageId_I));
}

std::optional<std::uint16_t> CWinLanguagePlatform::UserDefaultUILanguage() const
{
    using Query = LANGID(WINAPI*)();
    const HMODULE kernel = ::GetModuleHandleW(L"KERNEL32.DLL");
    if (kernel == nullptr)
        return std::nullopt;
    const FARPROC proc = ::GetProcAddress(kernel, "GetUserDefaultUILanguage");
    if (proc == nullptr)
        return std::nullopt;
    Query query;
    static_assert(sizeof query == sizeof proc);
    std::memcpy(&query, &proc, sizeof query);
    return query();
}

std::uint32_t CWinLanguagePlatform::UserDefaultLCID() const
{
    return ::GetUserDefaultLCID();
}
