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

using Bytes = std::vector<std::uint8_t>;

// Intel HEX text of data placed at base: 16-byte data records, an 04 record whenever the upper
// address half changes, CR LF line ends, an end record.
inline std::string IntelHexText(const Bytes& data_I, std::uint32_t base_I)
{
    auto record = [](std::uint8_t type, std::uint16_t address, const Bytes& bytes) {
        std::uint32_t sum = static_cast<std::uint32_t>(bytes.size()) + (address >> 8) + (address & 0xFF) + type;
        char head[16];
        std::snprintf(head, sizeof head, ":%02X%04X%02X", static_cast<unsigned>(bytes.size()), address, type);
        std::string line = head;
        for (std::uint8_t b : bytes) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%02X", b);
            line += hex;
            sum += b;
        }
        char check[4];
        std::snprintf(check, sizeof check, "%02X", static_cast<unsigned>((0x100 - (sum & 0xFF)) & 0xFF));
        return line + check + "\r\n";
    };
    std::string text;
    std::int64_t upper = -1;
    for (std::size_t offset = 0; offset < data_I.size(); offset += 16) {
        const std::uint32_t absolute = base_I + static_cast<std::uint32_t>(offset);
        if (static_cast<std::int64_t>(absolute >> 16) != upper) {
            upper = absolute >> 16;
            text += record(0x04, 0, {static_cast<std::uint8_t>(upper >> 8), static_cast<std::uint8_t>(upper)});
        }
        const std::size_t n = std::min<std::size_t>(16, data_I.size() - offset);
        text += record(0x00, static_cast<std::uint16_t>(absolute & 0xFFFF),
                       Bytes(data_I.begin() + static_cast<std::ptrdiff_t>(offset),
                             data_I.begin() + static_cast<std::ptrdiff_t>(offset + n)));
    }
    return text + ":00000001FF\r\n";
}

class ImageFixture : public ::testing::Test
{
protected:
    static constexpr const char* kPath = "\\\\?\\hid#vid_2d1f&pid_0301#8&2c3d4e&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

    void SetUp() override { CFLProtocol::Instance()->SetProtocolType(1); }
    void TearDown() override { CFLProtocol::Instance()->SetProtocolType(0); }

    void MakeLoader(const SimImageLoaderConfig& config_I)
    {
        loader = std::make_shared<CSimImageLoader>(config_I);
        SimHidNodeInfo info;
        info.path = kPath;
        info.vendorId = 0x2D1F;
        info.productId = 0x0301;
        info.usagePage = 0x000D;
        info.usage = 0x0002;
        host->AddNode(info, loader);
        device = std::make_shared<CSimHIDFLDeviceInterface>(kPath, host);
        device->SetNotifier(&notifier);
        ASSERT_TRUE(device->ReadAttributes());
        device->SetFirmwareLoader(true);
        ASSERT_TRUE(device->Open());
        host->ClearTranscript();
        clock->clearSleeps();
    }

    void MakeIntelHexBoard(const Bytes& image_I, SimImageLoaderConfig config_I = SimImageLoaderConfig())
    {
        config_I.kind = ESimImageKind::eIntelHex;
        MakeLoader(config_I);
        hex = std::make_shared<CIntelHex>();
        const std::string file = dir.File("touch.hex");
        WriteFile(file, IntelHexText(image_I, 0x8000));
        ASSERT_TRUE(hex->Load(file));
        device->SetDataSourceFormat(eFormatIntelHex);
        device->SetIntelHexData(hex);
    }

    void MakeAirohaBoard(const Bytes& image_I, SimImageLoaderConfig config_I = SimImageLoaderConfig())
    {
        config_I.kind = ESimImageKind::eAiroha;
        config_I.flashSize = std::max<std::uint32_t>(0x20000, static_cast<std::uint32_t>(image_I.size() + 0x100));
        MakeLoader(config_I);
        airo = std::make_shared<CBinaryAiroFlash>();
        const std::string file = dir.File("bt.airoflash");
        WriteFile(file, std::string(image_I.begin(), image_I.end()));
        ASSERT_TRUE(airo->Load(file));
        device->SetDataSourceFormat(eFormatAiroFlash);
        device->SetAiroFlashData(airo);
    }

    // Reports of one direction on the wire (ok or not), optionally only those with this id.
    std::vector<Bytes> Reports(ESimWireDirection direction_I, int id_I = -1) const
    {
        std::vector<Bytes> out;
        for (const SimWireRecord& r : host->Transcript())
            if (r.direction == direction_I && (id_I < 0 || (!r.bytes.empty() && r.bytes[0] == id_I)))
                out.push_back(r.bytes);
        return out;
    }
    // 0xE4 SETs with this sub-command.
    std::vector<Bytes> Commands(std::uint8_t subCommand_I) const
    {
        std::vector<Bytes> out;
        for (const Bytes& r : Reports(ESimWireDirection::eSet, 0xE4))
            if (r.size() > 2 && r[2] == subCommand_I)
                out.push_back(r);
        return out;
    }
    std::vector<std::string> LogsStartingWith(const std::string& prefix_I) const
    {
        std::vector<std::string> out;
        for (const std::string& l : notifier.Logs())
            if (l.rfind(prefix_I, 0) == 0)
                out.push_back(l);
        return out;
    }

    std::shared_ptr<CVirtualClock> clock = std::make_shared<CVirtualClock>();
    CScopedClock scopedClock{clock};
    std::shared_ptr<CSimHost> host = std::make_shared<CSimHost>();
    std::shared_ptr<CSimImageLoader> loader;
    std::shared_ptr<CSimHIDFLDeviceInterface> device;
    std::shared_ptr<CIntelHex> hex;
    std::shared_ptr<CBinaryAiroFlash> airo;
    CRecordingNotifier notifier;
    CTempDir dir;
};

inline std::uint32_t Le32At(const Bytes& b_I, std::size_t at_I)
{
    return static_cast<std::uint32_t>(b_I[at_I]) | static_cast<std::uint32_t>(b_I[at_I + 1]) << 8 |
           static_cast<std::uint32_t>(b_I[at_I + 2]) << 16 | static_cast<std::uint32_t>(b_I[at_I + 3]) << 24;
}
