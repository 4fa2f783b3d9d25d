#pragma once
// String helpers shared by the whole system. Narrow strings hold bytes (usually UTF-8); wide
// strings are UTF-16 (std::u16string on every platform, converted to wchar_t only at the
// Windows API boundary). Case and white space follow the classic "C" locale: only A-Z/a-z have
// case, and only blank, \t, \n, \v, \f, \r are white space.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// UTF-8 <-> UTF-16. The result ends at the first zero character of the input; invalid
// sequences become U+FFFD (one per undecodable byte, an unpaired surrogate gives one).
std::u16string Utf8ToUtf16(const std::string& text_I);
std::string Utf16ToUtf8(const std::u16string& text_I);

std::string ToLower(const std::string& text_I);
void Trim(std::string& text_IO);
std::string Trimmed(const std::string& text_I);
bool EqualsNoCase(const std::string& a_I, const std::string& b_I);

std::u16string ToLower(const std::u16string& text_I);
void Trim(std::u16string& text_IO);
std::u16string Trimmed(const std::u16string& text_I);
// Position of the first match (exact first, then case-insensitive), or -1.
std::ptrdiff_t FindNoCase(const std::u16string& text_I, const std::u16string& pattern_I);
// Consecutive delimiters give empty tokens; a trailing delimiter gives no empty last token.
std::vector<std::u16string> Split(const std::u16string& text_I, const std::u16string& delimiter_I);

// Base64 with the standard alphabet, never padded on output.
std::string Base64Encode(const std::vector<std::uint8_t>& bytes_I);
// Any character outside the alphabet ("=" included) gives an empty result.
std::vector<std::uint8_t> Base64Decode(const std::string& text_I);

// UTF-8 bytes of one code point; empty above U+10FFFF or below 0.
std::string Utf8FromCodePoint(std::int32_t codePoint_I);

// Classic-locale helpers, independent of the process locale.
inline bool IsClassicSpace(unsigned int c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}
inline char ClassicToLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
