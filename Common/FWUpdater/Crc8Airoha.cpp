#include "FWUpdater/Crc8Airoha.h"

namespace {

std::uint8_t ReverseBits(std::uint8_t value_I)
{
    std::uint8_t out = 0;
    for (int bit = 0; bit < 8; ++bit) {
        out = static_cast<std::uint8_t>((out << 1) | (value_I & 1));
        value_I = static_cast<std::uint8_t>(value_I >> 1);
    }
    return out;
}

} // namespace

std::uint8_t Crc8AirohaUpdate(std::uint8_t state_I, std::uint8_t byte_I)
{
    std::uint8_t reg = static_cast<std::uint8_t>(ReverseBits(state_I) ^ byte_I);
    for (int bit = 0; bit < 8; ++bit)
        reg = (reg & 0x80) ? static_cast<std::uint8_t>((reg << 1) ^ 0x31) : static_cast<std::uint8_t>(reg << 1);
    return ReverseBits(reg);
}

std::uint8_t Crc8Airoha(const std::uint8_t* data_I, std::size_t length_I)
{
    std::uint8_t state = 0;
    for (std::size_t i = 0; i < length_I; ++i)
        state = Crc8AirohaUpdate(state, data_I[i]);
    return state;
}
