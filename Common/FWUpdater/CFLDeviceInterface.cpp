#include "FWUpdater/CFLDeviceInterface.h"

#include "Clock.h"
#include "DebugOutput.h"
#include "FWUpdater/ByteOrder.h"
#include "FWUpdater/CInterfaceNotifier.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <sstream>

namespace {

// Process-wide, like the device traffic they guard: true while a wrapper runs its retry loop,
// so that a reopen (or a message sink) calling back into it gets one plain attempt instead of
// another hundred.
std::atomic<bool> gSafeReadActive{false};
std::atomic<bool> gSafeWriteActive{false};

constexpr int kSafeAttempts = 100;
constexpr std::uint32_t kSafeRetryBaseMs = 10;
constexpr std::uint32_t kReopenPauseMs = 1000;
constexpr int kReportAttempts = 5;
constexpr std::uint32_t kReportReopenPauseMs = 500;
// Reads of the loader's block table at most, until two in a row agree.
constexpr int kDescriptionReads = 4;

class CFlagGuard
{
public:
    explicit CFlagGuard(std::atomic<bool>& flag_I) : mFlag(flag_I) { mFlag.store(true); }
    ~CFlagGuard() { mFlag.store(false); }
    CFlagGuard(const CFlagGuard&) = delete;
    CFlagGuard& operator=(const CFlagGuard&) = delete;

private:
    std::atomic<bool>& mFlag;
};

std::string Hex(std::uint32_t value_I)
{
    char text[16];
    std::snprintf(text, sizeof text, "%x", value_I);
    return text;
}

} // namespace

CFLDeviceInterface::CFLDeviceInterface(const std::string& path_I, int interfaceKind_I)
    : path(path_I), interfaceKind(interfaceKind_I)
{
}

CFLDeviceInterface::~CFLDeviceInterface() = default;

void CFLDeviceInterface::SetNotifier(CInterfaceNotifier* notifier_I)
{
    messageSink = notifier_I;
}

void CFLDeviceInterface::Message(const std::string& text_I) const
{
    if (messageSink)
        messageSink->Log(text_I);
}

void CFLDeviceInterface::Message(const char* text_I) const
{
    if (messageSink)
        messageSink->Log(text_I);
}

void CFLDeviceInterface::Error(const std::string& text_I) const
{
    if (messageSink)
        messageSink->ReportError(text_I);
}

bool CFLDeviceInterface::IsOpenLoader()
{
    return IsOpen() && IsFirmwareLoader();
}

// ---- plain accessors -------------------------------------------------------------------------

void CFLDeviceInterface::SetChecksums(std::uint32_t old_I, std::uint32_t new_I, std::uint32_t expected_I)
{
    checksumOld = old_I;
    checksumNew = new_I;
    checksumExpected = expected_I;
}

bool CFLDeviceInterface::ReadLoaderInfoWord(std::uint16_t& word_O)
{
    LoaderInfo info{};
    if (!ReadLoaderInfo(info))
        return false;
    word_O = GetU16LE(info.data());
    return true;
}

