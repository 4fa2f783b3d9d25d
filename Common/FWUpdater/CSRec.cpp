#include "FWUpdater/CSRec.h"

#include "DebugOutput.h"
#include "FWUpdater/FileBytes.h"
#include "FWUpdater/SRecMerger.h"
#include "StringUtils.h"

#include <array>
#include <cstdio>
#include <cstring>

namespace {

// Value of one character as a hex digit: digits give c - '0', anything else its upper-case
// form minus 55, so 'A'..'F' and 'a'..'f' give 10..15. Characters are not validated; a stray
// one gives a wrong value that the record checksum catches.
constexpr std::array<int, 256> MakeNibbleTable()
{
    std::array<int, 256> table{};
    for (int c = 0; c < 256; ++c) {
        if (c >= '0' && c <= '9') {
            table[c] = c - '0';
        } else {
            const int upper = (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c;
            table[c] = upper - 55;
        }
    }
    return table;
}
constexpr std::array<int, 256> kNibble = MakeNibbleTable();

inline int HexPair(const char* line_I, std::size_t index_I)
{
    return kNibble[static_cast<unsigned char>(line_I[index_I])] * 16
           + kNibble[static_cast<unsigned char>(line_I[index_I + 1])];
}

enum class ELineResult
{
    eSkip,
    eRecord,
    eFail,
};

std::string Hex2(unsigned value_I)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value_I & 0xFFu);
    return text;
}

// Decodes one line (without its line feed). For a data record, fills address_O and data_IO; on
// eFail, why_O says which rule the line broke.
ELineResult DecodeLine(const char* line_I, std::size_t length_I, std::uint32_t& address_O,
                       std::vector<std::uint8_t>& data_IO, std::string& why_O)
{
    if (length_I == 0 || (length_I == 1 && line_I[0] == '\r')) {
        return ELineResult::eSkip;
    }
    if (length_I < 10) {
        why_O = "too short for an S-record (" + std::to_string(length_I) + " characters, at least 10)";
        return ELineResult::eFail;
    }
    if (line_I[0] != 'S') {
        return ELineResult::eSkip;
    }
    std::size_t addressBytes = 0;
    switch (line_I[1]) {
    case '0':
    case '5':
    case '7':
    case '8':
    case '9':
        return ELineResult::eSkip;
    case '1':
        addressBytes = 2;
        break;
    case '2':
        addressBytes = 3;
        break;
    case '3':
        addressBytes = 4;
        break;
    default:
        why_O = std::string("'S") + line_I[1] + "' is not an S-record type (S0 to S3, S5, S7 to S9)";
        return ELineResult::eFail;
    }
    std::size_t l = length_I;
    if (line_I[l - 1] == '\r') {
        --l;
    }
    // Type, count, address and checksum must all lie inside the line.
    const std::size_t dataStart = 4 + 2 * addressBytes;
    if (l < dataStart + 2) {
        why_O = std::string("an S") + line_I[1] + " record needs at least " + std::to_string(dataStart + 2) +
                " characters (type, count, " + std::to_string(addressBytes) + "-byte address, checksum), the line has " +
                std::to_string(l);
        return ELineResult::eFail;
    }
    const int count = HexPair(line_I, 2);
    const int check = HexPair(line_I, l - 2);
    if (count < 3) {
        why_O = "the record's byte count is below 3";
        return ELineResult::eFail;
    }
    unsigned sum = static_cast<unsigned>(count) & 0xFFu;
    std::uint32_t address = 0;
    for (std::size_t k = 0; k < addressBytes; ++k) {
        const unsigned b = static_cast<unsigned>(HexPair(line_I, 4 + 2 * k)) & 0xFFu;
        address = (address << 8) | b;
        sum += b;
    }
    // Every pair between the address and the last two characters is data, whatever the count
    // field says; with an odd number of characters the last pair borrows the checksum's first.
    data_IO.clear();
    const std::size_t checkAt = l - 2;
    for (std::size_t p = dataStart; p < checkAt; p += 2) {
        const unsigned b = static_cast<unsigned>(HexPair(line_I, p)) & 0xFFu;
        data_IO.push_back(static_cast<std::uint8_t>(b));
        sum += b;
    }
    if (static_cast<int>(sum & 0xFFu) + check != 255) {
        why_O = "checksum mismatch (the record says " + Hex2(static_cast<unsigned>(check)) + ", its bytes give " +
                Hex2(255u - (sum & 0xFFu)) + ")";
        return ELineResult::eFail;
    }
    address_O = address;
    return ELineResult::eRecord;
}

} // namespace

CSRec::CSRec()
    : mIntelHex(std::make_shared<CIntelHex>())
    , mAiroFlash(std::make_shared<CBinaryAiroFlash>())
{
}

CSRec::~CSRec()
{
    mBlocks.clear();
    mFileName.clear();
    mIntelHex.reset();
    mAiroFlash.reset();
}

