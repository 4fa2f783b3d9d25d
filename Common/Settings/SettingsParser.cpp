#include "Settings/SettingsParser.h"

#include "DebugOutput.h"
#include "StringUtils.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

// A stray byte is reported like a failed assertion on the blank the reader expected there.
#define REPORT_STRAY(text) ((void)DebugPrint("Assert:(%s) in %s at %i\n", text, __FILE__, __LINE__))

namespace
{

const char kByteStringKey[] = "SbyteS";

// The diagnosis of the ParseSettingsDiagnosed call running on this thread, if any. Only the first
// failure is kept: the containers around it then fail as a consequence, not for a reason of their
// own.
thread_local SettingsSyntaxError* tDiagnosis = nullptr;

CSettingsObjectPtr Fail(std::size_t pos_I, const char* expected_I)
{
    if (tDiagnosis != nullptr && tDiagnosis->expected.empty()) {
        tDiagnosis->offset = pos_I;
        tDiagnosis->expected = expected_I;
    }
    return nullptr;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsNumberByte(char c)
{
    return IsDigit(c) || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Blanks and // comments; a comment ends with (and consumes) its line feed or the buffer.
void SkipCommentsAndBlanks(std::string_view buffer_I, std::size_t& pos_IO)
{
    const std::size_t n = buffer_I.size();
    while (pos_IO < n) {
        if (buffer_I[pos_IO] == '/' && pos_IO + 1 < n && buffer_I[pos_IO + 1] == '/') {
            pos_IO += 2;
            while (pos_IO < n && buffer_I[pos_IO] != '\n')
                ++pos_IO;
            if (pos_IO < n)
                ++pos_IO;
        } else if (IsClassicSpace(static_cast<unsigned char>(buffer_I[pos_IO]))) {
            ++pos_IO;
        } else {
            break;
        }
    }
}

// The keyword at pos_IO, compared only within the buffer.
bool KeywordAt(std::string_view buffer_I, std::size_t pos_I, std::string_view keyword_I)
{
    return buffer_I.size() - pos_I >= keyword_I.size() && buffer_I.compare(pos_I, keyword_I.size(), keyword_I) == 0;
}

// Code points up to 0xFFFF in one to three UTF-8 bytes (surrogates included as they are).
void AppendUtf8(std::string& text_IO, std::uint32_t codePoint_I)
{
    if (codePoint_I < 0x80) {
        text_IO += static_cast<char>(codePoint_I);
    } else if (codePoint_I < 0x800) {
        text_IO += static_cast<char>(0xC0 | (codePoint_I >> 6));
        text_IO += static_cast<char>(0x80 | (codePoint_I & 0x3F));
    } else {
        text_IO += static_cast<char>(0xE0 | (codePoint_I >> 12));
        text_IO += static_cast<char>(0x80 | ((codePoint_I >> 6) & 0x3F));
        text_IO += static_cast<char>(0x80 | (codePoint_I & 0x3F));
    }
}

// Signed decimal in the manner of strtoll: optional sign, digits, stop at the first byte that
// cannot continue the number. No digits, or a value outside 64 bits, gives 0.
std::int64_t ConvertInteger(std::string_view span_I)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < span_I.size() && (span_I[i] == '-' || span_I[i] == '+')) {
        negative = span_I[i] == '-';
        ++i;
    }
    const std::uint64_t limit = negative ? std::uint64_t(1) << 63 : (std::uint64_t(1) << 63) - 1;
    std::uint64_t magnitude = 0;
    bool anyDigit = false;
    for (; i < span_I.size() && IsDigit(span_I[i]); ++i) {
        const auto digit = static_cast<std::uint64_t>(span_I[i] - '0');
        if (magnitude > (limit - digit) / 10)
            return 0;
        magnitude = magnitude * 10 + digit;
        anyDigit = true;
    }
    if (!anyDigit)
        return 0;
    if (negative)
        return magnitude == (std::uint64_t(1) << 63) ? INT64_MIN : -static_cast<std::int64_t>(magnitude);
    return static_cast<std::int64_t>(magnitude);
}

} // namespace