void CFLDeviceInterface::SetPath(const std::string& path_I) { path = path_I; }
void CFLDeviceInterface::SetPathNumber(std::uint32_t number_I) { path = std::to_string(number_I); }
void CFLDeviceInterface::SetFirmwareLoader(bool loader_I) { firmwareLoader = loader_I; }
void CFLDeviceInterface::SetDataSourceFormat(int format_I) { dataSourceFormat = format_I; }
std::string CFLDeviceInterface::GetPath() const { return path; }
int CFLDeviceInterface::GetPathNumber() const { return std::stoi(path); }
bool CFLDeviceInterface::IsOpen() const { return isOpen; }
bool CFLDeviceInterface::IsFirmwareLoader() { return firmwareLoader; }
std::uint16_t CFLDeviceInterface::GetVendorId() const { return static_cast<std::uint16_t>(vendorId); }
std::uint16_t CFLDeviceInterface::GetProductId() const { return static_cast<std::uint16_t>(productId); }
std::uint16_t CFLDeviceInterface::GetUsage() const { return static_cast<std::uint16_t>(usage); }
std::uint16_t CFLDeviceInterface::GetUsagePage() const { return static_cast<std::uint16_t>(usagePage); }
std::uint16_t CFLDeviceInterface::GetVersion() const { return static_cast<std::uint16_t>(version); }
std::uint32_t CFLDeviceInterface::GetChecksumOld() const { return checksumOld; }
std::uint32_t CFLDeviceInterface::GetChecksumNew() const { return checksumNew; }
std::uint32_t CFLDeviceInterface::GetChecksumExpected() const { return checksumExpected; }
int CFLDeviceInterface::GetInterfaceKind() const { return interfaceKind; }
LoaderParameters CFLDeviceInterface::GetLoaderParameters() const { return loaderParameters; }
LoaderDescription CFLDeviceInterface::GetLoaderDescription() const { return loaderDescription; }

std::vector<FlashBlock> CFLDeviceInterface::GetFlashVector(std::uint32_t& totalSize_O) const
{
    totalSize_O = totalSize;
    return mFlash;
}

int CFLDeviceInterface::GetDataSourceCpu() const
{
    switch (dataSourceFormat) {
    case eFormatPen:
    case eFormatVel:
        return 0;
    case eFormatTouch:
    case eFormatIntelHex:
        return 1;
    case eFormatAiroFlash:
        return 2;
    default:
        return 99;
    }
}

int CFLDeviceInterface::GetDataSourceFormat() const { return dataSourceFormat; }
bool CFLDeviceInterface::HasChecksumSupport() const { return checksumSupport; }

void CFLDeviceInterface::SetProtocolType(int type_I)
{
    CFLProtocol::Instance()->SetProtocolType(type_I);
}

void CFLDeviceInterface::SetIntelHexData(std::shared_ptr<CIntelHex> data_I) { intelHexData = std::move(data_I); }
void CFLDeviceInterface::SetAiroFlashData(std::shared_ptr<CBinaryAiroFlash> data_I) { airoFlashData = std::move(data_I); }
std::shared_ptr<CIntelHex> CFLDeviceInterface::GetIntelHexData() const { return intelHexData; }
std::shared_ptr<CBinaryAiroFlash> CFLDeviceInterface::GetAiroFlashData() const { return airoFlashData; }

std::string CFLDeviceInterface::GetDeviceInfo() const
{
    const char* kind = "INVALID";
    if (interfaceKind == eInterfaceKindHID)
        kind = "HID";
    else if (interfaceKind == eInterfaceKindBULK)
        kind = "BULK";
    else if (interfaceKind == eInterfaceKindI2C)
        kind = "I2C";
    std::ostringstream out;
    // The stream stays in hexadecimal after the vendor id: every number below is hexadecimal.
    out << "\tVendor ID = 0x" << std::hex << vendorId << "\n"
        << "\tProduct ID = 0x" << productId << "\n"
        << "\tFirmware Loader = " << (firmwareLoader ? "YES" : "NO") << "\n"
        << "\tIs Open = " << (isOpen ? "YES" : "NO") << "\n"
        << "\tInterface = " << kind << "\n"
        << "\tPath = " << path << "\n"
        << "\tUsagePage (Actual) = " << usagePage << "\n"
        << "\tUsage (Actual) = " << usage << "\n"
        << "\tVersion = " << version << "\n";
    return out.str();
}

void CFLDeviceInterface::LogCommand(const std::vector<std::uint8_t>& buffer_I)
{
    std::string text = "cmd: ";
    char hex[4];
    for (std::uint8_t b : buffer_I) {
        std::snprintf(hex, sizeof hex, "%02X ", b);
        text += hex;
    }
    Message(text);
}

