// Whole-image programming through report 0xE4: Intel HEX images for touch boards and Airoha
// flash binaries for the bluetooth board. Start, data packets and end are each written (with
// retries) and then acknowledged by polling the loader until it is no longer busy.

#include "FWUpdater/CFLDeviceInterface.h"

#include "Clock.h"
#include "FWUpdater/ByteOrder.h"
#include "FWUpdater/CBinaryAiroFlash.h"
#include "FWUpdater/CIntelHex.h"
#include "FWUpdater/CInterfaceNotifier.h"
#include "FWUpdater/Crc8Airoha.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

constexpr std::size_t kTargetByte = 1;
constexpr std::size_t kSubCommandByte = 2;
constexpr std::size_t kBusyByte = 3;
constexpr std::uint8_t kTargetAiroha = 0x01;
constexpr std::uint8_t kStartProgramming = 1;
constexpr std::uint8_t kProgramData = 2;
constexpr std::uint8_t kEndProgramming = 3;

// Airoha data packet: a 267-byte vendor command in bytes 3-269.
constexpr std::size_t kAirohaCommandFirst = 3;
constexpr std::size_t kAirohaCommandEnd = 270;
constexpr std::uint8_t kAirohaPreamble[7] = {0x02, 0x00, 0x0F, 0x06, 0x01, 0x08, 0x01};
constexpr std::size_t kAirohaAddressByte = 10;
constexpr std::size_t kAirohaCheckByte = 13;
constexpr std::size_t kAirohaDataByte = 14;

std::string Hex8(std::uint32_t value_I)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08X", value_I);
    return text;
}

int Percent(std::uint64_t done_I, std::uint32_t total_I)
{
    return static_cast<int>(static_cast<double>(done_I) * 100.0 / static_cast<double>(total_I));
}

} // namespace

bool CFLDeviceInterface::WriteImageCommand(const std::vector<std::uint8_t>& buffer_I)
{
    if (SafeWrite(buffer_I))
        return true;
    // A stopped update's writes all fail at once: no retries to run through.
    for (int retry = 0; retry < kImageCommandRetries && !StopRequestedOnThisThread(); ++retry) {
        GetClock()->sleep(kImageCommandRetryMs);
        if (SafeWrite(buffer_I))
            return true;
    }
    return false;
}

bool CFLDeviceInterface::WaitImageNotBusy(std::vector<std::uint8_t>& buffer_IO)
{
    // A stopped update's reads all fail at once: no polls to run through.
    for (int poll = 0; poll < kImageBusyPolls && !StopRequestedOnThisThread(); ++poll) {
        GetClock()->sleep(kImageBusyPollMs);
        if (SafeRead(buffer_IO) && buffer_IO[kBusyByte] == 0)
            return true;
    }
    // Only an answer of the loader counts as "not busy": a byte 3 of 0 left over from the
    // command itself (all reads failed) says nothing about the board.
    return false;
}

