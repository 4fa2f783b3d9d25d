#pragma once
// A simulated pen or touch board with an S-record boot loader: the far side of every loader
// report, in protocol type 0 or 1.
//
// Flash is kept per block and erases to 0xFF; a write can only clear bits (as NOR flash does),
// so a write without its erase shows up as wrong contents. Writes outside the described
// blocks, into protected blocks or of the wrong length, and erases of protected blocks, are
// refused (the report fails). The checksum of a block is the sum of its little-endian 32-bit
// words. The checksum table and magic word live in RAM until committed: a commit whose table
// matches the flash marks the application valid (magic word kSimValidMagic), as the board's
// start-up check would accept it.
//
// In application mode the board answers only the normal-mode reports (ping, reset, the two
// enter-loader reports); in loader mode only the loader reports. Mode changes call hooks so a
// simulated bus can make the board leave and come back as another device.

#include "CSimHost.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

struct SimLoaderBlock
{
    std::uint32_t address = 0;
    std::uint32_t size = 0;
    std::uint16_t flags = 0; // bit 15 protected, bits 0-14 word size
};

struct SimSRecLoaderConfig
{
    int protocolType = 0;
    std::uint16_t reserved0 = 0x0102;
    std::uint16_t readSize = 32;
    std::uint16_t wordSize = 4;
    std::uint16_t blockSize = 256;
    std::uint16_t reserved1 = 0x0304;
    std::vector<SimLoaderBlock> blocks;
    // Block count the parameters report; -1 = the true count. Lets a test build a loader that
    // lies about its table.
    int reportedBlocks = -1;
    bool checksumSupport = true;
    std::uint16_t cpuCount = 1;
    std::uint16_t currentCpu = 0;
    std::uint32_t status = 0;
    std::array<std::uint8_t, 34> loaderInfo{};
    std::uint8_t loaderByte = 0;
    bool startInLoader = true;
};

constexpr std::uint32_t kSimValidMagic = 0x56454C4Cu; // "VELL"

class CSimSRecLoader : public CSimHidDevice
{
public:
    explicit CSimSRecLoader(SimSRecLoaderConfig config_I);

    bool SetFeature(const std::vector<std::uint8_t>& report_I) override;
    bool GetFeature(const std::vector<std::uint8_t>& request_I, std::vector<std::uint8_t>& answer_O) override;

    // State for tests.
    const SimSRecLoaderConfig& Config() const { return mConfig; }
    bool InLoader() const { return mInLoader; }
    // Empty bytes_I erases the block.
    void SetBlockContents(std::size_t index_I, const std::vector<std::uint8_t>& bytes_I);
    // A block's bytes as stored; empty = erased.
    const std::vector<std::uint8_t>& BlockContents(std::size_t index_I) const { return mFlash.at(index_I); }
    // Flash byte at an address, 0xFF outside every block.
    std::uint8_t FlashByte(std::uint32_t address_I) const;
    // length_I flash bytes from an address on, appended to out_IO (as FlashByte gives them).
    void AppendFlash(std::vector<std::uint8_t>& out_IO, std::uint32_t address_I, std::size_t length_I) const;
    std::uint32_t FlashChecksum(std::size_t index_I) const; // computed from the flash now
    const std::vector<std::uint32_t>& ChecksumTable() const { return mChecksums; }
    const std::vector<std::uint32_t>& CommittedChecksums() const { return mRomChecksums; }
    std::uint32_t MagicWord() const { return mMagic; }
    std::uint32_t CommittedMagicWord() const { return mRomMagic; }
    // What the board's start-up check decides: committed magic valid and every committed
    // checksum equal to its block's flash.
    bool ApplicationValid() const;
    std::uint16_t CurrentCpu() const { return mCurrentCpu; }
    int EraseCount(std::size_t index_I) const;
    int RefusedCount() const { return mRefused; } // reports refused as malformed or forbidden
    int ProtectedEraseAttempts() const { return mProtectedEraseAttempts; }
    int ResetCount() const { return mResets; }

