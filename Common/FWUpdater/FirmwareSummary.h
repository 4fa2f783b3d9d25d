#pragma once
// What a loaded firmware file holds, for front ends to print (text or JSON): the format, and
// per format the figures a user or a script compares with the maker's release notes.

#include "FWUpdater/DataSourceFormat.h"

#include <cstdint>
#include <string>
#include <vector>

class CSRec;

struct FirmwareBlockSummary
{
    std::uint32_t address = 0;
    std::uint32_t size = 0;
    std::uint64_t byteSum = 0; // sum of the block's bytes
};

struct FirmwareSummary
{
    std::string fileName;
    DataSourceFormat format = eFormatUnknown;
    std::string formatName = "unknown"; // "pen", "touch", "vel", "hex", "airoflash" or "unknown"
    bool hasData = false;               // the image of this format holds data

    // S-record formats (pen, touch, vel)
    std::vector<FirmwareBlockSummary> blocks;

    // Intel HEX: the image start, the length to program and the sum of those bytes
    std::int32_t startAddress = -1;
    std::uint32_t dataLength = 0;
    std::uint64_t dataByteSum = 0;

    // Airoha binary: the file size and the sum of its bytes
    std::uint32_t size = 0;
    std::uint64_t byteSum = 0;
};

// The name DataSourceFormat values carry in summaries: the extension, or "unknown".
const char* FormatName(DataSourceFormat format_I);

// Summarizes the data of the format that the source's last load chose.
FirmwareSummary SummarizeFirmware(const CSRec& source_I);

// Human-readable lines, each ending in '\n'; addresses in hexadecimal; labels in the language
// languageId_I (English, 0x0009, by default).
std::string FirmwareSummaryText(const FirmwareSummary& summary_I, std::uint16_t languageId_I = 0x0009);
// One JSON object (no trailing newline); numbers are decimal.
std::string FirmwareSummaryJson(const FirmwareSummary& summary_I);
