#include "ResourceUtils.h"

#include "DebugOutput.h"
#include "LanguageProvider.h"
#include "StringTable.h"
#include "StringUtils.h"

#include <array>

// An assertion reported under a fixed text whose condition is written differently here (bounded
// by the block instead of trusting a terminator).
#define ASSERT_TEXT(expr, text) \
    ((expr) ? (void)0 : (void)DebugPrint("Assert:(%s) in %s at %i\n", text, __FILE__, __LINE__))

namespace {

constexpr char16_t kMarker = 0x0298;
constexpr std::uint16_t kEnglishId = 0x0009;
constexpr unsigned kPad = 64;     // value of "="
constexpr unsigned kInvalid = 0x80; // value of every byte outside the alphabet

const CStringResources* gResources = nullptr;

// Built on first use and kept; only the user-interface thread loads strings.
const std::array<std::uint8_t, 256>& ValueTable()
{
    static const std::array<std::uint8_t, 256> table = [] {
        std::array<std::uint8_t, 256> t{};
        t.fill(kInvalid);
        for (int i = 0; i < 26; ++i) {
            t['A' + i] = static_cast<std::uint8_t>(i);
            t['a' + i] = static_cast<std::uint8_t>(26 + i);
        }
        for (int i = 0; i < 10; ++i)
            t['0' + i] = static_cast<std::uint8_t>(52 + i);
        t['+'] = 62;
        t['/'] = 63;
        t['='] = kPad;
        return t;
    }();
    return table;
}

unsigned LookUp(unsigned coded_I)
{
    const std::array<std::uint8_t, 256>& valueTable = ValueTable();
    ASSERT(coded_I < valueTable.size());
    if (coded_I >= valueTable.size())
        return kInvalid;
    ASSERT((valueTable[coded_I] & 0x80) == 0);
    return valueTable[coded_I];
}

// Length of the zero-terminated text at the start of the range, or the range's length.
std::size_t BoundedLength(const char16_t* text_I, std::size_t limit_I)
{
    std::size_t n = 0;
    while (n < limit_I && text_I[n] != 0)
        ++n;
    return n;
}

} // namespace

std::optional<std::u16string_view> CBuiltinStringResources::FindStringBlock(std::uint16_t blockNumber_I,
                                                                            std::uint16_t languageId_I) const
{
    const std::uint16_t language = languageId_I == 0 ? kEnglishId : languageId_I;
    for (const SStringBlock& block : GeneratedStringBlocks()) {
        if (block.mLanguageId == language && block.mBlockNumber == blockNumber_I)
            return std::u16string_view(block.mData, block.mSize);
    }
    return std::nullopt;
}