std::uint32_t CFLDeviceInterface::CalculateChecksum(const std::vector<std::uint8_t>& data_I) const
{
    std::uint32_t sum = 0;
    for (std::uint8_t b : data_I)
        sum += b;
    return sum;
}

bool CFLDeviceInterface::IsChecksumBlock(std::uint32_t blockIndex_I) const
{
    if (blockIndex_I < 39)
        return true;
    return dataSourceFormat != eFormatPen && dataSourceFormat != eFormatTouch;
}

// ---- setup of a programming run --------------------------------------------------------------

bool CFLDeviceInterface::InitializeProgrammingData(const std::vector<SRecBlock>& image_I)
{
    Message("Initializing data for Programming...");
    // A failed run must not leave the previous board's table or image behind to be programmed.
    loaderParameters = LoaderParameters();
    ClearLoaderEntries(loaderDescription);
    checksumSupport = false;
    mFlash.clear();
    totalSize = 0;
    if (!SetCurrentCpu()) {
        Error("Unable to set the current CPU");
        return false;
    }
    if (!LoadLoaderParameters()) {
        Error("Can't get Loader Parameters");
        return false;
    }
    if (Logging())
        Message("Device Loader Parameters loaded:\n\tBlocks: " + std::to_string(loaderParameters.blocks) +
                "\n\tRead Size: " + std::to_string(loaderParameters.readSize) +
                "\n\tBlock Size: " + std::to_string(loaderParameters.blockSize) +
                "\n\tWord Size: " + std::to_string(loaderParameters.wordSize) + "\n");
    if (!LoadLoaderDescription()) {
        Error("Can't get Loader Description");
        return false;
    }
    if (Logging()) {
        std::string description = "Device Loader Description loaded";
        for (std::uint32_t i = 0; i < loaderParameters.blocks; ++i) {
            const LoaderBlockEntry& e = loaderDescription[i];
            description += "\tBlock " + std::to_string(i) + "\t(" + Hex(e.address) + " - " +
                           Hex(e.address + e.size - 1) + ") size (" + Hex(e.size) + ")";
            if (e.flags & kLoaderBlockProtected)
                description += " [PROTECTED]";
        }
        Message(description);
    }
    ChecksumRecord record;
    checksumSupport = ReadChecksums(record);
    Message(checksumSupport ? "Checksum Support: Yes" : "Checksum Support: No");
    if (!InitializeFlashVector()) {
        Error("Unable to initialize Flash Vector");
        return false;
    }
    Message("Flash Vector Initialized");
    if (!FillFlashBlocks(image_I)) {
        Error("Failed to load SRec data to flash");
        return false;
    }
    Message("Update SRec file loaded");
    return true;
}

bool CFLDeviceInterface::ProgramBoard()
{
    switch (dataSourceFormat) {
    case eFormatPen:
    case eFormatTouch:
    case eFormatVel:
        return ProgramBoardSRec();
    case eFormatIntelHex:
        return ProgramBoardIntelHex();
    case eFormatAiroFlash:
        return ProgramBoardAiroHaBinary();
    default:
        ASSERT_FAILED_AT("Unsupported data source format", "CFLDeviceInterface", 198);
        return false;
    }
}

bool CFLDeviceInterface::SetCurrentCpu()
{
    if (!IsOpenLoader())
        return false;
    std::uint16_t currentCpu = 0;
    std::uint16_t count = 1;
    if (!ReadCurrentCpu(currentCpu) || !ReadCpuCount(count))
        return false;
    if (count == 1)
        return true;
    const int dataSourceCpu = GetDataSourceCpu();
    if (dataSourceCpu == 99 || dataSourceCpu == currentCpu) {
        Message("NOTE: Resetting currentCpu: [" + std::to_string(currentCpu) + "]");
    } else {
        Message("WARNING: Setting currentCpu: [" + std::to_string(currentCpu) + "] to dataSourceCpu: [" +
                std::to_string(dataSourceCpu) + "]");
        currentCpu = static_cast<std::uint16_t>(dataSourceCpu);
    }
    return SetCpu(currentCpu);
}

