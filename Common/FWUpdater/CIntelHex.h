#pragma once
// An Intel HEX touch-board image: one flat image, pre-filled with 0xFF, starting at 0x8000,
// whose length is rounded up to a multiple of 512 bytes. Strict about the text's shape (every
// line ends in CR LF directly after its record) and about placement (the first data byte lies
// at 0x8000); tolerant of anything between records.

#include <cstddef>
#include <cstdint>
#include "FWUpdater/FirmwareLoadError.h"
#include <string>
#include <vector>

class CIntelHex
{
public:
    static constexpr std::uint32_t kImageSize = 0x30000;    // bytes behind GetImage()
    static constexpr std::uint32_t kBaseAddress = 0x8000;   // where the first data byte must lie
    static constexpr std::uint32_t kMaxDataLength = 0x2C000; // data must end below 0x34000

    CIntelHex();
    virtual ~CIntelHex();

    // Replaces the image with the file's contents; true when every rule held. A failed load
    // leaves start, length and image as they were.
    bool Load(const std::string& path_I);
    // The same reader on text already in memory (used by Load, the fuzzer and the tests).
    bool LoadFromText(const char* text_I, std::size_t size_I);

    // 0x8000 after a successful load; -1 while the image holds no data.
    std::int32_t GetStartAddress() const { return mStartAddress; }
    // Bytes to program: a multiple of 512, at most 0x2C000.
    std::uint32_t GetDataLength() const { return mDataLength; }
    // kImageSize bytes; byte i belongs to address GetStartAddress() + i.
    const std::uint8_t* GetImage() const { return mImage.data(); }
    const std::string& GetFileName() const { return mFileName; }
    // Why the last load failed, with the line; empty after a success.
    const FirmwareLoadError& GetLoadError() const { return mLoadError; }

private:
    bool Fail(const char* text_I, std::size_t offset_I, std::string reason_I);

    std::string mFileName;
    FirmwareLoadError mLoadError;
    std::int32_t mStartAddress = -1;
    std::uint32_t mDataLength = 0;
    std::vector<std::uint8_t> mImage;
};
