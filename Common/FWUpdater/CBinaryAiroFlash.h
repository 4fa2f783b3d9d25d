#pragma once
// An Airoha flash binary for the bluetooth board: a raw image of the chip's flash, byte n of
// the file at flash address n. No header, no records, no checksum of its own.

#include "FWUpdater/FirmwareLoadError.h"

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

class CBinaryAiroFlash
{
public:
    CBinaryAiroFlash() = default;
    virtual ~CBinaryAiroFlash();

    // Reads the whole file. The new bytes are gathered apart and take the place of the old
    // image only when the load succeeds: a failed load (missing, empty, unreadable, too large
    // or shorter than its size) leaves start address, size and bytes exactly as they were.
    bool Load(const std::string& path_I);
    // The same on a stream opened in binary mode; its size is found by seeking.
    bool LoadFromStream(std::istream& in_IO);

    // 0 after a successful load; -1 while the image holds no data.
    std::int32_t GetStartAddress() const { return mStartAddress; }
    std::uint32_t GetSize() const { return mSize; }
    // GetSize() bytes; null while the image holds no data.
    const std::uint8_t* GetBuffer() const { return mBuffer.empty() ? nullptr : mBuffer.data(); }
    const std::string& GetFileName() const { return mFileName; }
    // Why the last load failed; empty after a success.
    const FirmwareLoadError& GetLoadError() const { return mLoadError; }

private:
    FirmwareLoadError mLoadError;
    std::int32_t mStartAddress = -1;
    std::uint32_t mSize = 0;
    std::string mFileName;
    std::vector<std::uint8_t> mBuffer;
};