bool CFLDeviceInterface::LoadLoaderParameters()
{
    if (!IsOpenLoader())
        return false;
    LoaderParameters parameters;
    if (!ReadLoaderParameters(parameters))
        return false;
    if (parameters.blocks > kMaxLoaderBlocks) {
        // Nothing later may use a block count the tables cannot hold.
        loaderParameters = LoaderParameters();
        Error("LoadLoaderParameters: the loader reports " + std::to_string(parameters.blocks) +
              " blocks; at most " + std::to_string(kMaxLoaderBlocks) + " are supported");
        return false;
    }
    loaderParameters = parameters;
    return true;
}

bool CFLDeviceInterface::LoadLoaderDescription()
{
    if (!IsOpenLoader())
        return false;
    // The block table decides which blocks are erased, written and skipped as protected; one
    // bit garbled on the link (a size that swallows its neighbours, a protected flag) would
    // leave blocks of the old firmware beside the new one under checksums that the board
    // computes over whatever it holds. So it is believed only when two reads in a row agree.
    const std::size_t blocks = std::min<std::size_t>(loaderParameters.blocks, kMaxLoaderBlocks);
    auto same = [blocks](const LoaderDescription& a_I, const LoaderDescription& b_I) {
        for (std::size_t i = 0; i < blocks; ++i) {
            if (a_I[i].address != b_I[i].address || a_I[i].size != b_I[i].size || a_I[i].flags != b_I[i].flags)
                return false;
        }
        return true;
    };
    if (!ReadLoaderDescription(loaderDescription))
        return false;
    bool agreed = false;
    for (int read = 1; read < kDescriptionReads && !agreed; ++read) {
        LoaderDescription again;
        if (!ReadLoaderDescription(again))
            return false;
        agreed = same(again, loaderDescription);
        if (!agreed) {
            Message("LoadLoaderDescription: the block table read differently; reading it again");
            std::copy_n(again.begin(), blocks, loaderDescription.begin()); // the rest is empty in both
        }
    }
    if (!agreed) {
        ClearLoaderEntries(loaderDescription);
        Error("LoadLoaderDescription: the block table never read the same twice in a row");
        return false;
    }
    // Blocks that share addresses leave it open where an image byte belongs and whether it may
    // be written: image data inside a protected block that overlaps the writable ones would be
    // skipped as protected and the update reported done. No loader describes its flash so.
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < blocks; ++i) {
        if (loaderDescription[i].size != 0)
            order.push_back(i);
    }
    std::stable_sort(order.begin(), order.end(), [this](std::size_t a_I, std::size_t b_I) {
        return loaderDescription[a_I].address < loaderDescription[b_I].address;
    });
    std::uint64_t furthestEnd = 0;
    std::size_t furthest = 0;
    for (std::size_t k = 0; k < order.size(); ++k) {
        const LoaderBlockEntry& e = loaderDescription[order[k]];
        if (e.address < furthestEnd) {
            char text[128];
            std::snprintf(text, sizeof text, "LoadLoaderDescription: block %zu at [0x%08X] overlaps block %zu at [0x%08X]",
                          order[k], e.address, furthest, loaderDescription[furthest].address);
            Error(text);
            ClearLoaderEntries(loaderDescription);
            return false;
        }
        const std::uint64_t end = static_cast<std::uint64_t>(e.address) + e.size;
        if (end > furthestEnd) {
            furthestEnd = end;
            furthest = order[k];
        }
    }
    return true;
}

