#pragma once
// The JSON documents of the command line, built by hand: the program's only output format
// besides text, small and fixed, not worth a library.

#include <cstdint>
#include <string>
#include <vector>

struct FirmwareSummary;

// A JSON string literal (UTF-8 passes through; control characters are escaped; a byte that is
// not part of well-formed UTF-8 becomes the text \xNN, as on the terminal).
std::string JsonString(const std::string& text_I);

// {"file", "format", "formatId", and one of "srec": {"blocks": [...]}, "intelHex": {...},
// "airoFlash": {...}}; numbers as JSON numbers.
std::string InspectJson(const FirmwareSummary& summary_I);

struct ListedBoard
{
    std::string board; // "pen", "touch", "bluetooth"
    std::string path;
    std::string interfaceKind; // "HID", "BULK", "I2C"
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string version; // "1.05"
};

struct ListedDevice
{
    std::string name;
    bool loaderMode = false;
    std::vector<ListedBoard> boards;
};

// {"devices": [{"name", "mode", "boards": {"pen": {"path", "interface", "vendorId", "productId",
// "version"}, ...}}]}
std::string ListJson(const std::vector<ListedDevice>& devices_I);

struct UpdateSummary
{
    bool success = false;
    std::string board;
    std::string versionBefore;
    std::string versionAfter;
    std::uint32_t checksumOld = 0;
    std::uint32_t checksumNew = 0;
    std::uint32_t checksumExpected = 0;
    bool verified = false;
    std::string log;
    std::string error; // why the run ended early or failed, as stderr says it; empty: null
    std::string reason; // a failed update's cause: the first error the controller reported
    std::string state;  // where the board is at the end: "firmware", "loader", "unknown"; empty: null
};

// {"result", "board", "versionBefore", "versionAfter", "checksumOld", "checksumNew",
// "checksumExpected", "verified", "log", "error", "reason", "state"}; an empty text is null, and
// so is a checksum of 0 (not known).
std::string UpdateSummaryJson(const UpdateSummary& summary_I);

// {"error": message}: the one object of a list or inspect that failed.
std::string ErrorJson(const std::string& message_I);
