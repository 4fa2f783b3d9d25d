#pragma once

#include <cstdint>
#include <vector>

// One block of contiguous bytes of an S-record image; byte i lies at address + i.
struct SRecBlock
{
    std::uint32_t address = 0;
    std::vector<std::uint8_t> data;
};
