#include "FWUpdater/FileBytes.h"

#include <filesystem>
#include <fstream>
#include <new>

void OpenUtf8Path(std::ifstream& in_IO, const std::string& path_I)
{
    try {
        in_IO.open(std::filesystem::path(std::u8string(path_I.begin(), path_I.end())), std::ios::in | std::ios::binary);
    } catch (const std::exception&) {
        // Not a valid UTF-8 path: the stream stays closed.
    }
}

EFileReadResult ReadFileBytes(const std::string& path_I, std::string& bytes_O, std::uint64_t maxSize_I)
{
    bytes_O.clear();
    std::ifstream in;
    OpenUtf8Path(in, path_I);
    if (!in.is_open()) {
        return EFileReadResult::eCannotOpen;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff end = in.tellg();
    in.seekg(0, std::ios::beg);
    if (end < 0 || !in) {
        return EFileReadResult::eReadError;
    }
    const auto size = static_cast<std::uint64_t>(end);
    if (size > maxSize_I || size > bytes_O.max_size()) {
        return EFileReadResult::eTooLarge;
    }
    try {
        bytes_O.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        return EFileReadResult::eTooLarge;
    } catch (const std::length_error&) {
        return EFileReadResult::eTooLarge;
    }
    if (size > 0) {
        in.read(bytes_O.data(), static_cast<std::streamsize>(size));
        if (in.bad() || static_cast<std::uint64_t>(in.gcount()) != size) {
            bytes_O.clear();
            return EFileReadResult::eReadError;
        }
    }
    return EFileReadResult::eOk;
}
