#pragma once
// A whole-image loader board (report 0xE4) in protocol type 1 under the flash tests' fixture,
// holding an image written to a small file and loaded with the production readers.

#include "../flash/FlashFixture.h"
#include "../images/RecordText.h"

#include "CSimImageLoader.h"
#include "FWUpdater/CBinaryAiroFlash.h"
#include "FWUpdater/CIntelHex.h"
#include "TestSupport.h"

// Intel HEX text of data placed at base: 16-byte data records, an 04 record whenever the upper
// address half changes, CR LF line ends, an end record.
inline std::string IntelHexText(const Bytes& data_I, std::uint32_t base_I)
{
    std::string text;
    for (std::size_t offset = 0; offset < data_I.size(); offset += 16) {
        const auto address = static_cast<std::uint32_t>(base_I + offset);
        if (offset == 0 || address % 0x10000 == 0)
            text += HexRecord(4, 0, {std::uint8_t(address >> 24), std::uint8_t(address >> 16)}) + "\r\n";
        const auto from = data_I.begin() + static_cast<std::ptrdiff_t>(offset);
        const Bytes bytes(from, from + std::min<std::ptrdiff_t>(16, data_I.end() - from));
        text += HexRecord(0, static_cast<std::uint16_t>(address), bytes) + "\r\n";
    }
    return text + HexRecord(1, 0, {}) + "\r\n";
}

class ImageFixture : public BoardFixture<>
{
protected:
    // A fresh host with a loader board of this kind holding image_I ready to be programmed.
    void MakeBoard(ESimImageKind kind_I, const Bytes& image_I, SimImageLoaderConfig config_I = SimImageLoaderConfig())
    {
        CFLProtocol::Instance()->SetProtocolType(1);
        config_I.kind = kind_I;
        config_I.flashSize = std::max<std::uint32_t>(0x20000, static_cast<std::uint32_t>(image_I.size() + 0x100));
        loader = std::make_shared<CSimImageLoader>(config_I);
        Attach(loader, true);
        const bool hexImage = kind_I == ESimImageKind::eIntelHex;
        const std::string file = dir.File(hexImage ? "touch.hex" : "bt.airoflash");
        WriteFile(file, hexImage ? IntelHexText(image_I, 0x8000) : std::string(image_I.begin(), image_I.end()));
        if (hexImage) {
            hex = std::make_shared<CIntelHex>();
            ASSERT_TRUE(hex->Load(file));
            device->SetIntelHexData(hex);
        } else {
            airo = std::make_shared<CBinaryAiroFlash>();
            ASSERT_TRUE(airo->Load(file));
            device->SetAiroFlashData(airo);
        }
        device->SetDataSourceFormat(hexImage ? eFormatIntelHex : eFormatAiroFlash);
    }

    // 0xE4 SETs with this sub-command (all SETs for -1).
    std::vector<Bytes> Commands(int subCommand_I) const
    {
        std::vector<Bytes> out;
        for (const SimWireRecord& r : host->Transcript())
            if (r.direction == ESimWireDirection::eSet &&
                (subCommand_I < 0 || (r.bytes[0] == 0xE4 && r.bytes[2] == subCommand_I)))
                out.push_back(r.bytes);
        return out;
    }

    std::shared_ptr<CSimImageLoader> loader;
    std::shared_ptr<CIntelHex> hex;
    std::shared_ptr<CBinaryAiroFlash> airo;
    CTempDir dir;
};

inline std::uint32_t Le32At(const Bytes& b_I, std::size_t at_I)
{
    return b_I[at_I] | b_I[at_I + 1] << 8 | b_I[at_I + 2] << 16 | static_cast<std::uint32_t>(b_I[at_I + 3]) << 24;
}
