#pragma once
// Little-endian fields of the loader reports.

#include <cstddef>
#include <cstdint>
#include <vector>

inline void PutU16LE(std::vector<std::uint8_t>& buffer_IO, std::size_t offset_I, std::uint16_t value_I)
{
    buffer_IO[offset_I] = static_cast<std::uint8_t>(value_I & 0xFF);
    buffer_IO[offset_I + 1] = static_cast<std::uint8_t>(value_I >> 8);
}

inline void PutU32LE(std::vector<std::uint8_t>& buffer_IO, std::size_t offset_I, std::uint32_t value_I)
{
    for (std::size_t i = 0; i < 4; ++i)
        buffer_IO[offset_I + i] = static_cast<std::uint8_t>(value_I >> (8 * i));
}

inline std::uint16_t GetU16LE(const std::uint8_t* bytes_I)
{
    return static_cast<std::uint16_t>(bytes_I[0] | (bytes_I[1] << 8));
}

inline std::uint32_t GetU32LE(const std::uint8_t* bytes_I)
{
    return static_cast<std::uint32_t>(bytes_I[0]) | (static_cast<std::uint32_t>(bytes_I[1]) << 8) |
           (static_cast<std::uint32_t>(bytes_I[2]) << 16) | (static_cast<std::uint32_t>(bytes_I[3]) << 24);
}
