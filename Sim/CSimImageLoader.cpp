#include "CSimImageLoader.h"

#include "Clock.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

constexpr std::uint8_t kImageReport = 0xE4;
constexpr std::uint8_t kStatusReport = 0xD5;
constexpr std::uint8_t kExitLoaderReport = 0xD6;
constexpr std::size_t kReportLength = 512;
constexpr std::size_t kCounterOffset = 508;
constexpr std::uint8_t kAirohaPreamble[7] = {0x02, 0x00, 0x0F, 0x06, 0x01, 0x08, 0x01};

// Reflected form of the generator 0x31: the state is kept bit-reversed, so each input byte is
// reversed on entry and the state is the check byte as it stands.
std::array<std::uint8_t, 256> MakeTable()
{
    std::array<std::uint8_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        std::uint8_t c = static_cast<std::uint8_t>(i);
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? static_cast<std::uint8_t>((c >> 1) ^ 0x8C) : static_cast<std::uint8_t>(c >> 1);
        table[static_cast<std::size_t>(i)] = c;
    }
    return table;
}

std::uint8_t Reverse(std::uint8_t b)
{
    std::uint8_t r = 0;
    for (int i = 0; i < 8; ++i)
        r = static_cast<std::uint8_t>(r | (((b >> i) & 1) << (7 - i)));
    return r;
}

std::string HexText(std::uint32_t value_I)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%06X", value_I);
    return text;
}

} // namespace

std::uint8_t SimCrc8Airoha(const std::uint8_t* data_I, std::size_t length_I)
{
    static const std::array<std::uint8_t, 256> table = MakeTable();
    std::uint8_t state = 0;
    for (std::size_t i = 0; i < length_I; ++i)
        state = table[static_cast<std::uint8_t>(state ^ Reverse(data_I[i]))];
    return state;
}

CSimImageLoader::CSimImageLoader(SimImageLoaderConfig config_I) : mConfig(config_I), mFlash(config_I.flashSize, 0xFF)
{
    // The board's own code and data, which no image may overwrite. Filled as ranges: a byte
    // loop made every fuzzed input pay for 32 KiB of instrumented compares.
    const std::uint32_t first = mConfig.kind == ESimImageKind::eAiroha ? kSimAirohaReservedFirst : 0;
    const std::uint32_t end = mConfig.kind == ESimImageKind::eAiroha ? kSimAirohaReservedEnd : mConfig.firstIntelHexAddress;
    const std::size_t fillEnd = std::min<std::size_t>(end, mFlash.size());
    if (first < fillEnd)
        std::fill(mFlash.begin() + first, mFlash.begin() + static_cast<std::ptrdiff_t>(fillEnd), kSimAirohaReservedByte);
}

void CSimImageLoader::SetFlash(std::uint32_t address_I, const std::vector<std::uint8_t>& bytes_I)
{
    for (std::size_t i = 0; i < bytes_I.size() && address_I + i < mFlash.size(); ++i)
        mFlash[address_I + i] = bytes_I[i];
}

void CSimImageLoader::RestoreFlash(const std::vector<std::uint8_t>& flash_I, bool imageValid_I)
{
    std::fill(mFlash.begin(), mFlash.end(), 0xFF);
    std::copy_n(flash_I.begin(), std::min(flash_I.size(), mFlash.size()), mFlash.begin());
    mStarted = !imageValid_I;
    mCompleted = false;
    mBusyUntil = 0;
    mLast.clear();
    mSession = false;
}

void CSimImageLoader::PowerCycle()
{
    mSession = false;
    mSequence = 0;
    mNextAddress = mConfig.firstIntelHexAddress;
    mAnyAirohaPacket = false;
    mBusyUntil = 0;
    mLast.clear();
}

std::uint8_t CSimImageLoader::FlashByte(std::uint32_t address_I) const
{
    return address_I < mFlash.size() ? mFlash[address_I] : 0xFF;
}

std::vector<std::uint8_t> CSimImageLoader::Flash(std::uint32_t address_I, std::size_t length_I) const
{
    // Erased (0xFF) past the end of the flash; copied as one range up to it.
    std::vector<std::uint8_t> out(length_I, 0xFF);
    if (address_I < mFlash.size()) {
        const std::size_t inside = std::min(length_I, mFlash.size() - address_I);
        std::copy_n(mFlash.begin() + address_I, inside, out.begin());
    }
    return out;
}

bool CSimImageLoader::Busy() const
{
    if (mStickAfter >= 0 && mAccepted >= static_cast<std::uint32_t>(mStickAfter))
        return true;
    return GetClock()->now() < mBusyUntil;
}

