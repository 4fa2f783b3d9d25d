#include "FWUpdater/FirmwareSummary.h"

#include "FWUpdater/CSRec.h"
#include "FWUpdater/CliStringIds.h"
#include "ResourceUtils.h"

#include <cstdio>

namespace {

std::uint64_t ByteSum(const std::uint8_t* bytes_I, std::size_t size_I)
{
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < size_I; ++i) {
        sum += bytes_I[i];
    }
    return sum;
}

std::string Hex(std::uint64_t value_I, int width_I)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%0*llX", width_I, static_cast<unsigned long long>(value_I));
    return text;
}

std::string JsonString(const std::string& text_I)
{
    std::string out = "\"";
    for (const char c : text_I) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (u < 0x20) {
                char esc[8];
                std::snprintf(esc, sizeof esc, "\\u%04X", u);
                out += esc;
            } else {
                out += c; // UTF-8 passes through unchanged
            }
        }
    }
    return out + "\"";
}

} // namespace

const char* FormatName(DataSourceFormat format_I)
{
    switch (format_I) {
    case eFormatPen:
        return "pen";
    case eFormatTouch:
        return "touch";
    case eFormatVel:
        return "vel";
    case eFormatIntelHex:
        return "hex";
    case eFormatAiroFlash:
        return "airoflash";
    default:
        return "unknown";
    }
}

FirmwareSummary SummarizeFirmware(const CSRec& source_I)
{
    FirmwareSummary s;
    s.fileName = source_I.GetFileName();
    s.format = source_I.GetFileType();
    s.formatName = FormatName(s.format);
    switch (s.format) {
    case eFormatPen:
    case eFormatTouch:
    case eFormatVel:
        for (const SRecBlock& block : source_I.Blocks()) {
            s.blocks.push_back({block.address, static_cast<std::uint32_t>(block.data.size()),
                                ByteSum(block.data.data(), block.data.size())});
        }
        s.hasData = !s.blocks.empty();
        break;
    case eFormatIntelHex: {
        const auto hex = source_I.GetIntelHexData();
        if (hex && hex->GetStartAddress() != -1) {
            s.hasData = true;
            s.startAddress = hex->GetStartAddress();
            s.dataLength = hex->GetDataLength();
            s.dataByteSum = ByteSum(hex->GetImage(), hex->GetDataLength());
        }
        break;
    }
    case eFormatAiroFlash: {
        const auto airo = source_I.GetAiroFlashData();
        if (airo && airo->GetStartAddress() != -1) {
            s.hasData = true;
            s.startAddress = airo->GetStartAddress();
            s.size = airo->GetSize();
            s.byteSum = ByteSum(airo->GetBuffer(), airo->GetSize());
        }
        break;
    }
    default:
        break;
    }
    return s;
}

std::string FirmwareSummaryText(const FirmwareSummary& summary_I, std::uint16_t languageId_I)
{
    const FirmwareSummary& s = summary_I;
    const auto text = [languageId_I](int id_I) { return ResourceUtils::LoadFormattedText(static_cast<std::uint32_t>(id_I), languageId_I); };
    const auto line = [&text](int id_I, const std::string& value_I) { return text(id_I) + " " + value_I + "\n"; };
    std::string out = line(IDS_CLI_FILE, s.fileName);
    out += line(IDS_CLI_FORMAT, s.formatName + " (" + std::to_string(static_cast<int>(s.format)) + ")");
    if (!s.hasData) {
        return out + line(IDS_CLI_DATA, text(IDS_CLI_DATA_NONE));
    }
    switch (s.format) {
    case eFormatPen:
    case eFormatTouch:
    case eFormatVel:
        out += line(IDS_CLI_BLOCKS, std::to_string(s.blocks.size()));
        for (const FirmwareBlockSummary& b : s.blocks) {
            out += "  " + Hex(b.address, 8) + "  " + text(IDS_CLI_BLOCK_SIZE) + " " + std::to_string(b.size) + "  " +
                   text(IDS_CLI_BLOCK_BYTE_SUM) + " " + std::to_string(b.byteSum) + "\n";
        }
        break;
    case eFormatIntelHex:
        out += line(IDS_CLI_START_ADDRESS, Hex(static_cast<std::uint32_t>(s.startAddress), 8));
        out += line(IDS_CLI_DATA_LENGTH, std::to_string(s.dataLength));
        out += line(IDS_CLI_BYTE_SUM, std::to_string(s.dataByteSum));
        break;
    case eFormatAiroFlash:
        out += line(IDS_CLI_SIZE, std::to_string(s.size));
        out += line(IDS_CLI_BYTE_SUM, std::to_string(s.byteSum));
        break;
    default:
        break;
    }
    return out;
}

std::string FirmwareSummaryJson(const FirmwareSummary& summary_I)
{
    const FirmwareSummary& s = summary_I;
    std::string out = "{\"file\":" + JsonString(s.fileName) + ",\"format\":" + JsonString(s.formatName)
                      + ",\"formatId\":" + std::to_string(static_cast<int>(s.format))
                      + ",\"hasData\":" + (s.hasData ? "true" : "false");
    if (s.hasData) {
        switch (s.format) {
        case eFormatPen:
        case eFormatTouch:
        case eFormatVel: {
            out += ",\"blocks\":[";
            bool first = true;
            for (const FirmwareBlockSummary& b : s.blocks) {
                out += first ? "" : ",";
                first = false;
                out += "{\"address\":" + std::to_string(b.address) + ",\"size\":" + std::to_string(b.size)
                       + ",\"byteSum\":" + std::to_string(b.byteSum) + "}";
            }
            out += "]";
            break;
        }
        case eFormatIntelHex:
            out += ",\"startAddress\":" + std::to_string(s.startAddress) + ",\"dataLength\":" + std::to_string(s.dataLength)
                   + ",\"byteSum\":" + std::to_string(s.dataByteSum);
            break;
        case eFormatAiroFlash:
            out += ",\"size\":" + std::to_string(s.size) + ",\"byteSum\":" + std::to_string(s.byteSum);
            break;
        default:
            break;
        }
    }
    return out + "}";
}
