// A hostile or corrupted I2C bridge and whole-image loader. The tunnel, the mode switches,
// S-record programming through the tunnel, and Intel HEX and Airoha programming must never read
// or write outside a buffer, must end (every wait is bounded), and must never report a success
// the board does not hold.
//
// Byte 0 chooses the setup: bit 0 whole-image loader instead of the bridge, bit 1 the vendor
// page, bit 2 protocol type, bit 3 (bridge) switch to the loader first / (whole image) Airoha
// instead of Intel HEX, bits 4-5 the bridge's data source format / (Airoha) bit 4 an image
// reaching past the board's own range, bit 6 the mode.
// Hostile mode (bit 6 clear): every GET answer (and whether each report succeeds) comes from the
// input. Corrupted mode: a simulated bridge in front of a simulated S-record loader, or a
// simulated whole-image loader, answers, and the input spoils chosen answers
// (DeviceAnswerFuzzing.h): with bit 7 those of the board behind the bridge, else the bridge's own.

#include "CSimHIDFLDeviceInterface.h"
#include "CSimI2CBridge.h"
#include "CSimI2CFLDeviceInterface.h"
#include "DeviceAnswerFuzzing.h"
#include "FWUpdater/CBinaryAiroFlash.h"
#include "FWUpdater/CIntelHex.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace fuzz;

// Mostly well-framed bridge answers: the right id and a plausible status, so the deeper paths run.
void BridgeFraming(std::uint8_t control_I, std::vector<std::uint8_t>& answer_IO)
{
    if (answer_IO.size() > 1 && (control_I & 0x40))
        answer_IO[1] = static_cast<std::uint8_t>(0xF0 + (control_I >> 7) * 2); // F0 or F2
}

[[noreturn]] void FalseSuccess(const char* format_I)
{
    std::fprintf(stderr, "fuzz: %s success reported, but the board's flash differs\n", format_I);
    std::abort();
}

// The images are read only: built once, not per input (the Intel HEX one alone is 192 KiB).
std::shared_ptr<CIntelHex> IntelHexImage()
{
    static const std::shared_ptr<CIntelHex> image = [] {
        auto hex = std::make_shared<CIntelHex>();
        const std::string text = ":108000000102030405060708090A0B0C0D0E0F10E8\r\n:00000001FF\r\n";
        hex->LoadFromText(text.data(), text.size());
        return hex;
    }();
    return image;
}

// Large images reach past the board's own range (48 packets before it); small ones are one to
// five packets, so that most inputs reach the end of the programming.
std::shared_ptr<CBinaryAiroFlash> AirohaImage(bool large_I, std::uint8_t size_I)
{
    static std::array<std::shared_ptr<CBinaryAiroFlash>, 512> images;
    std::shared_ptr<CBinaryAiroFlash>& image = images[(large_I ? 256u : 0u) + size_I];
    if (!image) {
        image = std::make_shared<CBinaryAiroFlash>();
        std::string bytes;
        const std::uint32_t size = large_I ? 0x3000u + size_I * 16u : 1u + size_I * 4u;
        for (std::uint32_t i = 0; i < size; ++i)
            bytes.push_back(static_cast<char>(0x5A ^ (i * 11 + (i >> 8))));
        std::istringstream in(bytes);
        image->LoadFromStream(in);
    }
    return image;
}

// The bridge sequence of an update: into the loader, open, a raw report, program, back.
bool BridgeUpdate(CSimI2CFLDeviceInterface& device_I, std::uint8_t setup_I, const std::vector<std::uint8_t>& report_I,
                  const std::vector<SRecBlock>& image_I)
{
    device_I.ReadAttributes();
    device_I.SetDataSourceFormat(((setup_I >> 4) & 3) % 3);
    if (setup_I & 8)
        device_I.SwitchToBLMode();
    if (!device_I.Open())
        return false;
    if (!report_I.empty()) {
        std::vector<std::uint8_t> read = report_I;
        device_I.WriteFeature(report_I);
        device_I.ReadFeature(read);
    }
    const bool done =
        device_I.InitializeProgrammingData(image_I) && device_I.ProgramBoard() && device_I.VerifyFlash();
    device_I.SwitchFromBLMode();
    return done;
}

void HostileBridge(CFuzzSession& session_I, std::uint8_t setup_I)
{
    CFuzzInput& input = session_I.Input();
    session_I.AddNode("bridge", (setup_I & 2) ? 0xFF00 : 0xFF0D,
                      std::make_shared<CHostileDevice>(session_I, 2, &BridgeFraming));
    CSimI2CFLDeviceInterface device("bridge", session_I.Host());
    device.SetNotifier(TraceNotifier());
    const std::vector<std::uint8_t> report = input.Bytes(input.Byte() * 2u);
    std::vector<SRecBlock> image(1);
    image[0].address = static_cast<std::uint32_t>(input.Byte()) << 8;
    image[0].data = input.Bytes(input.Byte());
    BridgeUpdate(device, setup_I, report, image);
}