bool CFLDeviceInterface::IsWritableRange(std::uint32_t address_I, std::size_t length_I) const
{
    const std::uint64_t first = address_I;
    const std::uint64_t end = first + length_I;
    const std::size_t blocks = std::min<std::size_t>(loaderParameters.blocks, kMaxLoaderBlocks);
    for (std::size_t i = 0; i < blocks; ++i) {
        const LoaderBlockEntry& e = loaderDescription[i];
        if (first >= e.address && end <= static_cast<std::uint64_t>(e.address) + e.size)
            return (e.flags & kLoaderBlockProtected) == 0;
    }
    return false;
}

// ---- loader reports ----------------------------------------------------------------------------

bool CFLDeviceInterface::ReadReport(EBLReportId report_I, std::size_t length_I, std::vector<std::uint8_t>& answer_O)
{
    answer_O.assign(length_I, 0);
    answer_O[0] = BLReportId(report_I);
    return SafeRead(answer_O);
}

bool CFLDeviceInterface::WriteReport(EBLReportId report_I, std::vector<std::uint8_t>& body_IO)
{
    body_IO[0] = BLReportId(report_I);
    return SafeWrite(body_IO);
}

bool CFLDeviceInterface::ReadData(std::vector<std::uint8_t>& out_IO, std::int32_t count_I)
{
    if (count_I <= 0 || loaderParameters.readSize == 0 || !IsOpenLoader())
        return false;
    const std::size_t readSize = loaderParameters.readSize;
    std::vector<std::uint8_t> buffer;
    for (std::int32_t chunk = 0; chunk < count_I; ++chunk) {
        bool read = false;
        for (int attempt = 1; attempt <= kReportAttempts && !read; ++attempt) {
            read = ReadReport(eBL_HID_REP_READ_ID, readSize + 5, buffer);
            if (!read && attempt >= 2) {
                Message("Attempting to Reopen connection...");
                Open();
                GetClock()->sleep(kReportReopenPauseMs);
            }
        }
        if (!read) {
            Error("Failed reading from device");
            return false;
        }
        out_IO.insert(out_IO.end(), buffer.begin() + 5, buffer.end());
    }
    return true;
}

bool CFLDeviceInterface::CheckChunk(std::uint16_t size_I, const std::vector<std::uint8_t>& data_I,
                                    std::uint32_t address_I, const char* operation_I)
{
    if (size_I == 0 || data_I.size() < size_I || !IsOpenLoader())
        return false;
    if (!IsWritableRange(address_I, size_I)) {
        Error(std::string(operation_I) + ": refusing to write 0x" + Hex(size_I) + " bytes at 0x" + Hex(address_I) +
              " outside the writable blocks");
        return false;
    }
    return true;
}

std::vector<std::uint8_t>& CFLDeviceInterface::CommandReport(std::size_t length_I)
{
    mWriteReport.assign(length_I, 0);
    return mWriteReport;
}

bool CFLDeviceInterface::WriteBlock(const std::vector<std::uint8_t>& data_I, std::uint32_t address_I)
{
    const std::uint16_t size = loaderParameters.blockSize;
    if (!CheckChunk(size, data_I, address_I, "WriteBlock"))
        return false;
    std::vector<std::uint8_t>& report = CommandReport(size + 5u);
    PutU32LE(report, 1, address_I);
    std::copy(data_I.begin(), data_I.begin() + size, report.begin() + 5);
    for (int attempt = 1; attempt <= kReportAttempts; ++attempt) {
        if (WriteReport(eBL_HID_REP_WRITE_BLOCK_ID, report))
            return true;
        Error("Write Failed... Retrying...");
        if (attempt >= 2) {
            Message("Attempting to Reopen connection...");
            Open();
            GetClock()->sleep(kReportReopenPauseMs);
        }
    }
    return false;
}

