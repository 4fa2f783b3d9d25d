// S-record programming: the flash vector, checksums and the erase/write sequence.

#include "FWUpdater/ByteOrder.h"
#include "FWUpdater/CFLDeviceInterface.h"
#include "FWUpdater/CInterfaceNotifier.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

// Reads of the committed checksum table before a mismatch with the image is believed.
constexpr int kChecksumReadbacks = 3;

std::string Hex8(std::uint32_t value_I)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08X", value_I);
    return text;
}

std::string Hex(std::uint32_t value_I)
{
    char text[16];
    std::snprintf(text, sizeof text, "%x", value_I);
    return text;
}

// A little-endian word of the block; bytes past the data count as erased flash.
std::uint32_t WordAt(const std::vector<std::uint8_t>& data_I, std::uint64_t offset_I)
{
    std::uint32_t word = 0;
    for (std::uint64_t i = 0; i < 4; ++i) {
        const std::uint64_t at = offset_I + i;
        const std::uint32_t byte = at < data_I.size() ? data_I[static_cast<std::size_t>(at)] : 0xFF;
        word |= byte << (8 * i);
    }
    return word;
}

} // namespace

bool CFLDeviceInterface::CountsInChecksumSums(std::uint32_t blockIndex_I) const
{
    const FlashBlock& block = mFlash[blockIndex_I];
    return !block.data.empty() && !block.isProtected && IsChecksumBlock(blockIndex_I);
}

bool CFLDeviceInterface::InitializeFlashVector()
{
    const std::size_t blocks = loaderParameters.blocks;
    if (blocks == 0 || blocks > kMaxLoaderBlocks)
        return false;
    totalSize = 0;
    mFlash.clear();
    mFlash.reserve(blocks);
    for (std::size_t i = 0; i < blocks; ++i) {
        const LoaderBlockEntry& e = loaderDescription[i];
        FlashBlock block;
        block.address = e.address;
        block.size = e.size;
        block.readSize = loaderParameters.readSize;
        block.wordSize = e.flags & kLoaderBlockWordSizeMask;
        block.blockSize = loaderParameters.blockSize;
        block.isProtected = (e.flags & kLoaderBlockProtected) != 0;
        mFlash.push_back(std::move(block));
    }
    return true;
}

bool CFLDeviceInterface::FillFlashBlocks(const std::vector<SRecBlock>& image_I)
{
    Message("Filling in mFlash blocks from srec data...");
    for (const SRecBlock& segment : image_I) {
        const std::uint64_t length = segment.data.size();
        std::uint64_t consumed = 0;
        std::uint64_t cursor = segment.address;
        while (consumed < length) {
            FlashBlock* target = nullptr;
            std::size_t index = 0;
            for (; index < mFlash.size(); ++index) {
                FlashBlock& b = mFlash[index];
                if (b.address <= cursor && cursor < static_cast<std::uint64_t>(b.address) + b.size) {
                    target = &b;
                    break;
                }
            }
            if (!target)
                break;
            const std::uint64_t end =
                std::min(cursor + (length - consumed), static_cast<std::uint64_t>(target->address) + target->size);
            if (target->data.empty()) {
                if (target->size > kMaxFilledBlockSize) {
                    Error("Block " + std::to_string(index) + " at [0x" + Hex8(target->address) + "] is too large (0x" +
                          Hex(target->size) + " bytes) to hold image data");
                    return false;
                }
                target->data.assign(target->size, 0xFF);
            }
            std::copy(segment.data.begin() + static_cast<std::ptrdiff_t>(consumed),
                      segment.data.begin() + static_cast<std::ptrdiff_t>(consumed + (end - cursor)),
                      target->data.begin() + static_cast<std::ptrdiff_t>(cursor - target->address));
            consumed += end - cursor;
            cursor = end;
        }
        if (consumed < length) {
            Error("Address space from SREC file does not correspond to that of the connected CPU!");
            return false;
        }
    }

    for (std::size_t i = 0; i < mFlash.size(); ++i) {
        FlashBlock& b = mFlash[i];
        if (b.data.empty())
            continue;
        const std::uint32_t w = b.wordSize;
        // The description admits neither: the scans below would not end, or a word would reach
        // past the block.
        if (w == 0) {
            Error("Block " + std::to_string(i) + " at [0x" + Hex8(b.address) +
                  "] has word size 0 and cannot receive image data");
            return false;
        }
        if (b.size % w != 0) {
            Error("Block " + std::to_string(i) + " at [0x" + Hex8(b.address) + "]: size 0x" + Hex(b.size) +
                  " is not a multiple of its word size " + std::to_string(w));
            return false;
        }
        const auto used = [](std::uint8_t byte) { return byte != 0xFF; };
        const auto first = std::find_if(b.data.begin(), b.data.end(), used);
        if (first == b.data.end()) {
            b.dataStart = 0;
            b.dataLength = 0;
            continue;
        }
        const auto firstOffset = static_cast<std::uint32_t>(first - b.data.begin());
        b.dataStart = firstOffset / w * w;
        b.dataLength = w;
        const auto last = std::find_if(b.data.rbegin(), b.data.rend(), used);
        const auto lastOffset = static_cast<std::uint32_t>(b.data.rend() - last - 1);
        const std::uint32_t lastWord = lastOffset / w * w;
        if (lastWord > b.dataStart)
            b.dataLength = lastWord + w - b.dataStart;
        totalSize += b.dataLength;
    }

    if (Logging()) {
        for (const FlashBlock& b : mFlash)
            Message("Checksum Block [0x" + Hex8(b.address) + "] = 0x" + Hex8(CalculateChecksum(b.data)));
    }
    if (Logging())
        Message("Total size: " + std::to_string(totalSize));
    return true;
}

