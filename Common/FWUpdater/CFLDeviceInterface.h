#pragma once
// The system's handle on one interface of a tablet board, in normal or in loader mode.
//
// It keeps what is known about the interface (path, ids, loader parameters, block table,
// checksum sums), owns the in-memory image of the board's flash, sends every loader report
// through the retrying SafeRead/SafeWrite, and runs the programming sequences. The transport
// slots are pure: the HID, I2C and BULK variants and their platform classes supply them.
//
// Every answer of a device is untrusted: lengths and counts are checked before they are used.

#include "FWUpdater/CFLProtocol.h"
#include "FWUpdater/DataSourceFormat.h"
#include "FWUpdater/InterfaceKind.h"
#include "FWUpdater/SRecBlock.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

class CInterfaceNotifier;
class CIntelHex;
class CBinaryAiroFlash;

// Bytes 1-12 of the loader parameters report.
struct LoaderParameters
{
    std::uint16_t reserved0 = 0; // not interpreted
    std::uint16_t readSize = 0;  // data bytes per read report
    std::uint16_t wordSize = 0;  // data bytes per write-word report
    std::uint16_t blockSize = 0; // data bytes per write-block report
    std::uint16_t blocks = 0;    // entries in the loader description
    std::uint16_t reserved1 = 0; // not interpreted
};

// One block of the loader description (10 bytes on the wire).
struct LoaderBlockEntry
{
    std::uint32_t address = 0;
    std::uint32_t size = 0;
    std::uint16_t flags = 0; // bit 15: protected; bits 0-14: the block's word size
};

constexpr std::uint16_t kLoaderBlockProtected = 0x8000;
constexpr std::uint16_t kLoaderBlockWordSizeMask = 0x7FFF;

// The block table holds 1024 entries and a checksum record 4096 bytes (magic word plus one
// word per block), so a loader may describe at most 1023 blocks.
constexpr std::size_t kLoaderDescriptionEntries = 1024;
constexpr std::size_t kMaxLoaderBlocks = 1023;
using LoaderDescription = std::array<LoaderBlockEntry, kLoaderDescriptionEntries>;

// Empties the table's entries from from_I on. Cleared as bytes (an empty entry is all zeros):
// entry by entry, each of the 1024 entries cost the fuzzers a traced compare, per table read.
inline void ClearLoaderEntries(LoaderDescription& table_IO, std::size_t from_I = 0)
{
    static_assert(std::is_trivially_copyable_v<LoaderBlockEntry>);
    if (from_I < table_IO.size())
        std::memset(static_cast<void*>(&table_IO[from_I]), 0, (table_IO.size() - from_I) * sizeof(LoaderBlockEntry));
}

struct ChecksumRecord
{
    std::uint32_t magicWord = 0;
    std::array<std::uint32_t, kMaxLoaderBlocks> checksums{}; // entries 0 .. Blocks-1 valid
};

// Bytes 1-34 of the loader info report.
using LoaderInfo = std::array<std::uint8_t, 34>;

// The in-memory image of one loader block.
struct FlashBlock
{
    std::uint32_t address = 0;
    std::uint32_t size = 0;
    std::uint32_t readSize = 0;
    std::uint32_t wordSize = 0;
    std::uint32_t blockSize = 0;
    std::uint32_t dataStart = 0;  // offset of the first used word
    std::uint32_t dataLength = 0; // used bytes; 0 when the block holds nothing but 0xFF
    bool isProtected = false;
    std::vector<std::uint8_t> data; // empty, or exactly size bytes (0xFF where the image has none)
};

// Largest block the host will hold an image of. Real boards have blocks of a few KiB; a lying
// description must not make the host allocate gigabytes.
constexpr std::uint32_t kMaxFilledBlockSize = 16u * 1024u * 1024u;
// A protocol-type-1 loader checks a block as a 4096-byte buffer.
constexpr std::uint32_t kProtocol1ChecksumBufferSize = 4096;

// Whole-image programming through report 0xE4: one 512-byte buffer is command and status.
constexpr std::size_t kImageReportLength = 512;
constexpr int kImageCommandRetries = 10;          // after the first attempt
constexpr std::uint32_t kImageCommandRetryMs = 20;
constexpr int kImageBusyPolls = 101;
constexpr std::uint32_t kImageBusyPollMs = 100;
constexpr std::uint32_t kIntelHexPacketBytes = 128;
constexpr std::uint32_t kIntelHexMaxOffset = 0x2C000; // the image never reaches further
constexpr std::uint32_t kAirohaPacketBytes = 256;
// Flash the bluetooth board keeps for itself: never sent.
constexpr std::uint32_t kAirohaSkipFirst = 0x3000;
constexpr std::uint32_t kAirohaSkipEnd = 0x8000;
// Airoha packets carry 24-bit addresses.
constexpr std::uint64_t kAirohaAddressSpace = 0x1000000;