bool CFLDeviceInterface::WriteWord(const std::vector<std::uint8_t>& data_I, std::uint32_t address_I)
{
    const std::uint16_t size = loaderParameters.wordSize;
    if (!CheckChunk(size, data_I, address_I, "WriteWord"))
        return false;
    std::vector<std::uint8_t>& report = CommandReport(size + 5u);
    PutU32LE(report, 1, address_I);
    std::copy(data_I.begin(), data_I.begin() + size, report.begin() + 5);
    for (int attempt = 1; attempt <= kReportAttempts; ++attempt) {
        if (WriteReport(eBL_HID_REP_WRITE_WORD_ID, report))
            return true;
    }
    return false;
}

bool CFLDeviceInterface::EraseBlock(std::uint32_t blockIndex_I)
{
    if (!IsOpenLoader()) {
        Error("Failed erasing block from device");
        return false;
    }
    // An erase the loader would apply to its own code or to a block it never described could
    // leave the board without a loader: it is never sent.
    if (blockIndex_I >= loaderParameters.blocks || blockIndex_I >= kMaxLoaderBlocks) {
        Error("EraseBlock: block " + std::to_string(blockIndex_I) + " is not in the loader description");
        return false;
    }
    if (loaderDescription[blockIndex_I].flags & kLoaderBlockProtected) {
        Error("EraseBlock: refusing to erase protected block " + std::to_string(blockIndex_I));
        return false;
    }
    std::vector<std::uint8_t>& report = CommandReport(5);
    PutU32LE(report, 1, blockIndex_I);
    for (int attempt = 1; attempt <= kReportAttempts; ++attempt) {
        if (WriteReport(eBL_HID_REP_ERASE_BLOCK_ID, report))
            return true;
    }
    Error("Failed erasing block from device");
    return false;
}

bool CFLDeviceInterface::SendValue(std::uint32_t value_I)
{
    if (!IsOpenLoader())
        return false;
    std::vector<std::uint8_t>& report = CommandReport(5);
    PutU32LE(report, 1, value_I);
    return WriteReport(eBL_HID_REP_VALUE_ID, report);
}

bool CFLDeviceInterface::ReadStatus(std::uint32_t& status_O)
{
    if (!IsOpenLoader())
        return false;
    std::vector<std::uint8_t> answer;
    if (!ReadReport(eBL_HID_REP_STATUS_ID, 5, answer))
        return false;
    status_O = GetU32LE(&answer[1]);
    return true;
}

bool CFLDeviceInterface::ExitLoader()
{
    if (!IsOpenLoader())
        return false;
    std::vector<std::uint8_t> report(5, 0);
    return WriteReport(eBL_HID_REP_EXIT_LOADER_ID, report);
}

bool CFLDeviceInterface::ReadLoaderParameters(LoaderParameters& parameters_O)
{
    if (!IsOpenLoader())
        return false;
    std::vector<std::uint8_t> answer;
    if (!ReadReport(eBL_HID_REP_LOADER_PARAMETERS_ID, 13, answer))
        return false;
    parameters_O.reserved0 = GetU16LE(&answer[1]);
    parameters_O.readSize = GetU16LE(&answer[3]);
    parameters_O.wordSize = GetU16LE(&answer[5]);
    parameters_O.blockSize = GetU16LE(&answer[7]);
    parameters_O.blocks = GetU16LE(&answer[9]);
    parameters_O.reserved1 = GetU16LE(&answer[11]);
    return true;
}

bool CFLDeviceInterface::ReadLoaderDescription(LoaderDescription& description_O)
{
    const std::size_t blocks = loaderParameters.blocks;
    if (blocks == 0 || blocks > kMaxLoaderBlocks || !IsOpenLoader())
        return false;
    std::vector<std::uint8_t> answer;
    if (!ReadReport(eBL_HID_REP_LOADER_DESCRIPTION_ID, blocks * 10 + 1, answer))
        return false;
    // Entries past the blocks read stay empty; the table is filled in place (it is 12 KiB).
    ClearLoaderEntries(description_O, blocks);
    for (std::size_t i = 0; i < blocks; ++i) {
        const std::uint8_t* entry = &answer[1 + i * 10];
        description_O[i].address = GetU32LE(entry);
        description_O[i].size = GetU32LE(entry + 4);
        description_O[i].flags = GetU16LE(entry + 8);
    }
    return true;
}

