#pragma once
// The check byte of an Airoha data packet: CRC-8 with generator x^8 + x^5 + x^4 + 1 (0x31),
// register starting at 0, each byte entered most significant bit first, no final XOR; the check
// byte is the final register with its bit order reversed. "abc" gives 0x95 (register 0xA9),
// 256 bytes of 0xFF give 0xB4, 256 zero bytes give 0x00.

#include <cstddef>
#include <cstdint>

// One byte into the running state. The state is held bit-reversed between bytes, so it is the
// check byte at every step; start from 0 for each packet.
std::uint8_t Crc8AirohaUpdate(std::uint8_t state_I, std::uint8_t byte_I);

std::uint8_t Crc8Airoha(const std::uint8_t* data_I, std::size_t length_I);
