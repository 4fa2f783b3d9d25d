#include "FWUpdater/CIntelHex.h"

#include "FWUpdater/FileBytes.h"

#include <algorithm>
#include <cstdio>
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

// Every line ends in CR LF, no NUL and no text-file end mark anywhere. On failure, offset_O is
// where the rule is broken and why_O says which.
bool TextIsWellFormed(const char* text_I, std::size_t size_I, std::size_t& offset_O, const char*& why_O)
{
    for (std::size_t i = 0; i < size_I; ++i) {
        const char c = text_I[i];
        if (c == '\0' || c == '\x1A') {
            offset_O = i;
            why_O = c == '\0' ? "a NUL byte in the text" : "a text-file end mark (0x1A) in the text";
            return false;
        }
        if (c == '\n' && (i == 0 || text_I[i - 1] != '\r')) {
            offset_O = i;
            why_O = "the line ends in LF alone; every line must end in CR LF";
            return false;
        }
    }
    if (size_I < 2 || text_I[size_I - 2] != '\r' || text_I[size_I - 1] != '\n') {
        offset_O = size_I;
        why_O = "the last line does not end in CR LF";
        return false;
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

bool CIntelHex::Fail(const char* text_I, std::size_t offset_I, std::string reason_I)
{
    mLoadError.Set(std::move(reason_I), LineOfOffset(text_I, offset_I));
    return false;
}

bool CIntelHex::Load(const std::string& path_I)
{
    mLoadError.Clear();
    std::string text;
    const EFileReadResult read = ReadFileBytes(path_I, text);
    if (read == EFileReadResult::eCannotOpen) {
        mLoadError.Set("the file cannot be opened");
        return false;
    }
    mFileName = path_I;
    if (read != EFileReadResult::eOk || text.empty()) {
        mLoadError.Set(read != EFileReadResult::eOk ? "the file cannot be read" : "the file is empty");
        return false;
    }
    return LoadFromText(text.data(), text.size());
}

bool CIntelHex::LoadFromText(const char* text_I, std::size_t size_I)
{
    mLoadError.Clear();
    std::size_t badAt = 0;
    const char* why = "";
    if (!TextIsWellFormed(text_I, size_I, badAt, why)) {
        return Fail(text_I, badAt, why);
    }
    std::vector<std::uint8_t> work(kImageSize, 0xFF);
    std::int64_t start = -1;
    std::uint32_t highest = 0;
    std::uint32_t base = 0;

    std::size_t p = 0;
    while (p < size_I) {
        const char c = text_I[p++];
        if (c == '\0') {
            return Fail(text_I, p - 1, "a NUL byte in the text");
        }
        if (c != ':') {
            continue;
        }
        const std::size_t recordAt = p - 1;
        std::uint32_t count = 0;
        std::uint32_t address = 0;
        std::uint32_t type = 0;
        if (!ReadHex(text_I, size_I, p, 2, count) || !ReadHex(text_I, size_I, p, 4, address)
            || !ReadHex(text_I, size_I, p, 2, type)) {
            return Fail(text_I, recordAt, "the record's count, address or type is not hexadecimal");
        }
        std::uint32_t sum = count + (address & 0xFF) + (address >> 8) + type;
        if (type > 5) {
            return Fail(text_I, recordAt, "record type " + std::to_string(type) + " is not an Intel HEX type (0 to 5)");
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
                    return Fail(text_I, recordAt, "the record holds fewer data bytes than its count says, or a character that is not hexadecimal");
                }
                const std::uint64_t index = std::uint64_t{offset} + i;
                if (index >= kImageSize) {
                    return Fail(text_I, recordAt, "the data lie outside the touch board's image (0x8000 to 0x37FFF)");
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
                return Fail(text_I, recordAt, "the record is cut short or holds a character that is not hexadecimal");
            }
            base = value * 16;
            break;
        case 3:
            if (!readBytes(4, value)) {
                return Fail(text_I, recordAt, "the record is cut short or holds a character that is not hexadecimal");
            }
            break;
        case 4:
            if (!readBytes(2, value)) {
                return Fail(text_I, recordAt, "the record is cut short or holds a character that is not hexadecimal");
            }
            base = value << 16;
            break;
        case 5:
            if (!readBytes(4, value)) {
                return Fail(text_I, recordAt, "the record is cut short or holds a character that is not hexadecimal");
            }
            break;
        }
        std::uint32_t check = 0;
        if (!ReadHex(text_I, size_I, p, 2, check)) {
            return Fail(text_I, recordAt, "the record's checksum is missing or not hexadecimal");
        }
        if (((sum + check) & 0xFF) != 0) {
            char text[96];
            std::snprintf(text, sizeof text, "checksum mismatch (the record says 0x%02X, its bytes give 0x%02X)",
                          static_cast<unsigned>(check), static_cast<unsigned>((0x100 - (sum & 0xFF)) & 0xFF));
            return Fail(text_I, recordAt, text);
        }
        if (size_I - p < 2 || text_I[p] != '\r' || text_I[p + 1] != '\n') {
            return Fail(text_I, recordAt, "text after the record's checksum (the record is longer than its count)");
        }
        p += 2;
    }

    highest |= 0x1FF;
    if (start < 0) {
        mLoadError.Set("no data record in the file");
        return false;
    }
    if (start != kBaseAddress) {
        char text[96];
        std::snprintf(text, sizeof text, "the first data byte lies at 0x%llX; the touch board's image starts at 0x8000",
                      static_cast<unsigned long long>(start));
        mLoadError.Set(text);
        return false;
    }
    if (highest >= kMaxDataLength) {
        mLoadError.Set("the data reach past 0x33FFF, the end of the touch board's flash");
        return false;
    }
    mDataLength = highest + 1;
    mStartAddress = static_cast<std::int32_t>(kBaseAddress);
    // Bytes past the data length are not part of the image; keep them erased.
    std::fill(work.begin() + mDataLength, work.end(), std::uint8_t{0xFF});
    mImage.swap(work);
    return true;
}
