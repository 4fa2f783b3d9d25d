#include "FWUpdater/CIntelHex.h"

#include "FWUpdater/FileBytes.h"

#include <algorithm>
#include <cstring>

namespace {

// Strict hexadecimal digit: -1 for anything else.
inline int HexDigit(char c_I)
{
    if (c_I >= '0' && c_I <= '9') {
        return c_I - '0';
    }
    if (c_I >= 'A' && c_I <= 'F') {
        return c_I - 'A' + 10;
    }
    if (c_I >= 'a' && c_I <= 'f') {
        return c_I - 'a' + 10;
    }
    return -1;
}

// Reads digits_I hexadecimal digits at pos_IO; false when the text ends first or a character
// is not a hex digit.
bool ReadHex(const char* text_I, std::size_t size_I, std::size_t& pos_IO, int digits_I, std::uint32_t& value_O)
{
    if (size_I - pos_IO < static_cast<std::size_t>(digits_I)) {
        return false;
    }
    std::uint32_t value = 0;
    for (int i = 0; i < digits_I; ++i) {
        const int d = HexDigit(text_I[pos_IO + static_cast<std::size_t>(i)]);
        if (d < 0) {
            return false;
        }
        value = (value << 4) | static_cast<std::uint32_t>(d);
    }
    pos_IO += static_cast<std::size_t>(digits_I);
    value_O = value;
    return true;
}

// Every line ends in CR LF, no NUL and no text-file end mark anywhere.
bool TextIsWellFormed(const char* text_I, std::size_t size_I)
{
    if (size_I < 2 || text_I[size_I - 2] != '\r' || text_I[size_I - 1] != '\n') {
        return false;
    }
    for (std::size_t i = 0; i < size_I; ++i) {
        const char c = text_I[i];
        if (c == '\0' || c == '\x1A') {
            return false;
        }
        if (c == '\n' && (i == 0 || text_I[i - 1] != '\r')) {
            return false;
        }
    }
    return true;
}

} // namespace

CIntelHex::CIntelHex()
    : mImage(kImageSize, 0xFF)
{
}

CIntelHex::~CIntelHex()
{
    mStartAddress = -1;
    mDataLength = 0;
}

bool CIntelHex::Load(const std::string& path_I)
{
    std::string text;
    const EFileReadResult read = ReadFileBytes(path_I, text);
    if (read == EFileReadResult::eCannotOpen) {
        return false;
    }
    mFileName = path_I;
    if (read != EFileReadResult::eOk || text.empty()) {
        return false;
    }
    return LoadFromText(text.data(), text.size());
}

bool CIntelHex::LoadFromText(const char* text_I, std::size_t size_I)
{
    if (!TextIsWellFormed(text_I, size_I)) {
        return false;
    }
    std::vector<std::uint8_t> work(kImageSize, 0xFF);
    std::int64_t start = -1;
    std::uint32_t highest = 0;
    std::uint32_t base = 0;

    std::size_t p = 0;
    while (p < size_I) {
        const char c = text_I[p++];
        if (c == '\0') {
            return false;
        }
        if (c != ':') {
            continue;
        }
        std::uint32_t count = 0;
        std::uint32_t address = 0;
        std::uint32_t type = 0;
        if (!ReadHex(text_I, size_I, p, 2, count) || !ReadHex(text_I, size_I, p, 4, address)
            || !ReadHex(text_I, size_I, p, 2, type)) {
            return false;
        }
        std::uint32_t sum = count + (address & 0xFF) + (address >> 8) + type;
        if (type > 5) {
            return false;
        }
        // Reads n bytes of the record into the checksum; the last one read is in byte.
        std::uint32_t byte = 0;
        auto readBytes = [&](int n_I, std::uint32_t& value_O) {
            value_O = 0;
            for (int i = 0; i < n_I; ++i) {
                if (!ReadHex(text_I, size_I, p, 2, byte)) {
                    return false;
                }
                sum += byte;
                value_O = (value_O << 8) | byte;
            }
            return true;
        };
        std::uint32_t value = 0;
        switch (type) {
        case 0: {
            const std::uint32_t absolute = base + address;
            if (start < 0) {
                start = absolute;
            }
            const std::uint32_t offset = absolute - static_cast<std::uint32_t>(start);
            if (offset > highest) {
                highest = offset + count - 1;
            } else if (count > 0 && offset + count - 1 > highest) {
                // A record that starts inside data already seen but reaches past it still
                // counts to its last byte, so no byte of the file is left out of the image.
                highest = offset + count - 1;
            }
            for (std::uint32_t i = 0; i < count; ++i) {
                if (!ReadHex(text_I, size_I, p, 2, byte)) {
                    return false;
                }
                const std::uint64_t index = std::uint64_t{offset} + i;
                if (index >= kImageSize) {
                    return false;
                }
                work[static_cast<std::size_t>(index)] = static_cast<std::uint8_t>(byte);
                sum += byte;
            }
            break;
        }
        case 1:
            break;
        case 2:
            if (!readBytes(2, value)) {
                return false;
            }
            base = value * 16;
            break;
        case 3:
            if (!readBytes(4, value)) {
                return false;
            }
            break;
        case 4:
            if (!readBytes(2, value)) {
                return false;
            }
            base = value << 16;
            break;
        case 5:
            if (!readBytes(4, value)) {
                return false;
            }
            break;
        }
        std::uint32_t check = 0;
        if (!ReadHex(text_I, size_I, p, 2, check)) {
            return false;
        }
        if (((sum + check) & 0xFF) != 0) {
            return false;
        }
        if (size_I - p < 2 || text_I[p] != '\r' || text_I[p + 1] != '\n') {
            return false;
        }
        p += 2;
    }

    highest |= 0x1FF;
    if (highest >= kMaxDataLength || start != kBaseAddress) {
        return false;
    }
    mDataLength = highest + 1;
    mStartAddress = static_cast<std::int32_t>(kBaseAddress);
    // Bytes past the data length are not part of the image; keep them erased.
    std::fill(work.begin() + mDataLength, work.end(), std::uint8_t{0xFF});
    mImage.swap(work);
    return true;
}