std::uint32_t CFLDeviceInterface::ImageChecksumOfBlock(const FlashBlock& block_I) const
{
    // Words outside the used range are erased flash, 0xFFFFFFFF each.
    std::uint32_t sum = 0;
    const std::uint64_t start = block_I.dataStart;
    const std::uint64_t end = start + block_I.dataLength;
    for (std::uint64_t o = 0; o < start; o += 4)
        sum -= 1;
    for (std::uint64_t o = start; o < end; o += 4)
        sum += WordAt(block_I.data, o);
    for (std::uint64_t o = end; o < block_I.size; o += 4)
        sum -= 1;
    return sum;
}

bool CFLDeviceInterface::Protocol1ChecksumOfBlock(const FlashBlock& block_I, std::uint32_t& checksum_O) const
{
    const std::uint64_t end = static_cast<std::uint64_t>(block_I.dataStart) + block_I.dataLength;
    if (end > kProtocol1ChecksumBufferSize || end > block_I.data.size())
        return false;
    std::array<std::uint8_t, kProtocol1ChecksumBufferSize> buffer; // on the stack: once per block
    buffer.fill(0xFF);
    std::copy(block_I.data.begin() + block_I.dataStart, block_I.data.begin() + static_cast<std::ptrdiff_t>(end),
              buffer.begin() + block_I.dataStart);
    std::uint32_t sum = 0;
    for (std::size_t o = 0; o < buffer.size(); o += 4)
        sum += GetU32LE(&buffer[o]);
    checksum_O = sum;
    return true;
}

bool CFLDeviceInterface::CheckBlocksBeforeProgramming()
{
    for (std::uint32_t i = 0; i < mFlash.size(); ++i) {
        const FlashBlock& b = mFlash[i];
        if (b.data.empty() || b.isProtected || b.dataLength == 0)
            continue;
        if (b.blockSize == 0) {
            // Every chunk would be a write-block report of no bytes.
            Error("Block " + std::to_string(i) + " cannot be written: the loader reports block size 0");
            return false;
        }
        const std::uint32_t tail = b.dataLength % b.blockSize;
        if (tail != 0 && b.wordSize != loaderParameters.wordSize) {
            Error("Block " + std::to_string(i) + " at [0x" + Hex8(b.address) + "]: word size " +
                  std::to_string(b.wordSize) + " differs from the loader's word size " +
                  std::to_string(loaderParameters.wordSize));
            return false;
        }
        if (CFLProtocol::Instance()->GetProtocolType() == 1 &&
            static_cast<std::uint64_t>(b.dataStart) + b.dataLength > kProtocol1ChecksumBufferSize) {
            Error("Block " + std::to_string(i) + " at [0x" + Hex8(b.address) + "] uses bytes up to offset 0x" +
                  Hex(b.dataStart + b.dataLength) + ", beyond the 4096 bytes a protocol type 1 loader checks");
            return false;
        }
    }
    return true;
}

bool CFLDeviceInterface::ProgramBoardSRec()
{
    Message("Starting ProgramBoardSRec...");
    if (dataSourceFormat != eFormatPen && dataSourceFormat != eFormatTouch && dataSourceFormat != eFormatVel) {
        Error("ProgramBoardSRec:  Datasource not correct");
        return false;
    }
    // Refuse what cannot be programmed before the board's checksums are touched.
    if (!CheckBlocksBeforeProgramming()) {
        Error("ProgramBoardSRec: Flash data does not fit this loader");
        return false;
    }
    if (!CalculateChecksums()) {
        Error("ProgramBoardSRec: Failed to calculate checksums");
        return false;
    }
    Message("Checksums calculated");
    if (!InitializeFlash()) {
        Error("ProgramBoardSRec: Failed to initialize to flash data");
        return false;
    }
    Message("Wrote checksums and magic word to flash");
    if (!WriteFlash()) {
        Error("ProgramBoardSRec: Failed to write flash data to device");
        return false;
    }
    Message("Flash Write Complete");
    if (!FinalizeFlash()) {
        Error("ProgramBoardSRec: Failed to finalize flash data");
        return false;
    }
    Message("ProgramBoardSRec: Flash Finalized");
    Message("ProgramBoardSRec done!");
    return true;
}

