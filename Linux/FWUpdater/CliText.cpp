#include "FWUpdater/CliText.h"

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