bool CSRec::Load(const std::string& path_I)
{
    if (&path_I != &mFileName) {
        mFileName = path_I;
    }
    mLoadError.Clear();
    DetectFileType();
    switch (mFileType) {
    case eFormatPen:
    case eFormatTouch:
    case eFormatVel:
        return LoadSRec(mFileName);
    case eFormatIntelHex:
        if (!mIntelHex->Load(mFileName)) {
            mLoadError = mIntelHex->GetLoadError();
            return false;
        }
        return true;
    case eFormatAiroFlash:
        return LoadAiroHa(mFileName);
    default: {
        ASSERT_FAILED("unrecognized file format");
        const std::size_t dot = mFileName.rfind('.');
        const std::size_t slash = mFileName.find_last_of("/\\");
        const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
        std::string extension = hasExtension ? mFileName.substr(dot + 1) : std::string();
        for (char& c : extension) {
            c = ClassicToLower(c);
        }
        std::string reason = (hasExtension ? "the extension ." + mFileName.substr(dot + 1) : std::string("no extension")) +
                             " does not name a firmware format; accepted: " + AcceptedExtensionsText();
        static const char* const kSRecordNames[] = {"srec", "s19", "s28", "s37", "mot", "mhx", "s", "sx", "s1", "s2", "s3"};
        for (const char* name : kSRecordNames) {
            if (extension == name) {
                reason += ". An S-record file is named for its board here: rename it to .pen, .vel or .touch";
            }
        }
        mLoadError.Set(reason);
        return false;
    }
    }
}

std::string CSRec::AcceptedExtensionsText()
{
    return ".pen and .vel (S-records, pen board), .touch (S-records, touch board), .hex (Intel HEX, touch "
           "board), .airoflash (Airoha flash binary, bluetooth board)";
}

const char* CSRec::BoardOfFormat(DataSourceFormat format_I)
{
    switch (format_I) {
    case eFormatPen:
    case eFormatVel:
        return "pen";
    case eFormatTouch:
    case eFormatIntelHex:
        return "touch";
    case eFormatAiroFlash:
        return "bluetooth";
    default:
        return "";
    }
}

DataSourceFormat CSRec::FormatFromFileName(const std::string& fileName_I)
{
    const std::size_t dot = fileName_I.rfind('.');
    std::string extension = (dot == std::string::npos) ? std::string() : fileName_I.substr(dot + 1);
    for (char& c : extension) {
        c = ClassicToLower(c);
    }
    if (extension == "pen") {
        return eFormatPen;
    }
    if (extension == "touch") {
        return eFormatTouch;
    }
    if (extension == "vel") {
        return eFormatVel;
    }
    if (extension == "hex") {
        return eFormatIntelHex;
    }
    if (extension == "airoflash") {
        return eFormatAiroFlash;
    }
    return eFormatUnknown;
}

void CSRec::DetectFileType()
{
    mFileType = eFormatUnknown;
    if (mFileName.empty()) {
        ASSERT_FAILED("firmware file not specified");
        return;
    }
    mFileType = FormatFromFileName(mFileName);
}

bool CSRec::LoadSRec(const std::string& path_I)
{
    if (mFileType != eFormatPen && mFileType != eFormatTouch && mFileType != eFormatVel) {
        ASSERT_FAILED("Trying to load a non-SREC file format!");
        return false;
    }
    mBlocks.clear();
    mBlocks.shrink_to_fit();
    std::string text;
    if (ReadFileBytes(path_I, text) != EFileReadResult::eOk) {
        mLoadError.Set("the file cannot be read");
        return false;
    }
    return ParseSRecText(text.data(), text.size(), mBlocks, &mLoadError);
}

bool CSRec::LoadAiroHa(const std::string& path_I)
{
    if (mFileType != eFormatAiroFlash) {
        ASSERT_FAILED("Trying to load a non-AiroHa file format!");
        return false;
    }
    if (!mAiroFlash->Load(path_I)) {
        mLoadError = mAiroFlash->GetLoadError();
        return false;
    }
    return true;
}

bool CSRec::HasLoadedData() const
{
    return (mIntelHex && mIntelHex->GetStartAddress() != -1)
           || (mAiroFlash && mAiroFlash->GetStartAddress() != -1) || !mBlocks.empty();
}

bool CSRec::ParseSRecText(const char* text_I, std::size_t size_I, std::vector<SRecBlock>& blocks_O,
                          FirmwareLoadError* error_O)
{
    FirmwareLoadError ignored;
    FirmwareLoadError& error = error_O != nullptr ? *error_O : ignored;
    error.Clear();
    blocks_O.clear();
    if (size_I == 0) {
        error.Set("the file is empty");
        return false; // no data record
    }
    // The text ends at the text-file end mark.
    if (const void* mark = std::memchr(text_I, 0x1A, size_I)) {
        size_I = static_cast<std::size_t>(static_cast<const char*>(mark) - text_I);
    }
    CSRecMerger merger;
    std::vector<std::uint8_t> data;
    data.reserve(256);
    const char* p = text_I;
    const char* const end = text_I + size_I;
    std::size_t line = 0;
    std::string why;
    bool anyRecord = false;
    while (p < end) {
        ++line;
        const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
        const char* lineEnd = lf ? lf : end;
        std::uint32_t address = 0;
        switch (DecodeLine(p, static_cast<std::size_t>(lineEnd - p), address, data, why)) {
        case ELineResult::eFail:
            error.Set(why, line);
            return false;
        case ELineResult::eRecord:
            anyRecord = true;
            if (!merger.AddRecord(address, data.data(), data.size())) {
                error.Set("the record's data overlap data of an earlier record", line);
                return false; // blocks overlap: the load can only fail
            }
            break;
        case ELineResult::eSkip:
            break;
        }
        p = lf ? lf + 1 : end;
    }
    if (!merger.Finish(blocks_O)) {
        error.Set(anyRecord ? "the data blocks overlap" : "no data record (S1, S2 or S3) in the file");
        return false;
    }
    return true;
}
