#include "CSimSRecLoader.h"

#include <algorithm>
#include <array>

namespace {

// Loader report ids of protocol type 0; type 1 adds 0xC1 to all but the loader byte.
enum : std::uint8_t
{
    kRead = 0x10,
    kWriteBlock = 0x11,
    kEraseBlock = 0x12,
    kValue = 0x13,
    kStatus = 0x14,
    kExitLoader = 0x15,
    kWriteWord = 0x16,
    kParameters = 0x17,
    kDescription = 0x18,
    kChecksums = 0x19,
    kSetBlockChecksum = 0x1A,
    kCalcBlockChecksum = 0x1B,
    kSetMagic = 0x1C,
    kWriteChecksums = 0x1D,
    kLoaderInfo = 0x1E,
    kLoaderByte = 0x1F,
    kSetCpu = 0x20,
    kCurrentCpu = 0x21,
    kCpuCount = 0x22,
};

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

std::uint16_t Le16(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

void Put16(std::vector<std::uint8_t>& b, std::uint16_t v)
{
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

} // namespace

CSimSRecLoader::CSimSRecLoader(SimSRecLoaderConfig config_I)
    : mConfig(std::move(config_I)), mInLoader(mConfig.startInLoader), mCurrentCpu(mConfig.currentCpu)
{
    mFlash.resize(mConfig.blocks.size()); // empty = erased, so huge blocks cost nothing
    mEraseCounts.assign(mConfig.blocks.size(), 0);
    // Delivered with a consistent (erased) image and a committed table.
    for (std::size_t i = 0; i < mFlash.size(); ++i)
        mChecksums.push_back(FlashChecksum(i));
    mMagic = kSimValidMagic;
    Commit();
}

void CSimSRecLoader::SetBlockContents(std::size_t index_I, const std::vector<std::uint8_t>& bytes_I)
{
    std::vector<std::uint8_t>& flash = mFlash.at(index_I);
    flash.clear();
    if (bytes_I.empty())
        return;
    flash.assign(mConfig.blocks[index_I].size, 0xFF);
    std::copy_n(bytes_I.begin(), std::min(bytes_I.size(), flash.size()), flash.begin());
}

std::uint8_t CSimSRecLoader::FlashByte(std::uint32_t address_I) const
{
    for (std::size_t i = 0; i < mConfig.blocks.size(); ++i) {
        const SimLoaderBlock& b = mConfig.blocks[i];
        if (address_I >= b.address && static_cast<std::uint64_t>(address_I) < static_cast<std::uint64_t>(b.address) + b.size)
            return mFlash[i].empty() ? 0xFF : mFlash[i][address_I - b.address];
    }
    return 0xFF;
}

void CSimSRecLoader::AppendFlash(std::vector<std::uint8_t>& out_IO, std::uint32_t address_I, std::size_t length_I) const
{
    // What FlashByte gives byte by byte (addresses wrap at 32 bits), a block's run at a time: a
    // byte lookup made every read answer of the fuzzed inputs cost a block search per byte.
    std::uint32_t address = address_I;
    std::size_t left = length_I;
    while (left > 0) {
        // Outside every block: erased bytes up to the next block (or the wrap).
        std::uint64_t runEnd = 0x100000000ull;
        const std::uint8_t* bytes = nullptr;
        for (std::size_t i = 0; i < mConfig.blocks.size(); ++i) {
            const SimLoaderBlock& b = mConfig.blocks[i];
            const std::uint64_t end = static_cast<std::uint64_t>(b.address) + b.size;
            if (address >= b.address && address < end) {
                runEnd = std::min(runEnd, end); // an earlier-listed block inside it takes over there
                if (!mFlash[i].empty())
                    bytes = mFlash[i].data() + (address - b.address);
                break;
            }
            if (b.address > address && b.size > 0)
                runEnd = std::min<std::uint64_t>(runEnd, b.address);
        }
        const auto run = static_cast<std::size_t>(std::min<std::uint64_t>(left, runEnd - address));
        if (bytes)
            out_IO.insert(out_IO.end(), bytes, bytes + run);
        else
            out_IO.insert(out_IO.end(), run, std::uint8_t{0xFF});
        address += static_cast<std::uint32_t>(run);
        left -= run;
    }
}

std::uint32_t CSimSRecLoader::FlashChecksum(std::size_t index_I) const
{
    const std::vector<std::uint8_t>& flash = mFlash.at(index_I);
    if (flash.empty()) // every word erased: 0xFFFFFFFF = -1 per word
        return static_cast<std::uint32_t>(0u - (mConfig.blocks[index_I].size + 3) / 4);
    // Whole words first, then a last partial word padded with erased bytes. The words' sum is
    // that of each byte lane shifted into place (modulo 2^32): a plain loop the compiler
    // vectorises, where a word at a time cost the fuzzers a tenth of each input.
    const std::size_t whole = flash.size() / 4 * 4;
    const std::uint8_t* bytes = flash.data();
    std::array<std::uint32_t, 4> lanes{};
    for (std::size_t o = 0; o < whole; o += 4)
        for (std::size_t lane = 0; lane < 4; ++lane)
            lanes[lane] += bytes[o + lane];
    std::uint32_t sum = lanes[0] + (lanes[1] << 8) + (lanes[2] << 16) + (lanes[3] << 24);
    if (whole < flash.size()) {
        std::uint32_t word = 0xFFFFFFFFu;
        for (std::size_t i = 0; whole + i < flash.size(); ++i)
            word = (word & ~(0xFFu << (8 * i))) | static_cast<std::uint32_t>(flash[whole + i]) << (8 * i);
        sum += word;
    }
    return sum;
}

bool CSimSRecLoader::ApplicationValid() const
{
    if (mRomMagic != kSimValidMagic)
        return false;
    for (std::size_t i = 0; i < mFlash.size(); ++i) {
        if (mRomChecksums[i] != FlashChecksum(i))
            return false;
    }
    return true;
}

int CSimSRecLoader::EraseCount(std::size_t index_I) const
{
    return mEraseCounts.at(index_I);
}

void CSimSRecLoader::InstallApplication()
{
    for (std::size_t i = 0; i < mFlash.size(); ++i)
        mChecksums[i] = FlashChecksum(i);
    mMagic = kSimValidMagic;
    mRomChecksums = mChecksums;
    mRomMagic = mMagic;
}

void CSimSRecLoader::PowerCycle()
{
    mChecksums = mRomChecksums;
    mMagic = mRomMagic;
    mEnterFirstSeen = false;
    mInLoader = !ApplicationValid();
}

void CSimSRecLoader::RestoreCommitted(const std::vector<std::uint32_t>& checksums_I, std::uint32_t magic_I,
                                      bool inLoader_I)
{
    for (std::size_t i = 0; i < checksums_I.size() && i < mRomChecksums.size(); ++i)
        mRomChecksums[i] = checksums_I[i];
    mRomMagic = magic_I;
    mChecksums = mRomChecksums;
    mMagic = mRomMagic;
    mEnterFirstSeen = false;
    mInLoader = inLoader_I;
}

void CSimSRecLoader::Commit()
{
    bool consistent = true;
    for (std::size_t i = 0; i < mFlash.size(); ++i)
        consistent = consistent && mChecksums[i] == FlashChecksum(i);
    if (consistent)
        mMagic = kSimValidMagic;
    mRomChecksums = mChecksums;
    mRomMagic = mMagic;
}

void CSimSRecLoader::FailSets(std::uint8_t id_I, int count_I, int after_I) { mFailSets[id_I] = Fault{after_I, count_I}; }
void CSimSRecLoader::FailGets(std::uint8_t id_I, int count_I, int after_I) { mFailGets[id_I] = Fault{after_I, count_I}; }

void CSimSRecLoader::SetAnswerTamper(std::uint8_t id_I, std::function<void(std::vector<std::uint8_t>&)> tamper_I)
{
    mTampers[id_I] = std::move(tamper_I);
}

bool CSimSRecLoader::Consume(std::map<std::uint8_t, Fault>& faults_I, std::uint8_t id_I)
{
    auto it = faults_I.find(id_I);
    if (it == faults_I.end() || it->second.count == 0)
        return false;
    if (it->second.after > 0) {
        --it->second.after;
        return false;
    }
    if (it->second.count > 0)
        --it->second.count;
    return true;
}

std::uint8_t CSimSRecLoader::Id(std::uint8_t type0Id_I) const
{
    if (mConfig.protocolType != 1 || type0Id_I == kLoaderByte)
        return type0Id_I;
    return static_cast<std::uint8_t>(type0Id_I + 0xC1);
}

bool CSimSRecLoader::LogicalId(std::uint8_t wireId_I, std::uint8_t& logical_O) const
{
    // Id() undone without a search: every report asks this.
    std::uint8_t id = wireId_I;
    if (mConfig.protocolType == 1 && wireId_I != kLoaderByte) {
        id = static_cast<std::uint8_t>(wireId_I - 0xC1);
        if (id == kLoaderByte)
            return false; // the loader byte keeps its type-0 id
    }
    if (id < kRead || id > kCpuCount)
        return false;
    logical_O = id;
    return true;
}

int CSimSRecLoader::WritableBlock(std::uint32_t address_I, std::size_t length_I) const
{
    const std::uint64_t end = static_cast<std::uint64_t>(address_I) + length_I;
    for (std::size_t i = 0; i < mConfig.blocks.size(); ++i) {
        const SimLoaderBlock& b = mConfig.blocks[i];
        if (address_I >= b.address && end <= static_cast<std::uint64_t>(b.address) + b.size)
            return (b.flags & 0x8000) ? -1 : static_cast<int>(i);
    }
    return -1;
}

bool CSimSRecLoader::SetFeature(const std::vector<std::uint8_t>& report_I)
{
    if (report_I.empty())
        return false;
    if (Consume(mFailSets, report_I[0]))
        return false;
    bool ok = false;
    if (!mInLoader) {
        ok = HandleApplicationSet(report_I);
    } else {
        std::uint8_t logical = 0;
        ok = LogicalId(report_I[0], logical) && HandleLoaderSet(logical, report_I);
    }
    if (!ok)
        ++mRefused;
    return ok;
}

std::uint32_t CSimSRecLoader::TearSpan(const std::vector<std::uint8_t>& r) const
{
    std::uint8_t logical = 0;
    if (!mInLoader || r.empty() || !LogicalId(r[0], logical))
        return 0;
    if (logical == kEraseBlock && r.size() == 5 && Le32(r, 1) < mConfig.blocks.size())
        return mConfig.blocks[Le32(r, 1)].size;
    if (logical == kWriteBlock && r.size() == mConfig.blockSize + 5u)
        return mConfig.blockSize;
    if (logical == kWriteWord && r.size() == mConfig.wordSize + 5u)
        return mConfig.wordSize;
    return 0;
}

bool CSimSRecLoader::Tear(const std::vector<std::uint8_t>& r, std::uint32_t stop_I, std::uint8_t mask_I)
{
    const std::uint32_t span = TearSpan(r);
    if (span == 0 || stop_I >= span)
        return false;
    std::uint8_t logical = 0;
    LogicalId(r[0], logical);
    // Which block, and where in it the torn range starts.
    std::size_t index = 0;
    std::uint32_t first = 0;
    if (logical == kEraseBlock) {
        index = Le32(r, 1);
    } else {
        const int writable = WritableBlock(Le32(r, 1), span);
        if (writable < 0)
            return false;
        index = static_cast<std::size_t>(writable);
        first = Le32(r, 1) - mConfig.blocks[index].address;
    }
    std::vector<std::uint8_t> before = mFlash[index];
    if (before.empty())
        before.assign(mConfig.blocks[index].size, 0xFF);
    // Apply the whole report as the loader would, then put back what the power cut kept from it.
    if (!HandleLoaderSet(logical, r))
        return false;
    std::vector<std::uint8_t> after = mFlash[index];
    if (after.empty())
        after.assign(mConfig.blocks[index].size, 0xFF);
    for (std::uint32_t i = stop_I; i < span; ++i) {
        const std::size_t at = first + i;
        if (i > stop_I)
            after[at] = before[at];
        else if (logical == kEraseBlock)
            after[at] = static_cast<std::uint8_t>(before[at] | mask_I);
        else
            after[at] = static_cast<std::uint8_t>(before[at] & (r[5 + i] | static_cast<std::uint8_t>(~mask_I)));
    }
    mFlash[index] = after;
    return true;
}

bool CSimSRecLoader::HandleApplicationSet(const std::vector<std::uint8_t>& r)
{
    if (r[0] == 0xCC && r.size() == 3) {
        if (r[1] == 0x05 && r[2] == 0x6A) {
            mEnterFirstSeen = true;
            return true;
        }
        if (r[1] == 0x6A && r[2] == 0x05 && mEnterFirstSeen) {
            mEnterFirstSeen = false;
            mInLoader = true;
            if (mOnEnterLoader)
                mOnEnterLoader();
            return true;
        }
        return false;
    }
    if (r[0] == 0x02 && r.size() == 2)
        return true;
    if (r[0] == 0x08 && r == std::vector<std::uint8_t>{0x08, 0x01, 0x00, 0xAA, 0xAA}) {
        ++mResets;
        if (mOnReset)
            mOnReset();
        return true;
    }
    return false;
}

namespace {

// Bytes 1-4 of the exit and write-checksums commands are zero; this board refuses other bytes,
// so that a command sent with a stale buffer's bytes shows.
bool ZeroFrom1(const std::vector<std::uint8_t>& r_I)
{
    return std::all_of(r_I.begin() + 1, r_I.end(), [](std::uint8_t b) { return b == 0; });
}

} // namespace

bool CSimSRecLoader::HandleLoaderSet(std::uint8_t logical_I, const std::vector<std::uint8_t>& r)
{
    const std::size_t blocks = mConfig.blocks.size();
    const bool checksumReport = logical_I >= kSetBlockChecksum && logical_I <= kWriteChecksums;
    if (checksumReport && !mConfig.checksumSupport)
        return false;
    switch (logical_I) {
    case kWriteBlock:
    case kWriteWord: {
        const std::size_t size = logical_I == kWriteBlock ? mConfig.blockSize : mConfig.wordSize;
        if (size == 0 || r.size() != size + 5)
            return false;
        const std::uint32_t address = Le32(r, 1);
        const int index = WritableBlock(address, size);
        if (index < 0)
            return false;
        const SimLoaderBlock& b = mConfig.blocks[static_cast<std::size_t>(index)];
        const std::uint32_t word = b.flags & 0x7FFF;
        if (logical_I == kWriteWord && word != 0 && (address - b.address) % word != 0)
            return false;
        std::vector<std::uint8_t>& flash = mFlash[static_cast<std::size_t>(index)];
        if (flash.empty())
            flash.assign(b.size, 0xFF);
        for (std::size_t i = 0; i < size; ++i)
            flash[address - b.address + i] &= r[5 + i]; // programming only clears bits
        return true;
    }
    case kEraseBlock: {
        if (r.size() != 5)
            return false;
        const std::uint32_t index = Le32(r, 1);
        if (index >= blocks)
            return false;
        if (mConfig.blocks[index].flags & 0x8000) {
            ++mProtectedEraseAttempts;
            return false;
        }
        mFlash[index].clear();
        ++mEraseCounts[index];
        return true;
    }
    case kValue:
        if (r.size() != 5)
            return false;
        mValue = Le32(r, 1);
        mReadAddress = mValue;
        return true;
    case kExitLoader: {
        if (r.size() != 5 || !ZeroFrom1(r))
            return false;
        // A board whose image does not check out comes back in its loader.
        const bool started = ApplicationValid();
        if (started)
            mInLoader = false;
        if (mOnExitLoader)
            mOnExitLoader(started);
        return true;
    }
    case kSetBlockChecksum: {
        if (r.size() != 7)
            return false;
        const std::uint16_t index = Le16(r, 1);
        if (index >= blocks)
            return false;
        mChecksums[index] = Le32(r, 3);
        return true;
    }
    case kCalcBlockChecksum: {
        if (r.size() != 3)
            return false;
        const std::uint16_t index = Le16(r, 1);
        if (index >= blocks)
            return false;
        mChecksums[index] = FlashChecksum(index);
        return true;
    }
    case kSetMagic:
        if (r.size() != 5)
            return false;
        mMagic = Le32(r, 1);
        return true;
    case kWriteChecksums:
        if (r.size() != 5 || !ZeroFrom1(r))
            return false;
        Commit();
        return true;
    case kSetCpu: {
        if (r.size() != 3)
            return false;
        const std::uint16_t cpu = Le16(r, 1);
        if (cpu >= mConfig.cpuCount)
            return false;
        mCurrentCpu = cpu;
        return true;
    }
    default:
        return false; // a GET-only report
    }
}

bool CSimSRecLoader::GetFeature(const std::vector<std::uint8_t>& request_I, std::vector<std::uint8_t>& answer_O)
{
    if (request_I.empty())
        return false;
    const std::uint8_t wireId = request_I[0];
    if (Consume(mFailGets, wireId))
        return false;
    std::uint8_t logical = 0;
    if (!mInLoader || !LogicalId(wireId, logical)) {
        ++mRefused;
        return false;
    }
    answer_O.clear();
    answer_O.push_back(wireId);
    if (!HandleLoaderGet(logical, answer_O)) {
        ++mRefused;
        return false;
    }
    auto tamper = mTampers.find(wireId);
    if (tamper != mTampers.end() && tamper->second)
        tamper->second(answer_O);
    return true;
}

bool CSimSRecLoader::HandleLoaderGet(std::uint8_t logical_I, std::vector<std::uint8_t>& a)
{
    const std::size_t blocks = mConfig.blocks.size();
    switch (logical_I) {
    case kRead:
        Put32(a, mReadAddress);
        AppendFlash(a, mReadAddress, mConfig.readSize);
        mReadAddress += mConfig.readSize;
        return true;
    case kStatus:
        Put32(a, mConfig.status);
        return true;
    case kParameters:
        Put16(a, mConfig.reserved0);
        Put16(a, mConfig.readSize);
        Put16(a, mConfig.wordSize);
        Put16(a, mConfig.blockSize);
        Put16(a, static_cast<std::uint16_t>(mConfig.reportedBlocks >= 0 ? mConfig.reportedBlocks : static_cast<int>(blocks)));
        Put16(a, mConfig.reserved1);
        return true;
    case kDescription:
        for (const SimLoaderBlock& b : mConfig.blocks) {
            Put32(a, b.address);
            Put32(a, b.size);
            Put16(a, b.flags);
        }
        return true;
    case kChecksums:
        if (!mConfig.checksumSupport)
            return false;
        Put32(a, mMagic);
        for (std::uint32_t c : mChecksums)
            Put32(a, c);
        return true;
    case kLoaderInfo:
        a.insert(a.end(), mConfig.loaderInfo.begin(), mConfig.loaderInfo.end());
        return true;
    case kLoaderByte:
        a.push_back(mConfig.loaderByte);
        return true;
    case kCurrentCpu:
        Put16(a, mCurrentCpu);
        return true;
    case kCpuCount:
        Put16(a, mConfig.cpuCount);
        return true;
    default:
        return false; // a SET-only report
    }
}
