#include "FWUpdater/CSRec.h"

#include "DebugOutput.h"
#include "FWUpdater/FileBytes.h"
#include "FWUpdater/SRecMerger.h"
#include "StringUtils.h"

#include <array>
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

// Decodes one line (without its line feed). For a data record, fills address_O and data_IO.
ELineResult DecodeLine(const char* line_I, std::size_t length_I, std::uint32_t& address_O,
                       std::vector<std::uint8_t>& data_IO)
{
    if (length_I == 0 || (length_I == 1 && line_I[0] == '\r')) {
        return ELineResult::eSkip;
    }
    if (length_I < 10) {
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
        return ELineResult::eFail;
    }
    std::size_t l = length_I;
    if (line_I[l - 1] == '\r') {
        --l;
    }
    // Type, count, address and checksum must all lie inside the line.
    const std::size_t dataStart = 4 + 2 * addressBytes;
    if (l < dataStart + 2) {
        return ELineResult::eFail;
    }
    const int count = HexPair(line_I, 2);
    const int check = HexPair(line_I, l - 2);
    if (count < 3) {
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
    DetectFileType();
    switch (mFileType) {
    case eFormatPen:
    case eFormatTouch:
    case eFormatVel:
        return LoadSRec(mFileName);
    case eFormatIntelHex:
        return mIntelHex->Load(mFileName);
    case eFormatAiroFlash:
        return LoadAiroHa(mFileName);
    default:
        ASSERT_FAILED("unrecognized file format");
        return false;
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
        return false;
    }
    return ParseSRecText(text.data(), text.size(), mBlocks);
}

bool CSRec::LoadAiroHa(const std::string& path_I)
{
    if (mFileType != eFormatAiroFlash) {
        ASSERT_FAILED("Trying to load a non-AiroHa file format!");
        return false;
    }
    return mAiroFlash->Load(path_I);
}

bool CSRec::HasLoadedData() const
{
    return (mIntelHex && mIntelHex->GetStartAddress() != -1)
           || (mAiroFlash && mAiroFlash->GetStartAddress() != -1) || !mBlocks.empty();
}

bool CSRec::ParseSRecText(const char* text_I, std::size_t size_I, std::vector<SRecBlock>& blocks_O)
{
    blocks_O.clear();
    if (size_I == 0) {
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
    while (p < end) {
        const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
        const char* lineEnd = lf ? lf : end;
        std::uint32_t address = 0;
        switch (DecodeLine(p, static_cast<std::size_t>(lineEnd - p), address, data)) {
        case ELineResult::eFail:
            return false;
        case ELineResult::eRecord:
            if (!merger.AddRecord(address, data.data(), data.size())) {
                return false; // blocks overlap: the load can only fail
            }
            break;
        case ELineResult::eSkip:
            break;
        }
        p = lf ? lf + 1 : end;
    }
    return merger.Finish(blocks_O);
}