bool CSimImageLoader::Refuse(const std::string& why_I)
{
    mViolations.push_back(why_I);
    return false;
}

void CSimImageLoader::Accept(const std::vector<std::uint8_t>& report_I, std::uint32_t busyMs_I)
{
    mLast = report_I;
    ++mAccepted;
    mBusyUntil = GetClock()->now() + busyMs_I;
}

bool CSimImageLoader::SetFeature(const std::vector<std::uint8_t>& report_I)
{
    if (report_I.empty())
        return false;
    if (report_I[0] == kExitLoaderReport) {
        if (report_I.size() != 5)
            return false;
        ++mExits;
        if (mOnExit)
            mOnExit();
        return true;
    }
    if (report_I[0] != kImageReport)
        return Refuse("unknown report id " + std::to_string(report_I[0]));
    if (mFailSets.Consume())
        return false;
    if (report_I.size() != kReportLength)
        return Refuse("command of " + std::to_string(report_I.size()) + " bytes");
    if (Busy())
        return Refuse("command while busy");
    return HandleCommand(report_I);
}

bool CSimImageLoader::HandleCommand(const std::vector<std::uint8_t>& r)
{
    const std::uint8_t target = mConfig.kind == ESimImageKind::eAiroha ? 1 : 0;
    if (r[1] != target)
        return Refuse("command for target " + std::to_string(r[1]));
    switch (r[2]) {
    case 1: // start: the image area is erased
        if (mConfig.kind == ESimImageKind::eAiroha) {
            // As ranges around the reserved one: a byte loop cost every fuzzed input 32 KiB of
            // instrumented compares.
            const std::size_t first = std::min<std::size_t>(kSimAirohaReservedFirst, mFlash.size());
            const std::size_t end = std::min<std::size_t>(kSimAirohaReservedEnd, mFlash.size());
            std::fill(mFlash.begin(), mFlash.begin() + static_cast<std::ptrdiff_t>(first), 0xFF);
            std::fill(mFlash.begin() + static_cast<std::ptrdiff_t>(end), mFlash.end(), 0xFF);
        } else {
            std::fill(mFlash.begin() + std::min<std::size_t>(mConfig.firstIntelHexAddress, mFlash.size()), mFlash.end(),
                      0xFF);
        }
        mStarted = true;
        mSession = true;
        mCompleted = false;
        mSequence = 0;
        mNextAddress = mConfig.firstIntelHexAddress;
        mAnyAirohaPacket = false;
        Accept(r, mConfig.startBusyMs);
        return true;
    case 2: {
        if (!mStarted || !mSession)
            return Refuse("data before start");
        const bool ok = mConfig.kind == ESimImageKind::eAiroha ? HandleAirohaData(r) : HandleIntelHexData(r);
        if (!ok)
            return false;
        ++mDataPackets;
        Accept(r, mConfig.dataBusyMs);
        return true;
    }
    case 3:
        if (!mStarted || !mSession)
            return Refuse("end before start");
        mStarted = false;
        mSession = false;
        mCompleted = true;
        Accept(r, mConfig.endBusyMs);
        return true;
    default:
        return Refuse("sub-command " + std::to_string(r[2]));
    }
}

std::uint32_t CSimImageLoader::ImageAreaStart() const
{
    return mConfig.kind == ESimImageKind::eAiroha ? 0 : std::min<std::uint32_t>(mConfig.firstIntelHexAddress, static_cast<std::uint32_t>(mFlash.size()));
}

std::uint32_t CSimImageLoader::DataAddress(const std::vector<std::uint8_t>& r) const
{
    if (mConfig.kind == ESimImageKind::eAiroha)
        return static_cast<std::uint32_t>(r[10]) << 16 | static_cast<std::uint32_t>(r[11]) << 8 | r[12];
    return static_cast<std::uint32_t>(r[5]) | static_cast<std::uint32_t>(r[6]) << 8 |
           static_cast<std::uint32_t>(r[7]) << 16 | static_cast<std::uint32_t>(r[8]) << 24;
}

std::uint32_t CSimImageLoader::TearSpan(const std::vector<std::uint8_t>& r) const
{
    if (r.size() != kReportLength || r[0] != kImageReport)
        return 0;
    if (r[2] == 1)
        return static_cast<std::uint32_t>(mFlash.size()) - ImageAreaStart();
    if (r[2] == 2)
        return mConfig.kind == ESimImageKind::eAiroha ? 256 : 128;
    return 0;
}

