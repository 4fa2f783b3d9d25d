#pragma once
// Reading a whole firmware file into memory, in binary mode (no line-end translation).

#include <cstdint>
#include <string>

enum class EFileReadResult
{
    eOk,
    eCannotOpen,
    eTooLarge,  // larger than the caller's limit, or than memory allows
    eReadError, // the size could not be determined, or fewer bytes than that size could be read
};

// Replaces bytes_O with the contents of the file at path_I. Files larger than maxSize_I bytes
// are refused without being read.
EFileReadResult ReadFileBytes(const std::string& path_I, std::string& bytes_O,
                              std::uint64_t maxSize_I = UINT64_MAX);