bool CFLDeviceInterface::CalculateChecksums()
{
    Message("Starting CalculateChecksums...");
    ChecksumRecord record;
    ReadChecksums(record); // without checksum support the record stays zero
    checksumOld = 0;
    checksumExpected = 0;
    const std::size_t listed = std::min<std::size_t>(mFlash.size(), kMaxLoaderBlocks);
    if (Logging()) {
        std::string text = "Checksum Magic Word:" + Hex(record.magicWord) + "\n";
        for (std::size_t i = 0; i < listed; ++i)
            text += "Checksum Block [" + std::to_string(i) + "] = " + Hex(record.checksums[i]) + "\n";
        Message(text);
    }
    for (std::uint32_t i = 0; i < listed; ++i) {
        if (!CountsInChecksumSums(i))
            continue;
        if (checksumSupport)
            checksumOld += record.checksums[i];
        checksumExpected += ImageChecksumOfBlock(mFlash[i]);
    }
    return true;
}

bool CFLDeviceInterface::InitializeFlash()
{
    Message("Starting InitializeFlash...");
    Message("Setting magic word to zero...");
    if (!SetMagicWord(0)) {
        Error("Failed to set magic word");
        return false;
    }
    if (Logging())
        Message("Invalidating " + std::to_string(mFlash.size()) + " blocks' checksum ...");
    for (std::size_t i = 0; i < mFlash.size(); ++i) {
        if (!SetBlockChecksum(static_cast<std::uint16_t>(i), 0)) {
            Error("Failed setting a block checksum");
            return false;
        }
    }
    Message("Writing invalidated checksums to ROM... ");
    if (!WriteChecksumsToROM()) {
        Error("Failed writing checksums to ROM");
        return false;
    }
    return true;
}

bool CFLDeviceInterface::WriteFlash()
{
    Message("Starting WriteFlash...");
    const std::size_t count = mFlash.size();
    for (std::uint32_t i = 0; i < count; ++i) {
        const FlashBlock& b = mFlash[i];
        if (Logging())
            Message("Block " + std::to_string(i) + " at [0x" + Hex8(b.address) + "] :");
        if (b.data.empty()) {
            Message("Empty Block Skipped");
        } else if (b.isProtected) {
            Message("Protected Block Skipped");
        } else {
            bool written = false;
            for (int call = 0; call < 11 && !written; ++call)
                written = WriteFlashBlock(i);
            if (!written)
                return false;
        }
        if (messageSink)
            messageSink->ReportProgress(static_cast<std::int32_t>(100.0 * i / static_cast<double>(count)));
    }
    return true;
}

bool CFLDeviceInterface::WriteFlashBlock(std::uint32_t blockIndex_I)
{
    if (blockIndex_I >= mFlash.size()) {
        Error("WriteFlashBlock: block " + std::to_string(blockIndex_I) + " does not exist");
        return false;
    }
    const FlashBlock& b = mFlash[blockIndex_I];
    if (b.isProtected) {
        Error("WriteFlashBlock: refusing to program protected block " + std::to_string(blockIndex_I));
        return false;
    }
    const bool protocol1 = CFLProtocol::Instance()->GetProtocolType() == 1;
    std::uint32_t expected = 0;
    if (protocol1 && !Protocol1ChecksumOfBlock(b, expected)) {
        // Checked before the erase, so the block keeps its old contents.
        Error("WriteFlashBlock: block " + std::to_string(blockIndex_I) +
              " uses bytes beyond the 4096 bytes a protocol type 1 loader checks");
        return false;
    }
    Message("Erasing block.");
    if (!EraseBlock(blockIndex_I)) {
        Error("Failed to erase block from device");
        return false;
    }
    std::uint32_t remaining = b.dataLength;
    std::uint32_t offset = b.dataStart;
    std::vector<std::uint8_t> chunk;
    while (remaining > 0) {
        const bool whole = remaining >= b.blockSize;
        if (!whole) {
            if (b.wordSize == 0 || remaining % b.wordSize != 0) {
                Error("Data left to write in block is not divisible by word size");
                return false;
            }
            if (b.wordSize != loaderParameters.wordSize) {
                // A word report carries the loader's word size; a different block word size
                // would skip or overrun bytes.
                Error("WriteFlashBlock: block word size " + std::to_string(b.wordSize) +
                      " differs from the loader's word size " + std::to_string(loaderParameters.wordSize));
                return false;
            }
        }
        const std::uint32_t length = whole ? b.blockSize : b.wordSize;
        if (length == 0 || static_cast<std::uint64_t>(offset) + length > b.data.size()) {
            Error("Failed writing block to device");
            return false;
        }
        chunk.assign(b.data.begin() + offset, b.data.begin() + offset + length);
        if (Logging())
            Message("Block at [0x" + Hex8(b.address + offset) + "]; checksum: [0x" + Hex8(CalculateChecksum(chunk)) +
                    "]");
        if (whole) {
            if (!WriteBlock(chunk, b.address + offset)) {
                Error("Failed writing block to device");
                return false;
            }
        } else if (!WriteWord(chunk, b.address + offset)) {
            Error("Failed writing word to device");
            return false;
        }
        offset += length;
        remaining -= length;
    }
    if (Logging())
        Message("Block " + std::to_string(blockIndex_I) + " programmed.");
    if (protocol1) {
        ChecksumRecord record;
        const auto index = static_cast<std::uint16_t>(blockIndex_I);
        if (!CalcBlockChecksum(index) || !ReadChecksums(record) || record.checksums[index] != expected ||
            !SetBlockChecksum(index, expected))
            return false;
    }
    return true;
}

