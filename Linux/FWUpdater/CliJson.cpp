#include "FWUpdater/CliJson.h"

#include "FWUpdater/CliText.h"
#include "FWUpdater/FirmwareSummary.h"

#include <cstdio>

std::string JsonString(const std::string& text_I)
{
    std::string out = "\"";
    for (std::size_t i = 0; i < text_I.size(); ++i) {
        const char c = text_I[i];
        const auto u = static_cast<unsigned char>(c);
        const std::size_t length = Utf8SequenceLength(text_I, i);
        if (length == 0) {
            // Not UTF-8 (a path or name in another encoding): the byte as the text \xNN, as the
            // terminal shows it, so that every JSON parser reads the document.
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\\\x%02X", u);
            out += escaped;
        } else if (length > 1) {
            out.append(text_I, i, length);
            i += length - 1;
        } else if (c == '"') {
            out += "\\\"";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (u < 0x20 || u == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string InspectJson(const FirmwareSummary& summary_I)
{
    const FirmwareSummary& s = summary_I;
    std::string out = "{\"file\": " + JsonString(s.fileName) + ", \"format\": " + JsonString(s.formatName) +
                      ", \"formatId\": " + std::to_string(static_cast<int>(s.format));
    switch (s.format) {
    case eFormatPen:
    case eFormatTouch:
    case eFormatVel: {
        out += ", \"srec\": {\"blocks\": [";
        for (std::size_t i = 0; i < s.blocks.size(); ++i) {
            const FirmwareBlockSummary& b = s.blocks[i];
            out += (i ? ", " : "") + std::string("{\"address\": ") + std::to_string(b.address) +
                   ", \"size\": " + std::to_string(b.size) + ", \"byteSum\": " + std::to_string(b.byteSum) + "}";
        }
        out += "]}";
        break;
    }
    case eFormatIntelHex:
        out += ", \"intelHex\": {\"startAddress\": " + std::to_string(s.startAddress) +
               ", \"dataLength\": " + std::to_string(s.dataLength) + ", \"byteSum\": " + std::to_string(s.dataByteSum) +
               "}";
        break;
    case eFormatAiroFlash:
        out += ", \"airoFlash\": {\"size\": " + std::to_string(s.size) + ", \"byteSum\": " + std::to_string(s.byteSum) +
               "}";
        break;
    default:
        break;
    }
    return out + "}";
}

std::string ListJson(const std::vector<ListedDevice>& devices_I)
{
    std::string out = "{\"devices\": [";
    for (std::size_t d = 0; d < devices_I.size(); ++d) {
        const ListedDevice& device = devices_I[d];
        out += (d ? ", " : "") + std::string("{\"name\": ") + JsonString(device.name) +
               ", \"mode\": " + (device.loaderMode ? "\"LOADER\"" : "\"NORMAL\"") + ", \"boards\": {";
        for (std::size_t b = 0; b < device.boards.size(); ++b) {
            const ListedBoard& board = device.boards[b];
            out += (b ? ", " : "") + JsonString(board.board) + ": {\"path\": " + JsonString(board.path) +
                   ", \"interface\": " + JsonString(board.interfaceKind) +
                   ", \"vendorId\": " + std::to_string(board.vendorId) +
                   ", \"productId\": " + std::to_string(board.productId) + ", \"version\": " + JsonString(board.version) +
                   "}";
        }
        out += "}}";
    }
    return out + "]}";
}

std::string UpdateSummaryJson(const UpdateSummary& summary_I)
{
    const UpdateSummary& s = summary_I;
    const auto text = [](const std::string& value_I) { return value_I.empty() ? std::string("null") : JsonString(value_I); };
    const auto checksum = [](std::uint32_t value_I) { return value_I == 0 ? std::string("null") : std::to_string(value_I); };
    return "{\"result\": " + std::string(s.success ? "\"success\"" : "\"failure\"") + ", \"board\": " +
           JsonString(s.board) + ", \"versionBefore\": " + text(s.versionBefore) +
           ", \"versionAfter\": " + text(s.versionAfter) + ", \"checksumOld\": " + checksum(s.checksumOld) +
           ", \"checksumNew\": " + checksum(s.checksumNew) + ", \"checksumExpected\": " + checksum(s.checksumExpected) +
           ", \"verified\": " + (s.verified ? "true" : "false") + ", \"log\": " + text(s.log) +
           ", \"error\": " + text(s.error) + ", \"reason\": " + text(s.reason) + ", \"state\": " + text(s.state) + "}";
}

std::string ErrorJson(const std::string& message_I)
{
    return "{\"error\": " + JsonString(message_I) + "}";
}
