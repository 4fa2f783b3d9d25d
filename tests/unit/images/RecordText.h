#pragma once
// S-record and Intel HEX lines built from the record formats, for the readers' and the loaders' tests.

#include <cstdint>
#include <string>
#include <vector>

inline std::string HexPairs(const std::vector<std::uint8_t>& bytes_I)
{
    std::string text;
    for (const std::uint8_t b : bytes_I) {
        text += "0123456789ABCDEF"[b >> 4];
        text += "0123456789ABCDEF"[b & 0xF];
    }
    return text;
}

// head_I, then the bytes and their checksum (S-record: one's complement, else two's) as hex pairs.
inline std::string Record(const std::string& head_I, std::vector<std::uint8_t> bytes_I)
{
    unsigned sum = 0;
    for (const std::uint8_t b : bytes_I)
        sum += b;
    bytes_I.push_back(static_cast<std::uint8_t>(head_I[0] == 'S' ? ~sum : 0x100 - (sum & 0xFF)));
    return head_I + HexPairs(bytes_I);
}

// One S-record line (no line end) of type '1', '2' or '3'.
inline std::string SRecLine(char type_I, std::uint32_t address_I, const std::vector<std::uint8_t>& data_I)
{
    const int addressBytes = type_I - '0' + 1;
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(addressBytes + data_I.size() + 1)};
    for (int k = addressBytes - 1; k >= 0; --k)
        bytes.push_back(static_cast<std::uint8_t>(address_I >> (8 * k)));
    bytes.insert(bytes.end(), data_I.begin(), data_I.end());
    return Record(std::string("S") + type_I, bytes);
}

// One Intel HEX record ":LLAAAATT...CC" (no line end).
inline std::string HexRecord(std::uint8_t type_I, std::uint16_t address_I, std::vector<std::uint8_t> data_I)
{
    const auto count = static_cast<std::uint8_t>(data_I.size());
    data_I.insert(data_I.begin(), {count, std::uint8_t(address_I >> 8), std::uint8_t(address_I), type_I});
    return Record(":", data_I);
}