namespace ResourceUtils {

void SetStringResources(const CStringResources* resources_I)
{
    gResources = resources_I;
}

const CStringResources& GetStringResources()
{
    static const CBuiltinStringResources builtin;
    return gResources ? *gResources : builtin;
}

std::string FormatText(const std::string& pattern_I, const std::vector<std::string>& arguments_I)
{
    std::string out;
    out.reserve(pattern_I.size());
    for (std::size_t i = 0; i < pattern_I.size(); ++i) {
        const char next = i + 1 < pattern_I.size() ? pattern_I[i + 1] : '\0';
        if (pattern_I[i] == '%' && next == '%') {
            out += '%';
            ++i;
        } else if (pattern_I[i] == '%' && next >= '1' && next <= '9' &&
                   static_cast<std::size_t>(next - '1') < arguments_I.size()) {
            out += arguments_I[static_cast<std::size_t>(next - '1')];
            ++i;
        } else {
            out += pattern_I[i];
        }
    }
    return out;
}

std::string LoadFormattedText(std::uint32_t stringId_I, std::uint16_t languageId_I,
                              const std::vector<std::string>& arguments_I)
{
    return FormatText(Utf16ToUtf8(LoadResourceString(stringId_I, languageId_I)), arguments_I);
}

std::u16string LoadResourceString(std::uint32_t stringId_I, std::uint16_t languageId_I)
{
    return LoadResourceString(GetStringResources(), stringId_I, languageId_I);
}

std::u16string LoadResourceString(const CStringResources& resources_I, std::uint32_t stringId_I,
                                  std::uint16_t languageId_I)
{
    // String ids are 16-bit, so block numbers are 1 ... 4096.
    if (stringId_I > 0xFFFF)
        return {};
    const auto blockNumber = static_cast<std::uint16_t>(stringId_I / 16 + 1);
    std::optional<std::u16string_view> block;
    std::optional<std::uint16_t> language = languageId_I;
    while (language) {
        block = resources_I.FindStringBlock(blockNumber, *language);
        if (block)
            break;
        language = FallbackLanguageId(*language);
    }
    if (!block)
        return {};

    // Skip the entries before ours; a block that ends early has no entry for the id.
    std::size_t pos = 0;
    for (std::uint32_t skip = stringId_I % 16; skip > 0; --skip) {
        if (pos >= block->size())
            return {};
        pos += 1 + static_cast<std::size_t>((*block)[pos]);
    }
    if (pos >= block->size())
        return {};
    const std::size_t length = (*block)[pos];
    if (length == 0)
        return {};
    // An entry claiming more than the block holds is damaged: nothing is read past the block.
    if (length > block->size() - pos - 1) {
        ASSERT_FAILED("string entry longer than its block");
        return {};
    }
    const char16_t* pwsz = block->data() + pos;
    ASSERT_TEXT(BoundedLength(pwsz + 1, length) == length - 1, "wcslen(pwsz+1) == (size_t)((*pwsz) - 1)");
    return DecodeResourceText(std::u16string(pwsz + 1, length - 1));
}

std::u16string DecodeResourceText(const std::u16string& codedString_I)
{
    if (codedString_I.empty() || codedString_I[0] != kMarker)
        return codedString_I;
    std::string codedbuffer;
    codedbuffer.reserve(codedString_I.size() + 3);
    for (std::size_t i = 1; i < codedString_I.size(); ++i) {
        ASSERT(codedString_I[i] < 256);
        codedbuffer.push_back(static_cast<char>(codedString_I[i] & 0xFF));
    }
    while (codedbuffer.size() % 4 != 0)
        codedbuffer.push_back('=');
    const std::vector<std::uint8_t> bytes = DecodeBase64(codedbuffer);
    return Utf8ToUtf16(std::string(bytes.begin(), bytes.end()));
}

std::vector<std::uint8_t> DecodeBase64(const std::string& codedbuffer_I)
{
    ASSERT((((codedbuffer_I.size() + 3) / 4) * 4) == codedbuffer_I.size());
    std::vector<std::uint8_t> out;
    out.reserve(codedbuffer_I.size() / 4 * 3);
    for (std::size_t i = 0; i + 4 <= codedbuffer_I.size(); i += 4) {
        const unsigned s1 = LookUp(static_cast<unsigned char>(codedbuffer_I[i]));
        const unsigned s2 = LookUp(static_cast<unsigned char>(codedbuffer_I[i + 1]));
        const unsigned s3 = LookUp(static_cast<unsigned char>(codedbuffer_I[i + 2]));
        const unsigned s4 = LookUp(static_cast<unsigned char>(codedbuffer_I[i + 3]));
        ASSERT(s1 < 64);
        ASSERT(s2 < 64);
        // The values go in as looked up: a bad character only spoils its own bits (and the
        // assertions above have reported it).
        const std::uint32_t group = (s1 << 18) + (s2 << 12) + (s3 << 6) + s4;
        out.push_back(static_cast<std::uint8_t>(group >> 16));
        // Data bits that no output byte carries: zero in canonical Base64.
        unsigned bits = 0;
        if (s3 < 64) {
            out.push_back(static_cast<std::uint8_t>(group >> 8));
            if (s4 < 64)
                out.push_back(static_cast<std::uint8_t>(group));
            else
                bits = s3 & 0x03;
        } else {
            bits = (s2 & 0x0F) | (s4 < 64 ? s4 : 0);
        }
        ASSERT(bits == 0);
    }
    return out;
}

std::u16string EncodeResourceText(const std::u16string& text_I)
{
    const std::string utf8 = Utf16ToUtf8(text_I);
    std::string coded = Base64Encode(std::vector<std::uint8_t>(utf8.begin(), utf8.end()));
    while (coded.size() % 4 != 0)
        coded.push_back('=');
    std::u16string out(1, kMarker);
    out.append(coded.begin(), coded.end());
    return out;
}

} // namespace ResourceUtils
