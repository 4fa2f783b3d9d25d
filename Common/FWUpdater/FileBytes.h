#pragma once
// Reading a whole firmware file into memory, in binary mode (no line-end translation).

#include <cstdint>
#include <fstream>
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

// Opens path_I (UTF-8) for binary reading. Through a UTF-8 path on every platform: on Windows a
// plain narrow path would be taken in the ANSI code page and miss files in folders whose names
// are not ASCII. Not open when the path is not valid UTF-8.
void OpenUtf8Path(std::ifstream& in_IO, const std::string& path_I);
