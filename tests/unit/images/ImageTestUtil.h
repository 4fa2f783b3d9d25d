#pragma once
// Builders for firmware texts used by the image tests.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// One S-record line (without line end) of type '1', '2' or '3' with correct count and checksum.
inline std::string SRecLine(char type_I, std::uint32_t address_I, const std::vector<std::uint8_t>& data_I)
{
    const int addressBytes = type_I == '1' ? 2 : type_I == '2' ? 3 : 4;
    std::vector<std::uint8_t> bytes;
    bytes.push_back(static_cast<std::uint8_t>(addressBytes + data_I.size() + 1));
    for (int k = addressBytes - 1; k >= 0; --k) {
        bytes.push_back(static_cast<std::uint8_t>(address_I >> (8 * k)));
    }
    bytes.insert(bytes.end(), data_I.begin(), data_I.end());
    unsigned sum = 0;
    for (const std::uint8_t b : bytes) {
        sum += b;
    }
    bytes.push_back(static_cast<std::uint8_t>(~sum & 0xFF));
    std::string line = std::string("S") + type_I;
    char hex[3];
    for (const std::uint8_t b : bytes) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        line += hex;
    }
    return line;
}

// n bytes counting up from first_I.
inline std::vector<std::uint8_t> Bytes(std::size_t n_I, std::uint8_t first_I = 0)
{
    std::vector<std::uint8_t> v(n_I);
    for (std::size_t i = 0; i < n_I; ++i) {
        v[i] = static_cast<std::uint8_t>(first_I + i);
    }
    return v;
}

// One Intel HEX record ":LLAAAATT...CC" (without line end) with a correct checksum.
inline std::string HexRecord(std::uint8_t type_I, std::uint16_t address_I, const std::vector<std::uint8_t>& data_I)
{
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(data_I.size()), static_cast<std::uint8_t>(address_I >> 8),
                                    static_cast<std::uint8_t>(address_I), type_I};
    bytes.insert(bytes.end(), data_I.begin(), data_I.end());
    unsigned sum = 0;
    for (const std::uint8_t b : bytes) {
        sum += b;
    }
    bytes.push_back(static_cast<std::uint8_t>((0x100 - (sum & 0xFF)) & 0xFF));
    std::string line = ":";
    char hex[3];
    for (const std::uint8_t b : bytes) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        line += hex;
    }
    return line;
}

inline std::string JoinLines(const std::vector<std::string>& lines_I, const std::string& end_I)
{
    std::string text;
    for (const std::string& l : lines_I) {
        text += l + end_I;
    }
    return text;
}