bool CFLDeviceInterface::ReadChecksums(ChecksumRecord& record_O)
{
    const std::size_t blocks = loaderParameters.blocks;
    if (blocks > kMaxLoaderBlocks || !IsOpenLoader())
        return false;
    std::vector<std::uint8_t> answer;
    if (!ReadReport(eBL_HID_REP_CHECKSUMS_ID, blocks * 4 + 5, answer))
        return false;
    record_O.magicWord = GetU32LE(&answer[1]);
    record_O.checksums.fill(0);
    for (std::size_t i = 0; i < blocks; ++i)
        record_O.checksums[i] = GetU32LE(&answer[5 + i * 4]);
    return true;
}

bool CFLDeviceInterface::SetBlockChecksum(std::uint16_t blockIndex_I, std::uint32_t checksum_I)
{
    if (!IsOpenLoader())
        return false;
    if (!checksumSupport)
        return true;
    std::vector<std::uint8_t>& report = CommandReport(7);
    PutU16LE(report, 1, blockIndex_I);
    PutU32LE(report, 3, checksum_I);
    return WriteReport(eBL_HID_REP_SET_BLOCK_CHECKSUM_ID, report);
}

bool CFLDeviceInterface::CalcBlockChecksum(std::uint16_t blockIndex_I)
{
    if (!IsOpenLoader())
        return false;
    if (!checksumSupport)
        return true;
    std::vector<std::uint8_t>& report = CommandReport(3);
    PutU16LE(report, 1, blockIndex_I);
    return WriteReport(eBL_HID_REP_CALC_BLOCK_CHECKSUM_ID, report);
}

bool CFLDeviceInterface::SetMagicWord(std::uint32_t magic_I)
{
    if (!IsOpenLoader())
        return false;
    if (!checksumSupport)
        return true;
    std::vector<std::uint8_t>& report = CommandReport(5);
    PutU32LE(report, 1, magic_I);
    return WriteReport(eBL_HID_REP_SET_MAGIC_WORD_ID, report);
}

bool CFLDeviceInterface::WriteChecksumsToROM()
{
    if (!IsOpenLoader())
        return false;
    if (!checksumSupport)
        return true;
    std::vector<std::uint8_t>& report = CommandReport(5);
    return WriteReport(eBL_HID_REP_WRITE_CHECKSUMS_ID, report);
}

bool CFLDeviceInterface::ReadLoaderInfo(LoaderInfo& info_O)
{
    if (!IsOpenLoader())
        return false;
    std::vector<std::uint8_t> answer;
    if (!ReadReport(eBL_HID_REP_LOADER_INFO_ID, 35, answer))
        return false;
    std::copy(answer.begin() + 1, answer.end(), info_O.begin());
    return true;
}

bool CFLDeviceInterface::ReadLoaderByte(std::uint8_t& byte_O)
{
    if (!IsOpenLoader())
        return false;
    std::vector<std::uint8_t> answer;
    if (!ReadReport(eBL_HID_REP_LOADER_BYTE_ID, 2, answer))
        return false;
    byte_O = answer[1];
    return true;
}

bool CFLDeviceInterface::SetCpu(std::uint16_t cpu_I)
{
    if (!IsOpenLoader())
        return false;
    std::vector<std::uint8_t> report(3, 0);
    PutU16LE(report, 1, cpu_I);
    return WriteReport(eBL_HID_REP_SET_CPU_ID, report);
}

bool CFLDeviceInterface::ReadCurrentCpu(std::uint16_t& cpu_O)
{
    cpu_O = 0;
    if (!IsOpenLoader())
        return false;
    std::vector<std::uint8_t> answer;
    if (ReadReport(eBL_HID_REP_CURRENT_CPU_ID, 3, answer))
        cpu_O = GetU16LE(&answer[1]);
    return true;
}