CSettingsObjectPtr LoadSettingsFile(const std::string& path_I)
{
    try {
        const std::filesystem::path path(std::u8string(path_I.begin(), path_I.end()));
        // Binary: the bytes reach the parser exactly as they are on disk, on every platform.
        std::ifstream in(path, std::ios::in | std::ios::binary);
        if (!in)
            return nullptr;
        const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.bad())
            return nullptr;
        return ParseSettings(content);
    } catch (const std::exception&) {
        return nullptr;
    }
}

CSettingsObjectPtr ParseSettings(std::string_view buffer_I)
{
    std::size_t pos = 0;
    std::size_t firstStray = std::string_view::npos;
    while (true) {
        SkipCommentsAndBlanks(buffer_I, pos);
        if (pos >= buffer_I.size())
            return Fail(firstStray != std::string_view::npos ? firstStray : pos, "'[' or '{' to start the document");
        if (tDiagnosis != nullptr && (buffer_I[pos] == '{' || buffer_I[pos] == '['))
            tDiagnosis->documentStart = pos;
        if (buffer_I[pos] == '{')
            return ParseMap(buffer_I, pos, 0);
        if (buffer_I[pos] == '[')
            return ParseArray(buffer_I, pos, 0);
        REPORT_STRAY("isspace(buffer_I[pos])");
        if (firstStray == std::string_view::npos)
            firstStray = pos;
        ++pos;
    }
}

CSettingsObjectPtr ParseSettingsDiagnosed(std::string_view buffer_I, SettingsSyntaxError& error_O)
{
    error_O = SettingsSyntaxError();
    SettingsSyntaxError* const outer = tDiagnosis;
    tDiagnosis = &error_O;
    CSettingsObjectPtr result = ParseSettings(buffer_I);
    tDiagnosis = outer;
    return result;
}

void SettingsLineAndColumn(std::string_view buffer_I, std::size_t offset_I, std::size_t& line_O, std::size_t& column_O)
{
    line_O = 1;
    column_O = 1;
    for (std::size_t i = 0; i < offset_I && i < buffer_I.size(); ++i) {
        if (buffer_I[i] == '\n') {
            ++line_O;
            column_O = 1;
        } else {
            ++column_O;
        }
    }
}

CSettingsObjectPtr ParseValue(std::string_view buffer_I, std::size_t& pos_IO, std::uint32_t depth_I)
{
    const std::size_t n = buffer_I.size();
    while (true) {
        SkipCommentsAndBlanks(buffer_I, pos_IO);
        if (pos_IO >= n)
            return Fail(pos_IO, "a value");
        const char c = buffer_I[pos_IO];
        if (c == '{') {
            CSettingsObjectPtr value = ParseMap(buffer_I, pos_IO, depth_I);
            // {"SbyteS": <bytes>} is a byte string in disguise.
            if (const auto map = AsMap(value); map && map->Count() == 1) {
                const auto& entry = *map->Entries().begin();
                if (entry.first == kByteStringKey && entry.second && entry.second->GetTypeName() == "bytes")
                    return entry.second;
            }
            return value;
        }
        if (c == '[')
            return ParseArray(buffer_I, pos_IO, depth_I);
        if (KeywordAt(buffer_I, pos_IO, "true")) {
            pos_IO += 4;
            return CSettingsBool::Create(true);
        }
        if (KeywordAt(buffer_I, pos_IO, "false")) {
            pos_IO += 5;
            return CSettingsBool::Create(false);
        }
        if (KeywordAt(buffer_I, pos_IO, "null")) {
            pos_IO += 4;
            return CSettingsNULL::Create();
        }
        if (c == '"')
            return ParseString(buffer_I, pos_IO);
        if (IsDigit(c) || c == '-') {
            bool isDouble = false;
            for (std::size_t p = pos_IO; p < n && IsNumberByte(buffer_I[p]); ++p) {
                if (buffer_I[p] == '.' || buffer_I[p] == 'e' || buffer_I[p] == 'E') {
                    isDouble = true;
                    break;
                }
            }
            return isDouble ? ParseDouble(buffer_I, pos_IO) : ParseInteger(buffer_I, pos_IO);
        }
        REPORT_STRAY("isspace(buffer_I[pos_IO])");
        ++pos_IO;
    }
}