bool CFLDeviceInterface::FinalizeFlash()
{
    Message("Starting FinalizeFlash...");
    checksumNew = 0;
    if (!checksumSupport)
        return true;
    for (std::size_t i = 0; i < mFlash.size(); ++i) {
        if (!CalcBlockChecksum(static_cast<std::uint16_t>(i))) {
            Error("Failed calculating block checksum");
            return false;
        }
    }
    if (!WriteChecksumsToROM()) {
        Error("Failed writing checksum to ROM");
        return false;
    }
    // A table that does not add up to the image's is read again before it is believed: an
    // answer garbled on the way (a flipped bit, another report's answer) must not turn a board
    // that holds the image into a failed update. A real mismatch reads the same every time.
    const std::size_t counted = std::min<std::size_t>(mFlash.size(), kMaxLoaderBlocks);
    for (int read = 0; read < kChecksumReadbacks; ++read) {
        if (read > 0)
            Message("FinalizeFlash: the checksums read back do not add up to the image's; reading them again");
        ChecksumRecord record;
        if (!ReadChecksums(record)) {
            Error("Failed refreshing checksum info");
            return false;
        }
        checksumNew = 0;
        for (std::uint32_t i = 0; i < counted; ++i) {
            if (CountsInChecksumSums(i))
                checksumNew += record.checksums[i];
        }
        if (checksumNew == checksumExpected)
            break;
    }
    return true;
}

bool CFLDeviceInterface::VerifyFlash()
{
    Message("Starting VerifyFlash...");
    const std::uint32_t readSize = loaderParameters.readSize;
    if (readSize == 0) {
        Error("VerifyFlash: the loader reports read size 0");
        return false;
    }
    std::vector<std::uint8_t> read;
    for (std::uint32_t i = 0; i < mFlash.size(); ++i) {
        const FlashBlock& b = mFlash[i];
        // Exactly the blocks WriteFlash erased and wrote; the whole block is compared, so a
        // write that landed in the wrong place shows as well as one that went missing.
        if (b.data.empty() || b.isProtected)
            continue;
        const std::uint64_t reports = (static_cast<std::uint64_t>(b.size) + readSize - 1) / readSize;
        read.clear();
        if (!SendValue(b.address) || !ReadData(read, static_cast<std::int32_t>(reports)) || read.size() < b.size) {
            Error("VerifyFlash: could not read block " + std::to_string(i) + " at [0x" + Hex8(b.address) + "] back");
            return false;
        }
        const auto difference = std::mismatch(b.data.begin(), b.data.end(), read.begin());
        if (difference.first == b.data.end()) {
            if (Logging())
                Message("Block " + std::to_string(i) + " verified.");
            continue;
        }
        const auto offset = static_cast<std::uint32_t>(difference.first - b.data.begin());
        char text[128];
        std::snprintf(text, sizeof text, "VerifyFlash: block %u differs at [0x%08X]: read 0x%02X, expected 0x%02X", i,
                      b.address + offset, *difference.second, *difference.first);
        Error(text);
        // The board computed its checksums over what it holds: with them valid it would start
        // an application that is not the image. Invalidate them so that it stays in its loader.
        if (!InitializeFlash())
            Error("VerifyFlash: could not invalidate the board's checksums");
        return false;
    }
    Message("VerifyFlash done!");
    return true;
}