bool CFLDeviceInterface::ReadCpuCount(std::uint16_t& count_O)
{
    count_O = 1;
    if (!IsOpenLoader())
        return false;
    std::vector<std::uint8_t> answer;
    if (ReadReport(eBL_HID_REP_CPU_COUNT_ID, 3, answer)) {
        const std::uint16_t count = GetU16LE(&answer[1]);
        count_O = count == 0 ? 1 : count;
    }
    return true;
}

// ---- retrying transfers ------------------------------------------------------------------------

bool CFLDeviceInterface::ReadAttempt(std::vector<std::uint8_t>& buffer_IO, const std::vector<std::uint8_t>& request_I)
{
    // An answer of another length than asked for is as good as none: nothing after this point
    // may index past what the device actually sent. So is an answer that names another report:
    // its bytes mean something else, and the whole-image buffer would carry its id into the
    // next command (a report 0xE4 command sent as 0xD3, the erase report, say).
    if (ReadFeature(buffer_IO) && buffer_IO.size() == request_I.size() && buffer_IO[0] == request_I[0])
        return true;
    buffer_IO = request_I; // the next attempt asks again with the id and zeros
    return false;
}

bool CFLDeviceInterface::SafeRead(std::vector<std::uint8_t>& buffer_IO)
{
    if (buffer_IO.empty())
        return false;
    // A stopped update sends nothing more and gives up at once: the board keeps what it has,
    // and its invalidated checksums make its loader refuse a partial image.
    if (StopRequestedOnThisThread())
        return false;
    if (gSafeReadActive.load()) {
        Message("Prevent SafeRead from recursing... returning immediately.");
        const std::vector<std::uint8_t> request = buffer_IO;
        return ReadAttempt(buffer_IO, request);
    }
    CFlagGuard guard(gSafeReadActive);
    // Kept between reads (an update reads thousands of reports); only this outer level uses it.
    std::vector<std::uint8_t>& request = mReadRequest;
    request.assign(buffer_IO.begin(), buffer_IO.end());
    for (std::uint32_t k = 0; k < kSafeAttempts; ++k) {
        if (k > 0 && StopRequestedOnThisThread())
            return false;
        if (ReadAttempt(buffer_IO, request))
            return true;
        Message("Read error: retrying...");
        GetClock()->sleep(kSafeRetryBaseMs + k);
    }
    Message("Attempting to reopen connection.");
    Open();
    GetClock()->sleep(kReopenPauseMs);
    const bool read = ReadAttempt(buffer_IO, request);
    if (!read)
        Message("Read failed.");
    return read;
}

bool CFLDeviceInterface::SafeWrite(const std::vector<std::uint8_t>& buffer_I)
{
    if (buffer_I.empty())
        return false;
    // A stopped update sends nothing more and gives up at once: the board keeps what it has,
    // and its invalidated checksums make its loader refuse a partial image.
    if (StopRequestedOnThisThread())
        return false;
    if (gSafeWriteActive.load()) {
        Message("Prevent SafeWrite from recursing... returning immediately.");
        return WriteFeature(buffer_I);
    }
    CFlagGuard guard(gSafeWriteActive);
    for (std::uint32_t k = 0; k < kSafeAttempts; ++k) {
        if (k > 0 && StopRequestedOnThisThread())
            return false;
        if (WriteFeature(buffer_I))
            return true;
        Message("Write error: retrying...");
        GetClock()->sleep(kSafeRetryBaseMs + k);
    }
    Message("Attempting to reopen connection.");
    Open();
    GetClock()->sleep(kReopenPauseMs);
    const bool written = WriteFeature(buffer_I);
    if (!written)
        Message("Write failed.");
    return written;
}