CSettingsObjectPtr ParseString(std::string_view buffer_I, std::size_t& pos_IO)
{
    const std::size_t n = buffer_I.size();
    if (pos_IO >= n || buffer_I[pos_IO] != '"')
        return nullptr;
    std::string text;
    std::size_t p = pos_IO + 1;
    while (p < n) {
        const char c = buffer_I[p];
        if (c == '"') {
            pos_IO = p + 1;
            return CSettingsString::Create(std::move(text));
        }
        if (c != '\\') {
            text += c;
            ++p;
            continue;
        }
        if (p + 1 >= n)
            return Fail(pos_IO, "a closing '\"' for the text that starts here");
        switch (buffer_I[p + 1]) {
        case '"': text += '"'; break;
        case '\\': text += '\\'; break;
        case '/': text += '/'; break;
        case 'b': text += '\b'; break;
        case 'f': text += '\f'; break;
        case 'n': text += '\n'; break;
        case 'r': text += '\r'; break;
        case 't': text += '\t'; break;
        case 'u': {
            // Exactly four hexadecimal digits must follow within the buffer.
            if (n - (p + 2) < 4)
                return Fail(p, "four hexadecimal digits after \\u");
            std::uint32_t codePoint = 0;
            for (std::size_t k = 0; k < 4; ++k) {
                const int digit = HexValue(buffer_I[p + 2 + k]);
                if (digit < 0)
                    return Fail(p, "four hexadecimal digits after \\u");
                codePoint = codePoint * 16 + static_cast<std::uint32_t>(digit);
            }
            AppendUtf8(text, codePoint);
            p += 6;
            continue;
        }
        default:
            return Fail(p, "an escape such as \\\", \\\\, \\n or \\uXXXX after the backslash");
        }
        p += 2;
    }
    return Fail(pos_IO, "a closing '\"' for the text that starts here");
}

CSettingsObjectPtr ParseMap(std::string_view buffer_I, std::size_t& pos_IO, std::uint32_t depth_I)
{
    const std::size_t n = buffer_I.size();
    if (pos_IO >= n || buffer_I[pos_IO] != '{')
        return nullptr;
    if (depth_I >= kMaxSettingsDepth)
        return Fail(pos_IO, "fewer nested maps and arrays (at most 256)");
    ++pos_IO;
    auto map = CSettingsMap::Create();
    std::shared_ptr<CSettingsString> key;
    CSettingsObjectPtr obj;
    bool colon = false;
    while (true) {
        SkipCommentsAndBlanks(buffer_I, pos_IO);
        if (pos_IO >= n)
            return Fail(pos_IO, "'}' to close the map");
        const char c = buffer_I[pos_IO];
        const bool complete = colon && obj && key && !key->GetValue().empty();
        if (c == '}') {
            if (complete) {
                if (map->Count() == 0 && key->GetValue() == kByteStringKey)
                    map->Set(kByteStringKey, CSettingsBytes::Create(Base64Decode(obj->ToString())));
                else
                    map->Set(key->GetValue(), obj);
            }
            ++pos_IO;
            return map;
        }
        if (c == ',') {
            if (!complete)
                return Fail(pos_IO, key ? (colon ? "a value before ','" : "':' after the name") : "'\"' to start a name");
            map->Set(key->GetValue(), obj);
            key.reset();
            obj.reset();
            colon = false;
            ++pos_IO;
            continue;
        }
        if (!key) {
            if (c != '"')
                return Fail(pos_IO, "'\"' to start a name, or '}'");
            ASSERT(!obj);
            const std::size_t keyStart = pos_IO;
            key = std::dynamic_pointer_cast<CSettingsString>(ParseString(buffer_I, pos_IO));
            if (!key)
                return nullptr;
            if (key->GetValue().empty())
                return Fail(keyStart, "a name that is not empty");
            continue;
        }
        if (!colon) {
            if (c != ':')
                return Fail(pos_IO, "':' after the name");
            colon = true;
            ++pos_IO;
            continue;
        }
        if (obj)
            return Fail(pos_IO, "',' or '}'"); // two values without a separator
        obj = ParseValue(buffer_I, pos_IO, depth_I + 1);
        if (!obj)
            return nullptr;
    }
}

