#pragma once
// A whole-image loader board (report 0xE4) on a simulated host, the real HID device interface
// on top in protocol type 1, a virtual clock, a recording notifier, and images built by writing
// small files and loading them with the production readers.

#include "../flash/FlashFixture.h"

#include "CSimImageLoader.h"
#include "FWUpdater/CBinaryAiroFlash.h"
#include "FWUpdater/CIntelHex.h"
#include "TestSupport.h"

#include <cstdio>

// Intel HEX text of data placed at base: 16-byte data records, an 04 record whenever the upper
// address half changes, CR LF line ends, an end record.
inline std::string IntelHexText(const Bytes& data_I, std::uint32_t base_I)
{
    auto record = [](unsigned type, unsigned address, const Bytes& bytes) {
        unsigned sum = static_cast<unsigned>(bytes.size()) + (address >> 8) + (address & 0xFF) + type;
        char hex[16];
        std::snprintf(hex, sizeof hex, ":%02X%04X%02X", static_cast<unsigned>(bytes.size()), address, type);
        std::string line = hex;
        for (std::uint8_t b : bytes) {
            std::snprintf(hex, sizeof hex, "%02X", b);
            line += hex;
            sum += b;
        }
        std::snprintf(hex, sizeof hex, "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
        return line + hex;
    };
    std::string text;
    std::int64_t upper = -1;
    for (std::size_t offset = 0; offset < data_I.size(); offset += 16) {
        const std::uint32_t absolute = base_I + static_cast<std::uint32_t>(offset);
        if (static_cast<std::int64_t>(absolute >> 16) != upper) {
            upper = absolute >> 16;
            text += record(0x04, 0, {static_cast<std::uint8_t>(upper >> 8), static_cast<std::uint8_t>(upper)});
        }
        const auto from = data_I.begin() + static_cast<std::ptrdiff_t>(offset);
        text += record(0x00, absolute & 0xFFFF, Bytes(from, from + std::min<std::ptrdiff_t>(16, data_I.end() - from)));
    }
    return text + ":00000001FF\r\n";
}

class ImageFixture : public ::testing::Test
{
protected:
    void SetUp() override { CFLProtocol::Instance()->SetProtocolType(1); }
    void TearDown() override { CFLProtocol::Instance()->SetProtocolType(0); }

    // A fresh host with a loader board of this kind holding image_I ready to be programmed.
    void MakeBoard(ESimImageKind kind_I, const Bytes& image_I, SimImageLoaderConfig config_I = SimImageLoaderConfig())
    {
        config_I.kind = kind_I;
        config_I.flashSize = std::max<std::uint32_t>(0x20000, static_cast<std::uint32_t>(image_I.size() + 0x100));
        loader = std::make_shared<CSimImageLoader>(config_I);
        host = std::make_shared<CSimHost>();
        notifier.Clear();
        SimHidNodeInfo info;
        info.path = "\\\\?\\hid#vid_2d1f&pid_0301#8&2c3d4e&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
        info.usagePage = 0x000D;
        host->AddNode(info, loader);
        device = std::make_shared<CSimHIDFLDeviceInterface>(info.path, host);
        device->SetNotifier(&notifier);
        ASSERT_TRUE(device->ReadAttributes());
        device->SetFirmwareLoader(true);
        ASSERT_TRUE(device->Open());
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
        host->ClearTranscript();
        clock->clearSleeps();
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

    std::shared_ptr<CVirtualClock> clock = std::make_shared<CVirtualClock>();
    CScopedClock scopedClock{clock};
    std::shared_ptr<CSimHost> host;
    std::shared_ptr<CSimImageLoader> loader;
    std::shared_ptr<CSimHIDFLDeviceInterface> device;
    std::shared_ptr<CIntelHex> hex;
    std::shared_ptr<CBinaryAiroFlash> airo;
    CRecordingNotifier notifier;
    CTempDir dir;
};

inline std::uint32_t Le32At(const Bytes& b_I, std::size_t at_I)
{
    return b_I[at_I] | b_I[at_I + 1] << 8 | b_I[at_I + 2] << 16 | static_cast<std::uint32_t>(b_I[at_I + 3]) << 24;
}
