#include "FWUpdater/CliText.h"

#include "FWUpdater/CliStringIds.h"
#include "ResourceUtils.h"
#include "StringUtils.h"

#include <cstdio>
#include <iostream>

std::size_t Utf8SequenceLength(const std::string& text_I, std::size_t pos_I)
{
    const auto byte = [&](std::size_t i_I) { return static_cast<unsigned char>(text_I[i_I]); };
    const unsigned char lead = byte(pos_I);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80; // allowed range of the second byte (overlong forms and surrogates excluded)
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text_I.size() - pos_I < length)
        return 0;
    if (byte(pos_I + 1) < low || byte(pos_I + 1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(pos_I + i) < 0x80 || byte(pos_I + i) > 0xBF)
            return 0;
    }
    return length;
}

std::string PrintableText(const std::string& text_I)
{
    std::string out;
    out.reserve(text_I.size());
    const auto hex = [&out](unsigned value_I) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", value_I);
        out += escaped;
    };
    for (std::size_t i = 0; i < text_I.size();) {
        const auto c = static_cast<unsigned char>(text_I[i]);
        const std::size_t length = Utf8SequenceLength(text_I, i);
        if (length == 0) {
            hex(c);
            ++i;
        } else if (length == 1 && (c < 0x20 || c == 0x7F)) {
            if (c == '\n')
                out += "\\n";
            else if (c == '\r')
                out += "\\r";
            else if (c == '\t')
                out += "\\t";
            else
                hex(c);
            ++i;
        } else if (length == 2 && c == 0xC2 && static_cast<unsigned char>(text_I[i + 1]) < 0xA0) {
            // U+0080..U+009F: C1 controls, which terminals obey as well (CSI is U+009B).
            hex(c);
            hex(static_cast<unsigned char>(text_I[i + 1]));
            i += 2;
        } else {
            out.append(text_I, i, length);
            i += length;
        }
    }
    return out;
}

void PrintCliError(const std::string& message_I)
{
    std::cerr << "vellum-fwupdater: " << PrintableText(message_I) << "\n" << std::flush;
}

void PrintCliError(const CCliMessage& message_I)
{
    PrintCliError(message_I.Text());
}

namespace {

std::uint16_t gCliLanguage = kCliEnglish;

} // namespace

void SetCliLanguage(std::uint16_t languageId_I)
{
    gCliLanguage = languageId_I;
}

std::uint16_t CliLanguage()
{
    return gCliLanguage;
}

std::string CliText(int stringId_I, const std::vector<std::string>& arguments_I)
{
    return ResourceUtils::LoadFormattedText(static_cast<std::uint32_t>(stringId_I), gCliLanguage, arguments_I);
}

namespace {

// Lower case for the letters the answers use: Latin (with Latin-1's accented capitals) and Cyrillic.
std::u16string AnswerLower(const std::u16string& text_I)
{
    std::u16string out = ToLower(Trimmed(text_I));
    for (char16_t& c : out) {
        if ((c >= 0x00C0 && c <= 0x00DE && c != 0x00D7) || (c >= 0x0410 && c <= 0x042F))
            c = static_cast<char16_t>(c + 0x20);
        else if (c >= 0x0400 && c <= 0x040F)
            c = static_cast<char16_t>(c + 0x50);
    }
    return out;
}

} // namespace

bool IsYesAnswer(const std::string& answer_I, std::uint16_t languageId_I)
{
    const std::u16string answer = AnswerLower(Utf8ToUtf16(answer_I));
    if (answer.empty())
        return false;
    // The language's words, then English's, which every user may type.
    const std::u16string words = ResourceUtils::LoadResourceString(IDS_CLI_YES_ANSWERS, languageId_I) + u"|" +
                                 ResourceUtils::LoadResourceString(IDS_CLI_YES_ANSWERS, kCliEnglish);
    for (const std::u16string& word : Split(words, u"|")) {
        if (!word.empty() && AnswerLower(word) == answer)
            return true;
    }
    return false;
}

std::string ShownModelText(const std::string& text_I)
{
    // The model's English text is the key: the strings source holds it as the English entry.
    for (const int id : {IDS_CLI_CONFIRM_UPDATE, IDS_CLI_TOUCH_MISSING, IDS_CLI_BLUETOOTH_MISSING, IDS_CLI_INVALID_FILE,
                         IDS_CLI_TYPE_MISMATCH, IDS_CLI_NOT_AVAILABLE, IDS_CLI_NOT_SUPPORTED}) {
        if (text_I == ResourceUtils::LoadFormattedText(static_cast<std::uint32_t>(id), kCliEnglish))
            return CliText(id);
    }
    return text_I;
}

std::size_t TextWidth(const std::string& text_I)
{
    std::size_t width = 0;
    for (const char c : text_I)
        width += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return width;
}