CSettingsObjectPtr ParseArray(std::string_view buffer_I, std::size_t& pos_IO, std::uint32_t depth_I)
{
    const std::size_t n = buffer_I.size();
    if (pos_IO >= n || buffer_I[pos_IO] != '[')
        return nullptr;
    if (depth_I >= kMaxSettingsDepth)
        return Fail(pos_IO, "fewer nested maps and arrays (at most 256)");
    ++pos_IO;
    auto array = CSettingsArray::Create();
    CSettingsObjectPtr element;
    while (true) {
        SkipCommentsAndBlanks(buffer_I, pos_IO);
        if (pos_IO >= n)
            return Fail(pos_IO, "']' to close the array");
        const char c = buffer_I[pos_IO];
        if (c == ']') {
            if (element)
                array->Append(std::move(element));
            ++pos_IO;
            return array;
        }
        if (c == ',') {
            if (!element)
                return Fail(pos_IO, "a value before ','");
            array->Append(std::move(element));
            element.reset();
            ++pos_IO;
            continue;
        }
        if (element)
            return Fail(pos_IO, "',' or ']'");
        element = ParseValue(buffer_I, pos_IO, depth_I + 1);
        if (!element)
            return nullptr;
    }
}

CSettingsObjectPtr ParseInteger(std::string_view buffer_I, std::size_t& pos_IO)
{
    const std::size_t n = buffer_I.size();
    if (pos_IO >= n || !(IsDigit(buffer_I[pos_IO]) || buffer_I[pos_IO] == '-'))
        return nullptr;
    std::size_t p = pos_IO;
    while (p < n && (IsDigit(buffer_I[p]) || buffer_I[p] == '-'))
        ++p;
    if (p < n && (buffer_I[p] == '+' || buffer_I[p] == '.' || buffer_I[p] == 'e' || buffer_I[p] == 'E'))
        return Fail(p, "a digit (a whole number has no '+')"); // position stays at the start
    const std::string_view span = buffer_I.substr(pos_IO, p - pos_IO);
    pos_IO = p;
    return CSettingsInteger::Create(ConvertInteger(span));
}

CSettingsObjectPtr ParseDouble(std::string_view buffer_I, std::size_t& pos_IO)
{
    const std::size_t n = buffer_I.size();
    if (pos_IO >= n || !(IsDigit(buffer_I[pos_IO]) || buffer_I[pos_IO] == '-'))
        return nullptr;
    std::size_t p = pos_IO;
    while (p < n && IsNumberByte(buffer_I[p]))
        ++p;
    const std::string_view span = buffer_I.substr(pos_IO, p - pos_IO);
    pos_IO = p;
    // from_chars follows strtod's grammar (the longest convertible prefix), without its
    // dependence on the process locale's decimal point.
    double value = 0.0;
    const auto result = std::from_chars(span.data(), span.data() + span.size(), value, std::chars_format::general);
    if (result.ec != std::errc())
        value = 0.0;
    return CSettingsDouble::Create(value);
}
