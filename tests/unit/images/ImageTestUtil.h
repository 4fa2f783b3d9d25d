#pragma once
// Builders for firmware texts, written from the record formats (not from the readers).

#include "FWUpdater/SRecBlock.h"

#include <cstdint>
#include <string>
#include <vector>

using ByteVector = std::vector<std::uint8_t>;

// n bytes counting up from first_I.
inline ByteVector Bytes(std::size_t n_I, std::uint8_t first_I = 0)
{
    ByteVector v(n_I);
    for (std::size_t i = 0; i < n_I; ++i) {
        v[i] = static_cast<std::uint8_t>(first_I + i);
    }
    return v;
}

inline std::string HexPairs(const ByteVector& bytes_I)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (const std::uint8_t b : bytes_I) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0xF];
    }
    return text;
}

inline unsigned ByteSum(const ByteVector& bytes_I)
{
    unsigned sum = 0;
    for (const std::uint8_t b : bytes_I) {
        sum += b;
    }
    return sum;
}

// One S-record line (no line end) of type '1', '2' or '3' with correct count and checksum.
inline std::string SRecLine(char type_I, std::uint32_t address_I, const ByteVector& data_I)
{
    const int addressBytes = type_I - '0' + 1;
    ByteVector bytes{static_cast<std::uint8_t>(addressBytes + data_I.size() + 1)};
    for (int k = addressBytes - 1; k >= 0; --k) {
        bytes.push_back(static_cast<std::uint8_t>(address_I >> (8 * k)));
    }
    bytes.insert(bytes.end(), data_I.begin(), data_I.end());
    bytes.push_back(static_cast<std::uint8_t>(~ByteSum(bytes)));
    return std::string("S") + type_I + HexPairs(bytes);
}

// One Intel HEX record ":LLAAAATT...CC" (no line end) with a correct checksum.
inline std::string HexRecord(std::uint8_t type_I, std::uint16_t address_I, const ByteVector& data_I)
{
    ByteVector bytes{static_cast<std::uint8_t>(data_I.size()), static_cast<std::uint8_t>(address_I >> 8),
                     static_cast<std::uint8_t>(address_I), type_I};
    bytes.insert(bytes.end(), data_I.begin(), data_I.end());
    bytes.push_back(static_cast<std::uint8_t>(0x100 - (ByteSum(bytes) & 0xFF)));
    return ":" + HexPairs(bytes);
}

inline std::string JoinLines(const std::vector<std::string>& lines_I, const std::string& end_I)
{
    std::string text;
    for (const std::string& l : lines_I) {
        text += l + end_I;
    }
    return text;
}

// Blocks as "address:size:bytes" lines, so a mismatch shows where.
inline std::string BlocksText(const std::vector<SRecBlock>& blocks_I)
{
    std::string text;
    for (const SRecBlock& b : blocks_I) {
        text += std::to_string(b.address) + ":" + std::to_string(b.data.size()) + ":" + HexPairs(b.data) + "\n";
    }
    return text;
}
