#pragma once
// Loading the localized strings: string-table blocks by language, the fallback chain of language
// ids, and the stored form of each text (U+0298 followed by the Base64 of its UTF-8 bytes).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Where string-table blocks come from. The built-in table serves every platform; a Windows build
// may install one over its own resources (FindResourceEx) instead.
class CStringResources
{
public:
    virtual ~CStringResources() = default;
    // The block (sixteen length-prefixed UTF-16 entries for the ids (blockNumber - 1) * 16 ...)
    // in exactly this language, or empty when the resources have none. Language id 0 (neutral)
    // leaves the choice of language to the resources.
    virtual std::optional<std::u16string_view> FindStringBlock(std::uint16_t blockNumber_I,
                                                               std::uint16_t languageId_I) const = 0;
};

// The table generated from Common/Strings/strings.txt. The neutral language id 0 has no table
// of its own: it is answered with English (0x0009), the language every other one ends in.
class CBuiltinStringResources : public CStringResources
{
public:
    std::optional<std::u16string_view> FindStringBlock(std::uint16_t blockNumber_I,
                                                       std::uint16_t languageId_I) const override;
};

namespace ResourceUtils {

// The process-wide resources LoadResourceString uses; null restores the built-in table. The
// object must outlive its use (user-interface thread only, like every string load).
void SetStringResources(const CStringResources* resources_I);
const CStringResources& GetStringResources();

// The decoded string in this language or the first along the fallback chain that has the
// string's block; empty when no language has it, or the entry is missing or empty. (Not named
// "LoadString": windows.h defines that as a macro.)
std::u16string LoadResourceString(std::uint32_t stringId_I, std::uint16_t languageId_I);
std::u16string LoadResourceString(const CStringResources& resources_I, std::uint32_t stringId_I,
                                  std::uint16_t languageId_I);

// A text starting with U+0298 is decoded (the rest is Base64, padded with "=" if short, of UTF-8
// bytes); any other text is returned unchanged. Malformed input only gives assertion lines.
std::u16string DecodeResourceText(const std::u16string& codedString_I);

// Base64 in groups of four through the 256-entry value table; the input should be a multiple of
// four long (an incomplete last group is reported and left out).
std::vector<std::uint8_t> DecodeBase64(const std::string& codedbuffer_I);

// The text with %1 ... %9 replaced by the arguments, in whatever order the text names them (a
// translation may reorder them); %% is a percent sign. A placeholder without an argument, or any
// other %, is kept as written.
std::string FormatText(const std::string& pattern_I, const std::vector<std::string>& arguments_I);

// LoadResourceString as UTF-8, with its placeholders replaced (FormatText).
std::string LoadFormattedText(std::uint32_t stringId_I, std::uint16_t languageId_I,
                              const std::vector<std::string>& arguments_I = {});

// The stored form of a text, as the generator writes it (for tests and tools).
std::u16string EncodeResourceText(const std::u16string& text_I);

} // namespace ResourceUtils
