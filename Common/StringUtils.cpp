#include "StringUtils.h"

#include "CVelException.h"

#include <exception>

namespace {

constexpr char16_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out_IO, std::uint32_t cp)
{
    if (cp < 0x80) {
        out_IO.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out_IO.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out_IO.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out_IO.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out_IO.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out_IO.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out_IO.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out_IO.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out_IO.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out_IO.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

int Base64Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    throw CVelException("bad char");
}

} // namespace

std::u16string Utf8ToUtf16(const std::string& text_I)
{
    std::u16string out;
    if (text_I.empty())
        return out;
    out.reserve(text_I.size());
    const auto* s = reinterpret_cast<const unsigned char*>(text_I.data());
    const size_t n = text_I.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        if (c == 0)
            break;
        if (c < 0x80) {
            out.push_back(c);
            ++i;
            continue;
        }
        size_t len = 0;
        std::uint32_t cp = 0;
        std::uint32_t min = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
            min = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
            min = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
            min = 0x10000;
        }
        bool ok = len != 0 && i + len <= n;
        for (size_t k = 1; ok && k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        if (ok && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)))
            ok = false;
        if (!ok) {
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

std::string Utf16ToUtf8(const std::u16string& text_I)
{
    std::string out;
    if (text_I.empty())
        return out;
    out.reserve(text_I.size());
    const size_t n = text_I.size();
    for (size_t i = 0; i < n; ++i) {
        const char16_t c = text_I[i];
        if (c == 0)
            break;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && text_I[i + 1] >= 0xDC00 && text_I[i + 1] <= 0xDFFF) {
            const std::uint32_t cp = 0x10000 + ((static_cast<std::uint32_t>(c) - 0xD800) << 10) +
                                     (static_cast<std::uint32_t>(text_I[i + 1]) - 0xDC00);
            AppendUtf8(out, cp);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

std::string ToLower(const std::string& text_I)
{
    std::string out(text_I);
    for (char& c : out)
        c = ClassicToLower(c);
    return out;
}

void Trim(std::string& text_IO)
{
    size_t begin = 0;
    while (begin < text_IO.size() && IsClassicSpace(static_cast<unsigned char>(text_IO[begin])))
        ++begin;
    text_IO.erase(0, begin);
    while (!text_IO.empty() && IsClassicSpace(static_cast<unsigned char>(text_IO.back())))
        text_IO.pop_back();
}

std::string Trimmed(const std::string& text_I)
{
    std::string out(text_I);
    Trim(out);
    return out;
}

bool EqualsNoCase(const std::string& a_I, const std::string& b_I)
{
    if (a_I == b_I)
        return true;
    return ToLower(a_I) == ToLower(b_I);
}

std::u16string ToLower(const std::u16string& text_I)
{
    std::u16string out(text_I);
    for (char16_t& c : out) {
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
    }
    return out;
}

void Trim(std::u16string& text_IO)
{
    size_t begin = 0;
    while (begin < text_IO.size() && IsClassicSpace(text_IO[begin]))
        ++begin;
    text_IO.erase(0, begin);
    while (!text_IO.empty() && IsClassicSpace(text_IO.back()))
        text_IO.pop_back();
}

std::u16string Trimmed(const std::u16string& text_I)
{
    std::u16string out(text_I);
    Trim(out);
    return out;
}

std::ptrdiff_t FindNoCase(const std::u16string& text_I, const std::u16string& pattern_I)
{
    size_t pos = text_I.find(pattern_I);
    if (pos == std::u16string::npos)
        pos = ToLower(text_I).find(ToLower(pattern_I));
    return pos == std::u16string::npos ? -1 : static_cast<std::ptrdiff_t>(pos);
}

std::vector<std::u16string> Split(const std::u16string& text_I, const std::u16string& delimiter_I)
{
    std::vector<std::u16string> tokens;
    if (text_I.empty())
        return tokens;
    size_t pos = 0;
    while (pos < text_I.size()) {
        // An empty delimiter would never advance; treat the whole rest as one token.
        const size_t next = delimiter_I.empty() ? std::u16string::npos : text_I.find(delimiter_I, pos);
        if (next == std::u16string::npos) {
            tokens.push_back(text_I.substr(pos));
            break;
        }
        tokens.push_back(text_I.substr(pos, next - pos));
        pos = next + 1;
    }
    return tokens;
}

std::string Base64Encode(const std::vector<std::uint8_t>& bytes_I)
{
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes_I.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes_I.size(); i += 3) {
        const std::uint32_t v = (std::uint32_t(bytes_I[i]) << 16) | (std::uint32_t(bytes_I[i + 1]) << 8) | bytes_I[i + 2];
        out.push_back(kAlphabet[(v >> 18) & 0x3F]);
        out.push_back(kAlphabet[(v >> 12) & 0x3F]);
        out.push_back(kAlphabet[(v >> 6) & 0x3F]);
        out.push_back(kAlphabet[v & 0x3F]);
    }
    const size_t rest = bytes_I.size() - i;
    if (rest == 1) {
        const std::uint32_t v = std::uint32_t(bytes_I[i]) << 16;
        out.push_back(kAlphabet[(v >> 18) & 0x3F]);
        out.push_back(kAlphabet[(v >> 12) & 0x3F]);
    } else if (rest == 2) {
        const std::uint32_t v = (std::uint32_t(bytes_I[i]) << 16) | (std::uint32_t(bytes_I[i + 1]) << 8);
        out.push_back(kAlphabet[(v >> 18) & 0x3F]);
        out.push_back(kAlphabet[(v >> 12) & 0x3F]);
        out.push_back(kAlphabet[(v >> 6) & 0x3F]);
    }
    return out;
}

std::vector<std::uint8_t> Base64Decode(const std::string& text_I)
{
    std::vector<std::uint8_t> out;
    try {
        out.reserve(text_I.size() / 4 * 3 + 2);
        size_t i = 0;
        for (; i + 4 <= text_I.size(); i += 4) {
            const std::uint32_t v = (std::uint32_t(Base64Value(text_I[i])) << 18) |
                                    (std::uint32_t(Base64Value(text_I[i + 1])) << 12) |
                                    (std::uint32_t(Base64Value(text_I[i + 2])) << 6) |
                                    std::uint32_t(Base64Value(text_I[i + 3]));
            out.push_back(static_cast<std::uint8_t>(v >> 16));
            out.push_back(static_cast<std::uint8_t>(v >> 8));
            out.push_back(static_cast<std::uint8_t>(v));
        }
        const size_t rest = text_I.size() - i;
        if (rest == 1) {
            Base64Value(text_I[i]); // a lone final character decodes to nothing, but must be valid
        } else if (rest == 2) {
            const std::uint32_t v = (std::uint32_t(Base64Value(text_I[i])) << 18) |
                                    (std::uint32_t(Base64Value(text_I[i + 1])) << 12);
            out.push_back(static_cast<std::uint8_t>(v >> 16));
        } else if (rest == 3) {
            const std::uint32_t v = (std::uint32_t(Base64Value(text_I[i])) << 18) |
                                    (std::uint32_t(Base64Value(text_I[i + 1])) << 12) |
                                    (std::uint32_t(Base64Value(text_I[i + 2])) << 6);
            out.push_back(static_cast<std::uint8_t>(v >> 16));
            out.push_back(static_cast<std::uint8_t>(v >> 8));
        }
    } catch (const std::exception&) {
        return {};
    }
    return out;
}

std::string Utf8FromCodePoint(std::int32_t codePoint_I)
{
    std::string out;
    if (codePoint_I < 0 || codePoint_I > 0x10FFFF)
        return out;
    AppendUtf8(out, static_cast<std::uint32_t>(codePoint_I));
    return out;
}