class CFLDeviceInterface
{
public:
    CFLDeviceInterface(const std::string& path_I, int interfaceKind_I);
    virtual ~CFLDeviceInterface();

    CFLDeviceInterface(const CFLDeviceInterface&) = delete;
    CFLDeviceInterface& operator=(const CFLDeviceInterface&) = delete;

    // Transport: supplied by the variants and platform classes.
    virtual bool Open() = 0;
    virtual void Close() = 0;
    virtual bool ReadAttributes() = 0;
    virtual std::string GetParentDeviceId(std::uint8_t levels_I) = 0;
    virtual bool SwitchToBLMode() = 0;
    virtual bool SwitchFromBLMode() = 0;
    virtual bool IsConnected() = 0;
    virtual bool SendReset() = 0;
    // One SET of the whole report (byte 0 = id).
    virtual bool WriteFeature(const std::vector<std::uint8_t>& report_I) = 0;
    // One GET: byte 0 holds the wanted id and the length the wanted length; on success the
    // buffer holds the answer. An implementation must never make the buffer longer.
    virtual bool ReadFeature(std::vector<std::uint8_t>& report_IO) = 0;

    virtual void SetChecksums(std::uint32_t old_I, std::uint32_t new_I, std::uint32_t expected_I);
    virtual bool ReadLoaderInfoWord(std::uint16_t& word_O);
    virtual void SetPath(const std::string& path_I);
    virtual void SetPathNumber(std::uint32_t number_I);
    virtual void SetFirmwareLoader(bool loader_I);
    virtual void SetDataSourceFormat(int format_I);
    virtual std::string GetPath() const;
    // The path as a decimal int; throws std::invalid_argument / std::out_of_range like std::stoi.
    virtual int GetPathNumber() const;
    virtual bool IsOpen() const;
    virtual bool IsFirmwareLoader();
    virtual std::uint16_t GetVendorId() const;
    virtual std::uint16_t GetProductId() const;
    virtual std::uint16_t GetUsage() const;
    virtual std::uint16_t GetUsagePage() const;
    virtual std::uint16_t GetVersion() const;
    virtual std::uint32_t GetChecksumOld() const;
    virtual std::uint32_t GetChecksumNew() const;
    virtual std::uint32_t GetChecksumExpected() const;
    virtual int GetInterfaceKind() const;
    virtual LoaderParameters GetLoaderParameters() const;
    virtual LoaderDescription GetLoaderDescription() const;
    virtual std::vector<FlashBlock> GetFlashVector(std::uint32_t& totalSize_O) const;
    virtual int GetDataSourceCpu() const;
    virtual int GetDataSourceFormat() const;

    virtual bool InitializeProgrammingData(const std::vector<SRecBlock>& image_I);
    virtual bool ProgramBoard();
    virtual bool SetCurrentCpu();
    virtual bool LoadLoaderParameters();
    virtual bool LoadLoaderDescription();
    virtual bool HasChecksumSupport() const;
    virtual bool InitializeFlashVector();
    virtual bool FillFlashBlocks(const std::vector<SRecBlock>& image_I);
    virtual bool CalculateChecksums();
    virtual bool InitializeFlash();
    virtual bool WriteFlash();
    virtual bool WriteFlashBlock(std::uint32_t blockIndex_I);
    virtual bool FinalizeFlash();
    // Reads every programmed block back through the read report (the address set by the value
    // report) and compares it byte for byte with the image. On a difference the board's magic
    // word and checksums are invalidated, so that it stays in its loader instead of starting
    // an application that is not the image; false then.
    virtual bool VerifyFlash();
    virtual void SetProtocolType(int type_I);
    virtual void SetIntelHexData(std::shared_ptr<CIntelHex> data_I);
    virtual void SetAiroFlashData(std::shared_ptr<CBinaryAiroFlash> data_I);
    virtual std::shared_ptr<CIntelHex> GetIntelHexData() const;
    virtual std::shared_ptr<CBinaryAiroFlash> GetAiroFlashData() const;
    virtual std::string GetDeviceInfo() const;

    // One operation per loader report.
    virtual bool ReadData(std::vector<std::uint8_t>& out_IO, std::int32_t count_I);
    virtual bool WriteBlock(const std::vector<std::uint8_t>& data_I, std::uint32_t address_I);
    virtual bool EraseBlock(std::uint32_t blockIndex_I);
    virtual bool SendValue(std::uint32_t value_I);
    virtual bool ReadStatus(std::uint32_t& status_O);
    virtual bool ExitLoader();
    virtual bool WriteWord(const std::vector<std::uint8_t>& data_I, std::uint32_t address_I);
    virtual bool ReadLoaderParameters(LoaderParameters& parameters_O);
    virtual bool ReadLoaderDescription(LoaderDescription& description_O);
    virtual bool ReadChecksums(ChecksumRecord& record_O);
    virtual bool SetBlockChecksum(std::uint16_t blockIndex_I, std::uint32_t checksum_I);
    virtual bool CalcBlockChecksum(std::uint16_t blockIndex_I);
    virtual bool SetMagicWord(std::uint32_t magic_I);
    virtual bool WriteChecksumsToROM();
    virtual bool ReadLoaderInfo(LoaderInfo& info_O);
    virtual bool ReadLoaderByte(std::uint8_t& byte_O);
    virtual bool SetCpu(std::uint16_t cpu_I);
    virtual bool ReadCurrentCpu(std::uint16_t& cpu_O);
    virtual bool ReadCpuCount(std::uint16_t& count_O);