bool CSimImageLoader::Tear(const std::vector<std::uint8_t>& r, std::uint32_t stop_I, std::uint8_t mask_I)
{
    const std::uint32_t span = TearSpan(r);
    if (span == 0 || stop_I >= span || Busy())
        return false;
    const std::vector<std::uint8_t> before = mFlash;
    // Apply the whole command as the loader would, then put back what the power cut kept.
    if (!HandleCommand(r))
        return false;
    const bool erase = r[2] == 1;
    const std::uint32_t first = erase ? ImageAreaStart() : DataAddress(r);
    const std::size_t dataAt = mConfig.kind == ESimImageKind::eAiroha ? 14 : 10;
    for (std::uint32_t i = stop_I; i < span; ++i) {
        const std::size_t at = first + i;
        if (i > stop_I)
            mFlash[at] = before[at];
        else if (erase)
            mFlash[at] = static_cast<std::uint8_t>(before[at] | mask_I);
        else
            mFlash[at] = static_cast<std::uint8_t>(before[at] & (r[dataAt + i] | static_cast<std::uint8_t>(~mask_I)));
    }
    // The Airoha erase skips the board's own range: whatever it held stays.
    if (erase && mConfig.kind == ESimImageKind::eAiroha) {
        for (std::uint32_t a = kSimAirohaReservedFirst; a < kSimAirohaReservedEnd && a < mFlash.size(); ++a)
            mFlash[a] = before[a];
    }
    return true;
}

bool CSimImageLoader::HandleIntelHexData(const std::vector<std::uint8_t>& r)
{
    if (r[3] != 0x01 || r[9] != 0x10)
        return Refuse("Intel HEX data packet with bytes 3/9 = " + std::to_string(r[3]) + "/" + std::to_string(r[9]));
    const std::uint8_t expectedSequence = static_cast<std::uint8_t>(mSequence + 1);
    if (r[4] != expectedSequence)
        return Refuse("sequence " + std::to_string(r[4]) + " instead of " + std::to_string(expectedSequence));
    const std::uint32_t address = static_cast<std::uint32_t>(r[5]) | static_cast<std::uint32_t>(r[6]) << 8 |
                                  static_cast<std::uint32_t>(r[7]) << 16 | static_cast<std::uint32_t>(r[8]) << 24;
    if (address != mNextAddress)
        return Refuse("address " + HexText(address) + " instead of " + HexText(mNextAddress));
    if (static_cast<std::uint64_t>(address) + 128 > mFlash.size())
        return Refuse("address " + HexText(address) + " beyond the flash");
    std::copy(r.begin() + 10, r.begin() + 138, mFlash.begin() + address);
    mSequence = expectedSequence;
    mNextAddress = address + 128;
    mPacketAddresses.push_back(address);
    return true;
}

bool CSimImageLoader::HandleAirohaData(const std::vector<std::uint8_t>& r)
{
    if (!std::equal(std::begin(kAirohaPreamble), std::end(kAirohaPreamble), r.begin() + 3))
        return Refuse("Airoha command preamble");
    const std::uint32_t address = static_cast<std::uint32_t>(r[10]) << 16 | static_cast<std::uint32_t>(r[11]) << 8 | r[12];
    const std::uint32_t end = address + 256;
    if (address < kSimAirohaReservedEnd && end > kSimAirohaReservedFirst)
        return Refuse("packet into the reserved range at " + HexText(address));
    if (mAnyAirohaPacket && address < mNextAddress)
        return Refuse("address " + HexText(address) + " not rising");
    if (end > mFlash.size())
        return Refuse("address " + HexText(address) + " beyond the flash");
    if (SimCrc8Airoha(&r[14], 256) != r[13])
        return Refuse("check byte at " + HexText(address));
    std::copy(r.begin() + 14, r.begin() + 270, mFlash.begin() + address);
    mAnyAirohaPacket = true;
    mNextAddress = end;
    mPacketAddresses.push_back(address);
    return true;
}

bool CSimImageLoader::GetFeature(const std::vector<std::uint8_t>& request_I, std::vector<std::uint8_t>& answer_O)
{
    if (request_I.empty())
        return false;
    if (request_I[0] == kStatusReport) {
        answer_O = {kStatusReport, 0, 0, 0, 0};
        return true;
    }
    if (request_I[0] != kImageReport) {
        Refuse("GET of unknown report id " + std::to_string(request_I[0]));
        return false;
    }
    if (mFailGets.Consume())
        return false;
    ++mPolls;
    answer_O = mLast;
    answer_O.resize(kReportLength, 0);
    answer_O[0] = kImageReport;
    const bool busy = Busy();
    answer_O[3] = busy ? 1 : 0;
    mBusyAnswers += busy ? 1 : 0;
    for (std::size_t i = 0; i < 4; ++i)
        answer_O[kCounterOffset + i] = static_cast<std::uint8_t>(mAccepted >> (8 * i));
    return true;
}
