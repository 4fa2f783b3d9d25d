#pragma once

#include <cstdint>
#include <string>

// A program or firmware version. Version words are binary-coded decimal: 0x0222 reads 2.22.
struct FileVersion
{
    enum EReleaseKind : std::uint8_t { EUnknownVersion = 0 };

    std::uint8_t mMajor = 0;
    std::uint8_t mMinor = 0;
    std::uint8_t mVariation = 0;
    std::uint8_t mRelease = EUnknownVersion;
    std::uint8_t mBuild = 0;

    // High byte major, low byte minor, everything else 0.
    static FileVersion FromWord(std::uint16_t word_I);

    // "2.22", "3.09": major in hexadecimal, then ".0" below 10 or ".", then minor in hexadecimal.
    std::string ToShortString() const;
};