bool CFLDeviceInterface::ProgramBoardIntelHex()
{
    Message("Starting ProgramBoardIntelHex...");
    if (dataSourceFormat != eFormatIntelHex) {
        Error("ProgramBoardIntelHex: Datasource not correct");
        return false;
    }
    const std::shared_ptr<CIntelHex> image = intelHexData;
    if (!image || image->GetStartAddress() == -1) {
        Error("ProgramBoardIntelHex: No IntelHexData");
        return false;
    }
    const std::uint32_t start = static_cast<std::uint32_t>(image->GetStartAddress());
    const std::uint32_t length = image->GetDataLength();
    const std::uint8_t* bytes = image->GetImage();

    std::vector<std::uint8_t> buffer(kImageReportLength, 0);
    std::uint32_t sequence = 0;
    buffer[0] = BLReportId(eBL_HID_REP_INTELHEX_PROGRAMMING_ID);
    buffer[kSubCommandByte] = kStartProgramming;
    Message("ProgramBoardIntelHex: sending command to start programming...");
    if (!WriteImageCommand(buffer)) {
        Error("ProgramBoardIntelHex: Programming error happens - device not responding");
        return false;
    }
    Message("ProgramBoardIntelHex: waiting for device not busy (up to 10 seconds)...");
    if (!WaitImageNotBusy(buffer)) {
        Error("ProgramBoardIntelHex: Cannot Start Programming - device is busy.");
        return false;
    }

    Message("ProgramBoardIntelHex: sending program data...");
    std::uint32_t programmed = 0;
    // The image holds CIntelHex::kImageSize bytes, so every packet below the bound is inside it.
    for (std::uint32_t offset = 0; offset < length && offset < kIntelHexMaxOffset; offset += kIntelHexPacketBytes) {
        // Bytes 0, 1 and 138-511 keep what the last status read left.
        buffer[kSubCommandByte] = kProgramData;
        buffer[3] = 0x01;
        ++sequence;
        buffer[4] = static_cast<std::uint8_t>(sequence & 0xFF);
        PutU32LE(buffer, 5, start + offset);
        buffer[9] = 0x10;
        std::copy_n(bytes + offset, kIntelHexPacketBytes, buffer.begin() + 10);
        Message("ProgramBoardIntelHex: sending program data at offset:" + std::to_string(offset) + "\n");
        if (!WriteImageCommand(buffer)) {
            Error("ProgramBoardIntelHex: Programming error happens - device not responding");
            return false;
        }
        if (!WaitImageNotBusy(buffer)) {
            Error("ProgramBoardIntelHex: Programming error happens - device is busy");
            return false;
        }
        Message("ProgramBoardIntelHex: bytes offset:" + std::to_string(offset) + "\n");
        programmed += kIntelHexPacketBytes;
        GetClock()->sleep(1);
        if (messageSink)
            messageSink->ReportProgress(Percent(programmed, length));
    }
    Message("ProgramBoardIntelHex:  #bytes programmed:" + std::to_string(programmed) + "\n");

    std::fill(buffer.begin(), buffer.end(), 0);
    buffer[0] = BLReportId(eBL_HID_REP_INTELHEX_PROGRAMMING_ID);
    buffer[kSubCommandByte] = kEndProgramming;
    Message("ProgramBoardIntelHex: - sending command to end programming...");
    if (!SafeWrite(buffer)) {
        Message("ProgramBoardIntelHex: - there was an error trying to end programming");
        return false;
    }
    if (!WaitImageNotBusy(buffer)) {
        Message("ProgramBoardIntelHex: - there was an error after programming");
        return false;
    }
    Message("ProgramBoardIntelHex done!");
    return true;
}

