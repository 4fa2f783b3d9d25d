#pragma once
// The program's built-in string table, generated at build time from Strings/strings.txt by
// Strings/GenerateStrings.cmake (the same source gives the Windows STRINGTABLE resources).
//
// Each block has the layout of a Windows string-table resource block: sixteen entries for the
// string ids (block number - 1) * 16 ... + 15, each a length followed by that many UTF-16
// units; a missing string is a length of 0. Every present string is in its stored form (U+0298
// and Base64 of its UTF-8 text) followed by a terminating zero that the length counts.

#include <cstddef>
#include <cstdint>
#include <span>

struct SStringBlock
{
    std::uint16_t mLanguageId;  // Windows language id, e.g. 0x0009 English, 0x0404 Traditional Chinese
    std::uint16_t mBlockNumber; // string id / 16 + 1
    const char16_t* mData;
    std::size_t mSize; // UTF-16 units in mData
};

// Every block of every language, grouped by language in the order of the source file.
std::span<const SStringBlock> GeneratedStringBlocks();