    virtual bool ProgramBoardSRec();
    virtual bool ProgramBoardIntelHex();
    virtual bool ProgramBoardAiroHaBinary();

    virtual bool SafeRead(std::vector<std::uint8_t>& buffer_IO);
    virtual bool SafeWrite(const std::vector<std::uint8_t>& buffer_I);

    virtual void LogCommand(const std::vector<std::uint8_t>& buffer_I);
    virtual std::uint32_t CalculateChecksum(const std::vector<std::uint8_t>& data_I) const;
    virtual bool IsChecksumBlock(std::uint32_t blockIndex_I) const;

    // Not virtual; null makes the interface silent.
    void SetNotifier(CInterfaceNotifier* notifier_I);

protected:
    void Message(const std::string& text_I) const;
    // A fixed text becomes a string only when it goes somewhere: the retry loops say theirs
    // once per attempt, and a silent interface (a probe, a fuzzed board) would build each for nothing.
    void Message(const char* text_I) const;
    void Error(const std::string& text_I) const;
    // Whether messages go anywhere: texts that cost work of their own (a checksum per block, a
    // line per block) are built only then.
    bool Logging() const { return messageSink != nullptr; }
    bool IsOpenLoader();
    // True when [address, address + length) lies inside one unprotected block of the last
    // description read: the only places a write report may go.
    bool IsWritableRange(std::uint32_t address_I, std::size_t length_I) const;
    // Whether a block takes part in the checksum sums.
    bool CountsInChecksumSums(std::uint32_t blockIndex_I) const;
    // Checks that must hold before anything on the board is touched.
    bool CheckBlocksBeforeProgramming();
    std::uint32_t ImageChecksumOfBlock(const FlashBlock& block_I) const;
    // False when the used range reaches beyond the 4096-byte buffer.
    bool Protocol1ChecksumOfBlock(const FlashBlock& block_I, std::uint32_t& checksum_O) const;
    // Report 0xE4: SafeWrite of the buffer, repeated 20 ms apart up to 10 more times.
    bool WriteImageCommand(const std::vector<std::uint8_t>& buffer_I);
    // Report 0xE4: up to 101 rounds of 100 ms then SafeRead into the buffer, until a read
    // succeeds with byte 3 (busy) = 0.
    bool WaitImageNotBusy(std::vector<std::uint8_t>& buffer_IO);

    std::string path;
    bool isOpen = false;
    bool firmwareLoader = false;
    bool checksumSupport = false;
    std::uint32_t vendorId = 0;
    std::uint32_t productId = 0;
    std::uint32_t usage = 0;
    std::uint32_t usagePage = 0;
    std::uint32_t version = 0;
    std::uint32_t checksumOld = 0;
    std::uint32_t checksumNew = 0;
    std::uint32_t checksumExpected = 0;
    int interfaceKind = eInterfaceKindNone;
    int dataSourceFormat = eFormatUnknown;
    LoaderParameters loaderParameters;
    LoaderDescription loaderDescription{};
    std::uint32_t totalSize = 0;
    std::vector<FlashBlock> mFlash;
    std::shared_ptr<CIntelHex> intelHexData;
    std::shared_ptr<CBinaryAiroFlash> airoFlashData;
    CInterfaceNotifier* messageSink = nullptr;

private:
    bool ReadAttempt(std::vector<std::uint8_t>& buffer_IO, const std::vector<std::uint8_t>& request_I);
    bool ReadReport(EBLReportId report_I, std::size_t length_I, std::vector<std::uint8_t>& answer_O);
    // Puts the report's id into byte 0 of body_IO, so a retry sends the same buffer again.
    bool WriteReport(EBLReportId report_I, std::vector<std::uint8_t>& body_IO);
    // A write report needs its size, that many bytes of data and a writable target.
    bool CheckChunk(std::uint16_t size_I, const std::vector<std::uint8_t>& data_I, std::uint32_t address_I,
                    const char* operation_I);

    std::vector<std::uint8_t> mReadRequest; // SafeRead's copy of the request, reused
    // The programming commands' reports (blocks, words, erases, checksums): one buffer kept by
    // the interface, zeros of the given length. Never held across another command.
    std::vector<std::uint8_t>& CommandReport(std::size_t length_I);
    std::vector<std::uint8_t> mWriteReport;
};