void CorruptedBridge(CFuzzSession& session_I, std::uint8_t setup_I)
{
    CFuzzInput& input = session_I.Input();
    const int protocolType = (setup_I & 4) ? 1 : 0;
    const std::uint8_t layout = input.Byte();
    auto board = std::make_shared<CSimSRecLoader>(SmallSRecLoader(protocolType, layout));
    const bool atBoard = (setup_I & 0x80) != 0;
    CAnswerCorruptor corruptor(session_I, atBoard ? 32 : 256);
    std::shared_ptr<CSimHidDevice> behind = board;
    if (atBoard)
        behind = std::make_shared<CCorruptedDevice>(board, corruptor);
    SimI2CBridgeConfig config;
    config.startInLoader = (setup_I & 8) == 0;
    config.busyPolls = (layout >> 5) % 3;
    config.writeEcho = (layout & 0x80) == 0;
    std::shared_ptr<CSimHidDevice> bridge = std::make_shared<CSimI2CBridge>(behind, config);
    if (!atBoard)
        bridge = std::make_shared<CCorruptedDevice>(bridge, corruptor);
    session_I.AddNode("bridge", (setup_I & 2) ? 0xFF00 : 0xFF0D, bridge);
    CSimI2CFLDeviceInterface device("bridge", session_I.Host());
    device.SetNotifier(TraceNotifier());
    const std::vector<SRecBlock> image = SmallSRecImage(protocolType);
    // Always an S-record format here: the bridge serves pen and touch boards.
    const bool done = BridgeUpdate(device, static_cast<std::uint8_t>(setup_I & 0xCF), {}, image);
    // Only a spoiled read answer (tunnelled through B1) can fake what verification saw.
    const bool readsSpoiled =
        atBoard ? corruptor.Spoiled(BLReportIdFor(eBL_HID_REP_READ_ID, protocolType)) : corruptor.Spoiled(0xB1);
    if (done && !readsSpoiled)
        ExpectImageOnBoard(*board, device, image);
}

void WholeImage(CFuzzSession& session_I, std::uint8_t setup_I, bool corrupted_I)
{
    CFuzzInput& input = session_I.Input();
    const bool airoha = (setup_I & 8) != 0;
    const std::uint8_t airohaSize = airoha ? input.Byte() : 0;
    std::shared_ptr<CSimImageLoader> loader;
    std::unique_ptr<CAnswerCorruptor> corruptor;
    if (corrupted_I) {
        SimImageLoaderConfig config;
        config.kind = airoha ? ESimImageKind::eAiroha : ESimImageKind::eIntelHex;
        config.flashSize = airoha ? 0x8000 : 0x9000;
        loader = std::make_shared<CSimImageLoader>(config);
        corruptor = std::make_unique<CAnswerCorruptor>(session_I, airoha && (setup_I & 0x10) ? 128 : 32);
        session_I.AddNode("loader", (setup_I & 2) ? 0xFF00 : 0x000D,
                          std::make_shared<CCorruptedDevice>(loader, *corruptor));
    } else {
        session_I.AddNode("loader", (setup_I & 2) ? 0xFF00 : 0x000D, std::make_shared<CHostileDevice>(session_I, 2));
    }
    CSimHIDFLDeviceInterface device("loader", session_I.Host());
    device.SetNotifier(TraceNotifier());
    device.ReadAttributes();
    device.SetFirmwareLoader(true);
    if (!device.Open())
        return;
    if (airoha) {
        const auto image = AirohaImage((setup_I & 0x10) != 0, airohaSize);
        device.SetDataSourceFormat(eFormatAiroFlash);
        device.SetAiroFlashData(image);
        // Everything outside the board's own range went to the board (compared as two ranges:
        // a byte loop cost each input tens of thousands of instrumented compares).
        if (device.ProgramBoard() && loader) {
            const std::uint32_t size = image->GetSize();
            const std::vector<std::uint8_t> flash = loader->Flash(0, size);
            const auto same = [&](std::uint32_t from_I, std::uint32_t to_I) {
                return from_I >= to_I || std::memcmp(flash.data() + from_I, image->GetBuffer() + from_I, to_I - from_I) == 0;
            };
            if (!same(0, std::min(size, kAirohaSkipFirst)) || !same(kAirohaSkipEnd, size))
                FalseSuccess("Airoha");
        }
    } else {
        const auto image = IntelHexImage();
        device.SetDataSourceFormat(eFormatIntelHex);
        device.SetIntelHexData(image);
        if (device.ProgramBoard() && loader) {
            const auto start = static_cast<std::uint32_t>(image->GetStartAddress());
            const std::vector<std::uint8_t> flash = loader->Flash(start, image->GetDataLength());
            if (!loader->Completed() || std::memcmp(flash.data(), image->GetImage(), flash.size()) != 0)
                FalseSuccess("Intel HEX");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CFuzzInput input(data, size);
    const std::uint8_t setup = input.Byte();
    const bool corrupted = (setup & 0x40) != 0;
    // A well-behaved whole-image loader speaks protocol type 1 only (report 0xE4).
    CFuzzSession session(input, (setup & 4) || (corrupted && (setup & 1)) ? 1 : 0);
    if (setup & 1)
        WholeImage(session, setup, corrupted);
    else if (corrupted)
        CorruptedBridge(session, setup);
    else
        HostileBridge(session, setup);
    return 0;
}