    // Fault hooks: after letting `after` more pass, fail the next count SETs/GETs of a wire id
    // (count -1 = all from then on; count 0 clears the hook).
    void FailSets(std::uint8_t id_I, int count_I, int after_I = 0);
    void FailGets(std::uint8_t id_I, int count_I, int after_I = 0);
    // Changes the answer to a GET of a wire id before it leaves the board.
    void SetAnswerTamper(std::uint8_t id_I, std::function<void(std::vector<std::uint8_t>&)> tamper_I);

    // The power fails while this SET is applied. An erase or write the loader would accept is
    // applied up to byte `stop_I` of the block (erase) or of the report's data (write); byte
    // `stop_I` itself gets only the bits in `mask_I` erased (set) or programmed (cleared); the
    // rest stays as it was. True when the report was such an erase or write.
    bool Tear(const std::vector<std::uint8_t>& report_I, std::uint32_t stop_I, std::uint8_t mask_I);
    // Size of what a torn report would cover (the block of an erase, the data of a write), 0
    // when the report is neither.
    std::uint32_t TearSpan(const std::vector<std::uint8_t>& report_I) const;

    // Factory state: the current flash is committed as a valid application (checksum table and
    // magic word in ROM), as the board leaves the production line.
    void InstallApplication();

    // Power comes back: the start-up check boots the application when the committed checksums
    // and magic word match the flash, and the loader otherwise. RAM state (the working checksum
    // table and magic word) is lost.
    void PowerCycle();

    // The board as it was stored away: committed checksums and magic word (the working copies in
    // RAM start from them) and the mode it runs. Checksums of blocks the table lacks stay as they
    // are.
    void RestoreCommitted(const std::vector<std::uint32_t>& checksums_I, std::uint32_t magic_I, bool inLoader_I);

    // Mode hooks for a simulated bus.
    void SetOnEnterLoader(std::function<void()> hook_I) { mOnEnterLoader = std::move(hook_I); }
    void SetOnExitLoader(std::function<void(bool applicationStarted)> hook_I) { mOnExitLoader = std::move(hook_I); }
    void SetOnReset(std::function<void()> hook_I) { mOnReset = std::move(hook_I); }

private:
    std::uint8_t Id(std::uint8_t type0Id_I) const;
    struct Fault
    {
        int after = 0;
        int count = 0;
    };
    static bool Consume(std::map<std::uint8_t, Fault>& faults_I, std::uint8_t id_I);
    bool HandleLoaderSet(std::uint8_t logical_I, const std::vector<std::uint8_t>& report_I);
    bool HandleLoaderGet(std::uint8_t logical_I, std::vector<std::uint8_t>& answer_O);
    bool HandleApplicationSet(const std::vector<std::uint8_t>& report_I);
    // Index of the unprotected block holding [address, address + length), or -1.
    int WritableBlock(std::uint32_t address_I, std::size_t length_I) const;
    bool LogicalId(std::uint8_t wireId_I, std::uint8_t& logical_O) const;
    void Commit();

    SimSRecLoaderConfig mConfig;
    bool mInLoader;
    std::vector<std::vector<std::uint8_t>> mFlash;
    std::vector<std::uint32_t> mChecksums;
    std::vector<std::uint32_t> mRomChecksums;
    std::uint32_t mMagic = 0;
    std::uint32_t mRomMagic = 0;
    std::uint16_t mCurrentCpu;
    std::uint32_t mValue = 0;
    std::uint32_t mReadAddress = 0;
    bool mEnterFirstSeen = false;
    std::vector<int> mEraseCounts;
    int mRefused = 0;
    int mProtectedEraseAttempts = 0;
    int mResets = 0;
    std::map<std::uint8_t, Fault> mFailSets;
    std::map<std::uint8_t, Fault> mFailGets;
    std::map<std::uint8_t, std::function<void(std::vector<std::uint8_t>&)>> mTampers;
    std::function<void()> mOnEnterLoader;
    std::function<void(bool)> mOnExitLoader;
    std::function<void()> mOnReset;
};
