#pragma once
#include <cstdint>

// The program's own version word (binary-coded decimal: 2.22).
constexpr std::uint16_t kProgramVersionWord = 0x0222;