namespace {

// The code point at text_I[pos_I] and its length in bytes; a byte that starts no well-formed
// sequence is taken alone.
char32_t CodePointAt(const std::string& text_I, std::size_t pos_I, std::size_t& length_O)
{
    const auto byte = [&](std::size_t i_I) { return static_cast<unsigned char>(text_I[i_I]); };
    length_O = Utf8SequenceLength(text_I, pos_I);
    if (length_O <= 1) {
        length_O = 1;
        return byte(pos_I);
    }
    char32_t value = byte(pos_I) & (0xFF >> (length_O + 1));
    for (std::size_t i = 1; i < length_O; ++i)
        value = (value << 6) | (byte(pos_I + i) & 0x3F);
    return value;
}

bool IsHangul(char32_t c_I)
{
    return (c_I >= 0x1100 && c_I <= 0x115F) || (c_I >= 0xAC00 && c_I <= 0xD7A3);
}

bool IsWide(char32_t c_I)
{
    return IsHangul(c_I) || (c_I >= 0x2E80 && c_I <= 0x303E) || (c_I >= 0x3041 && c_I <= 0x33FF) ||
           (c_I >= 0x3400 && c_I <= 0x4DBF) || (c_I >= 0x4E00 && c_I <= 0x9FFF) || (c_I >= 0xA000 && c_I <= 0xA4CF) ||
           (c_I >= 0xF900 && c_I <= 0xFAFF) || (c_I >= 0xFE30 && c_I <= 0xFE4F) || (c_I >= 0xFF00 && c_I <= 0xFF60) ||
           (c_I >= 0xFFE0 && c_I <= 0xFFE6);
}

// Punctuation that must not begin a line, and the kind that must not end one.
bool IsClosing(char32_t c_I)
{
    for (const char32_t c : {U'、', U'。', U'，', U'．', U'）', U'」', U'』', U'：', U'；', U'！', U'？', U'ー', U')', U']',
                             U',', U'.', U':', U';', U'!', U'?'}) {
        if (c == c_I)
            return true;
    }
    return false;
}

bool IsOpening(char32_t c_I)
{
    return c_I == U'（' || c_I == U'「' || c_I == U'『' || c_I == U'(' || c_I == U'[';
}

} // namespace

std::size_t DisplayWidth(const std::string& text_I)
{
    std::size_t width = 0;
    for (std::size_t i = 0, length = 0; i < text_I.size(); i += length)
        width += IsWide(CodePointAt(text_I, i, length)) ? 2 : 1;
    return width;
}

std::string WrappedText(const std::string& text_I, std::size_t firstColumn_I, std::size_t indent_I,
                        std::size_t width_I)
{
    const std::string indent(indent_I, ' ');
    std::string out;
    std::size_t lineBegin = 0;
    for (bool first = true; lineBegin <= text_I.size(); first = false) {
        std::size_t lineEnd = text_I.find('\n', lineBegin);
        if (lineEnd == std::string::npos)
            lineEnd = text_I.size();
        if (!first)
            out += "\n" + indent;
        std::size_t column = first ? firstColumn_I : indent_I;
        std::size_t pieceBegin = lineBegin;
        std::size_t breakAt = std::string::npos; // where the line may be broken
        bool breakAtBlank = false;               // ... dropping the blank there
        char32_t previous = 0;
        for (std::size_t i = lineBegin, length = 0; i < lineEnd; i += length) {
            const char32_t c = CodePointAt(text_I, i, length);
            const bool wideBreak = !IsHangul(c) && !IsClosing(c) && !IsOpening(previous) && previous != U' ';
            if (c == U' ') {
                breakAt = i;
                breakAtBlank = true;
            } else if (i > pieceBegin && wideBreak && (IsWide(c) || (IsWide(previous) && !IsHangul(previous)))) {
                breakAt = i;
                breakAtBlank = false;
            }
            const std::size_t width = IsWide(c) ? 2 : 1;
            if (column + width > width_I && breakAt != std::string::npos && breakAt > pieceBegin) {
                out.append(text_I, pieceBegin, breakAt - pieceBegin).append("\n").append(indent);
                pieceBegin = breakAt + (breakAtBlank ? 1 : 0);
                breakAt = std::string::npos;
                previous = c;
                if (pieceBegin > i) {
                    column = indent_I;
                    continue; // the blank the line was broken at
                }
                column = indent_I + DisplayWidth(text_I.substr(pieceBegin, i - pieceBegin));
            }
            column += width;
            previous = c;
        }
        out.append(text_I, pieceBegin, lineEnd - pieceBegin);
        lineBegin = lineEnd + 1;
    }
    return out;
}

std::string PaddedLabel(const std::string& label_I, std::size_t width_I)
{
    const std::size_t width = TextWidth(label_I);
    return label_I + std::string(width < width_I ? width_I - width : 1, ' ');
}

std::string CCliMessage::In(std::uint16_t languageId_I) const
{
    if (mId == 0)
        return mVerbatim;
    std::vector<std::string> arguments;
    arguments.reserve(mArguments.size());
    for (const CCliMessage& argument : mArguments)
        arguments.push_back(argument.In(languageId_I));
    return ResourceUtils::LoadFormattedText(static_cast<std::uint32_t>(mId), languageId_I, arguments);
}