bool CFLDeviceInterface::ProgramBoardAiroHaBinary()
{
    Message("Starting ProgramBoardAiroHaBinary...");
    std::vector<std::uint8_t> buffer(kImageReportLength, 0);
    if (dataSourceFormat != eFormatAiroFlash) {
        Error("ProgramBoardAiroHaBinary: Datasource not correct");
        return false;
    }
    const std::shared_ptr<CBinaryAiroFlash> image = airoFlashData;
    if (!image || image->GetStartAddress() == -1 || (image->GetSize() > 0 && image->GetBuffer() == nullptr)) {
        Error("ProgramBoardAiroHaBinary: No AiroFlashData");
        return false;
    }
    const std::uint32_t start = static_cast<std::uint32_t>(image->GetStartAddress());
    const std::uint32_t size = image->GetSize();
    const std::uint8_t* bytes = image->GetBuffer();
    // Past 16 MiB the 24-bit packet address would wrap and overwrite the start of the flash,
    // the board's reserved range included: such an image is refused before anything is sent.
    if (static_cast<std::uint64_t>(start) + size > kAirohaAddressSpace) {
        Error("ProgramBoardAiroHaBinary: image does not fit the 24-bit flash address range");
        return false;
    }

    buffer[0] = BLReportId(eBL_HID_REP_INTELHEX_PROGRAMMING_ID);
    buffer[kTargetByte] = kTargetAiroha;
    buffer[kSubCommandByte] = kStartProgramming;
    Message("ProgramBoardAiroHaBinary: sending command to start programming...");
    if (!WriteImageCommand(buffer)) {
        Error("ProgramBoardAiroHaBinary: Programming error happens - device not responding");
        return false;
    }
    Message("ProgramBoardAiroHaBinary: waiting for device not busy (up to 10 seconds)...");
    if (!WaitImageNotBusy(buffer)) {
        Error("ProgramBoardAiroHaBinary: Cannot Start Programming - device is busy.");
        return false;
    }

    Message("ProgramBoardIntelHex: sending program data...");
    std::uint64_t total = 0;
    for (std::uint32_t offset = 0; offset < size; offset += kAirohaPacketBytes) {
        const std::uint32_t address = start + offset;
        if (address >= kAirohaSkipFirst && address < kAirohaSkipEnd)
            continue;
        const std::uint32_t length = std::min(size - offset, kAirohaPacketBytes);

        // Byte 270 carries what byte 267 held before the build: the wire form the boards have
        // always received, kept byte for byte.
        const std::uint8_t carried = buffer[267];
        std::fill(buffer.begin() + kAirohaCommandFirst, buffer.begin() + kAirohaCommandEnd, 0xFF);
        std::copy(std::begin(kAirohaPreamble), std::end(kAirohaPreamble), buffer.begin() + kAirohaCommandFirst);
        buffer[kAirohaAddressByte] = static_cast<std::uint8_t>(address >> 16);
        buffer[kAirohaAddressByte + 1] = static_cast<std::uint8_t>(address >> 8);
        buffer[kAirohaAddressByte + 2] = static_cast<std::uint8_t>(address);
        buffer[kAirohaCommandEnd] = carried;
        Message("ProgramBoardIntelHex: calculating crc at address: 0x" + Hex8(address) +
                " bytes programmed:" + std::to_string(length) + "\n");
        std::uint8_t crc = 0;
        for (std::uint32_t i = 0; i < length; ++i) {
            crc = Crc8AirohaUpdate(crc, bytes[offset + i]);
            buffer[kAirohaDataByte + i] = bytes[offset + i];
        }
        for (std::size_t i = kAirohaDataByte + length; i < kAirohaCommandEnd; ++i)
            crc = Crc8AirohaUpdate(crc, buffer[i]);
        buffer[kAirohaCheckByte] = crc;
        buffer[0] = BLReportId(eBL_HID_REP_INTELHEX_PROGRAMMING_ID);
        buffer[kTargetByte] = kTargetAiroha;
        buffer[kSubCommandByte] = kProgramData;
        Message("ProgramBoardIntelHex: sending program data...");
        if (!WriteImageCommand(buffer)) {
            Error("ProgramBoardAiroHaBinary: Programming error happens - device not responding");
            return false;
        }
        if (!WaitImageNotBusy(buffer)) {
            Error("ProgramBoardAiroHaBinary: Programming error happens");
            return false;
        }
        Message("ProgramBoardAiroHaBinary: start address: 0x" + Hex8(address) + " bytes programmed:" +
                std::to_string(length) + "\n");
        total += length;
        if (messageSink)
            messageSink->ReportProgress(Percent(total, size));
    }

    // Only the sub-command changes: the rest is what the last status read left.
    buffer[kSubCommandByte] = kEndProgramming;
    Message("ProgramBoardAiroHaBinary: - sending command to end programming...");
    if (!SafeWrite(buffer)) {
        Message("ProgramBoardAiroHaBinary: - there was an error trying to end programming");
        return false;
    }
    if (!WaitImageNotBusy(buffer)) {
        Message("ProgramBoardAiroHaBinary: - there was an error after programming");
        return false;
    }
    Message("ProgramBoardAiroHaBinary done!");
    return true;
}
