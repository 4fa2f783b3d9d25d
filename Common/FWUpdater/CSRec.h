#pragma once
// The firmware data source: decides a firmware file's format by its extension, loads it with
// that format's reader and keeps the result until the next load: S-record blocks, an Intel HEX
// image or an Airoha flash image. No I/O besides reading the file; no notifier reports.

#include "FWUpdater/CBinaryAiroFlash.h"
#include "FWUpdater/CIntelHex.h"
#include "FWUpdater/DataSourceFormat.h"
#include "FWUpdater/FirmwareLoadError.h"
#include "FWUpdater/SRecBlock.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

class CSRec
{
public:
    CSRec();
    ~CSRec();
    CSRec(const CSRec&) = delete;
    CSRec& operator=(const CSRec&) = delete;

    // Stores the path, decides the format and loads the file; true when the format's reader
    // succeeds. An unknown format loads and clears nothing.
    bool Load(const std::string& path_I);
    // Sets the format from the file name's extension (after the last '.', lower-cased).
    void DetectFileType();
    // S-record load into the blocks; they are replaced, and left empty on any failure.
    bool LoadSRec(const std::string& path_I);
    bool LoadAiroHa(const std::string& path_I);

    std::string GetFileName() const { return mFileName; }
    DataSourceFormat GetFileType() const { return mFileType; }
    // An independent deep copy of the blocks.
    std::vector<SRecBlock> GetBlocks() const { return mBlocks; }
    // Read-only view of the blocks, for summaries that need no copy.
    const std::vector<SRecBlock>& Blocks() const { return mBlocks; }
    std::shared_ptr<CIntelHex> GetIntelHexData() const { return mIntelHex; }
    std::shared_ptr<CBinaryAiroFlash> GetAiroFlashData() const { return mAiroFlash; }

    // The controller's test before an update: some image holds data.
    bool HasLoadedData() const;
    // Why the last Load failed (the format's reader's reason); empty after a success.
    const FirmwareLoadError& GetLoadError() const { return mLoadError; }

    // The S-record reader on text already in memory: replaces blocks_O (left empty on failure).
    // The text ends at its first 0x1A byte, if any. error_O, when given, says why it failed.
    static bool ParseSRecText(const char* text_I, std::size_t size_I, std::vector<SRecBlock>& blocks_O,
                              FirmwareLoadError* error_O = nullptr);

    // The format an extension names, as DetectFileType decides it.
    static DataSourceFormat FormatFromFileName(const std::string& fileName_I);
    // The extensions and the format and board each selects, for help texts and errors:
    // ".pen and .vel (S-records, pen board), .touch (...), ...".
    static std::string AcceptedExtensionsText();
    // The board a format is for: "pen", "touch", "bluetooth"; empty for eFormatUnknown.
    static const char* BoardOfFormat(DataSourceFormat format_I);

private:
    std::vector<SRecBlock> mBlocks;
    std::string mFileName;
    DataSourceFormat mFileType = eFormatUnknown;
    std::shared_ptr<CIntelHex> mIntelHex;
    std::shared_ptr<CBinaryAiroFlash> mAiroFlash;
    FirmwareLoadError mLoadError;
};
