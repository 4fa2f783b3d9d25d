// A hostile or corrupted I2C bridge (S-records through the tunnel, mode switches) and whole-image
// loader (Intel HEX, Airoha): no access outside a buffer, an end, and no success the board lacks.
// Byte 0: bit 0 whole-image loader, else bridge; bit 1 the vendor page; bit 2 protocol type; bit 3
// (bridge) switch to the loader first / (whole image) Airoha, else Intel HEX; bits 4-5 the bridge's
// data source format / (Airoha) bit 4 an image past the board's own range; bit 6 the mode: every
// answer from the input (hostile) or a simulated board's answers spoiled (corrupted), with bit 7
// those of the board behind the bridge, else the bridge's own.

#include "CSimHIDFLDeviceInterface.h"
#include "CSimI2CBridge.h"
#include "CSimI2CFLDeviceInterface.h"
#include "CSimImageLoader.h"
#include "DeviceAnswerFuzzing.h"
#include "FWUpdater/CBinaryAiroFlash.h"
#include "FWUpdater/CIntelHex.h"

#include <cstring>
#include <sstream>

namespace {

using namespace fuzz;
using DevicePtr = std::shared_ptr<CSimHidDevice>;

void Bridge(CFuzzSession& session_I, std::uint8_t setup_I, bool corrupted_I)
{
    const int protocolType = (setup_I & 4) ? 1 : 0;
    const bool atBoard = (setup_I & 0x80) != 0;
    std::shared_ptr<CSimSRecLoader> board;
    std::shared_ptr<CAnswerCorruptor> corruptor;
    DevicePtr bridge;
    std::vector<std::uint8_t> report;
    std::vector<SRecBlock> image(1);
    if (!corrupted_I) {
        // A raw report and an image from the input.
        bridge = std::make_shared<CHostileDevice>(session_I, 2, true);
        report = session_I.Bytes(session_I.Byte() * 2u);
        image[0].address = static_cast<std::uint32_t>(session_I.Byte()) << 8;
        image[0].data = session_I.Bytes(session_I.Byte());
    } else {
        const std::uint8_t layout = session_I.Byte();
        board = std::make_shared<CSimSRecLoader>(SmallSRecLoader(protocolType, layout));
        const SimI2CBridgeConfig config{
            .startInLoader = (setup_I & 8) == 0, .busyPolls = (layout >> 5) % 3, .writeEcho = (layout & 0x80) == 0};
        corruptor = std::make_shared<CAnswerCorruptor>(session_I, atBoard ? 32 : 256,
            atBoard ? DevicePtr(board) : std::make_shared<CSimI2CBridge>(board, config));
        bridge = atBoard ? std::make_shared<CSimI2CBridge>(corruptor, config) : DevicePtr(corruptor);
    }
    session_I.AddNode((setup_I & 2) ? 0xFF00 : 0xFF0D, bridge);
    CSimI2CFLDeviceInterface device("fuzz", session_I.Host());
    device.ReadAttributes();
    // Corrupted: always an S-record format (the bridge serves pen and touch boards).
    device.SetDataSourceFormat(corrupted_I ? 0 : ((setup_I >> 4) & 3) % 3);
    if (setup_I & 8)
        device.SwitchToBLMode();
    if (!device.Open())
        return;
    if (!report.empty()) {
        std::vector<std::uint8_t> read = report;
        device.WriteFeature(report);
        device.ReadFeature(read);
    }
    if (corrupted_I)
        ProgramSmallBoard(device, protocolType, *board, *corruptor, !atBoard);
    else if (device.InitializeProgrammingData(image) && device.ProgramBoard())
        device.VerifyFlash();
    // With the input used up every report fails: its 60 tries would only repeat one failure.
    if (!session_I.Stopped())
        device.SwitchFromBLMode();
}

void WholeImage(CFuzzSession& session_I, std::uint8_t setup_I, bool corrupted_I)
{
    const bool airoha = (setup_I & 8) != 0;
    const std::uint8_t airohaSize = airoha ? session_I.Byte() : 0;
    std::shared_ptr<CSimImageLoader> loader;
    if (corrupted_I)
        loader = std::make_shared<CSimImageLoader>(
            SimImageLoaderConfig{.kind = airoha ? ESimImageKind::eAiroha : ESimImageKind::eIntelHex,
                                 .flashSize = airoha ? 0x8000u : 0x9000u});
    const int skipRange = airoha && (setup_I & 0x10) ? 128 : 32;
    session_I.AddNode((setup_I & 2) ? 0xFF00 : 0x000D,
                      loader ? std::make_shared<CAnswerCorruptor>(session_I, skipRange, loader)
                             : DevicePtr(std::make_shared<CHostileDevice>(session_I, 2)));
    CSimHIDFLDeviceInterface device("fuzz", session_I.Host());
    device.ReadAttributes();
    device.SetFirmwareLoader(true);
    if (!device.Open())
        return;
    if (airoha) {
        // Large images reach past the board's own range (48 packets before it); small ones are
        // one to five packets, so that most inputs reach the end of the programming.
        static const std::string bytes = [] {
            std::string all;
            for (std::uint32_t i = 0; i < 0x3000u + 255 * 16u; ++i)
                all.push_back(static_cast<char>(0x5A ^ (i * 11 + (i >> 8))));
            return all;
        }();
        std::istringstream in(bytes.substr(0, (setup_I & 0x10) ? 0x3000u + airohaSize * 16u : 1u + airohaSize * 4u));
        const auto image = std::make_shared<CBinaryAiroFlash>();
        image->LoadFromStream(in);
        device.SetDataSourceFormat(eFormatAiroFlash);
        device.SetAiroFlashData(image);
        // All outside the board's own range is on it (two memcmp: a byte loop cost far more).
        if (device.ProgramBoard() && loader) {
            const std::uint32_t size = image->GetSize();
            const std::vector<std::uint8_t> flash = loader->Flash(0, size);
            const auto same = [&](std::uint32_t from_I, std::uint32_t to_I) {
                return from_I >= to_I || std::memcmp(&flash[from_I], image->GetBuffer() + from_I, to_I - from_I) == 0;
            };
            if (!same(0, std::min(size, kAirohaSkipFirst)) || !same(kAirohaSkipEnd, size))
                FalseSuccess("Airoha");
        }
        return;
    }
    // Read only, so built once (192 KiB).
    static const auto image = [] {
        auto hex = std::make_shared<CIntelHex>();
        const std::string text = ":108000000102030405060708090A0B0C0D0E0F10E8\r\n:00000001FF\r\n";
        hex->LoadFromText(text.data(), text.size());
        return hex;
    }();
    device.SetDataSourceFormat(eFormatIntelHex);
    device.SetIntelHexData(image);
    if (device.ProgramBoard() && loader) {
        const auto start = static_cast<std::uint32_t>(image->GetStartAddress());
        const std::vector<std::uint8_t> flash = loader->Flash(start, image->GetDataLength());
        if (!loader->Completed() || std::memcmp(flash.data(), image->GetImage(), flash.size()) != 0)
            FalseSuccess("Intel HEX");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CFuzzSession session(data, size);
    const std::uint8_t setup = HeldMode(session.Byte(), 0x40);
    const bool corrupted = (setup & 0x40) != 0;
    // A well-behaved whole-image loader speaks protocol type 1 only (report 0xE4).
    CFLProtocol::Instance()->SetProtocolType((setup & 4) || (corrupted && (setup & 1)) ? 1 : 0);
    if (setup & 1)
        WholeImage(session, setup, corrupted);
    else
        Bridge(session, setup, corrupted);
    return 0;
}
