// A hostile or corrupted S-record loader. Initialising, programming, verifying and reading must
// never read or write outside a buffer, must end, and must never report a success the board
// does not hold.
//
// Byte 0 chooses the setup: bit 0 protocol type, bit 1 the vendor page, bit 3 the mode.
// Hostile mode (bit 3 clear): every GET answer (and whether each report succeeds) comes from the
// input, with bit 2 optionally as raw wrapped bytes on the vendor page; bits 4-5 the data source
// format. Corrupted mode (bit 3 set): a simulated loader answers, and the input spoils chosen
// answers (DeviceAnswerFuzzing.h), at the board or, with bit 2, on the wire; byte 1 picks the
// loader's layout.

#include "CSimHIDFLDeviceInterface.h"
#include "DeviceAnswerFuzzing.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

using namespace fuzz;

void Hostile(CFuzzSession& session_I, std::uint8_t setup_I)
{
    CFuzzInput& input = session_I.Input();
    session_I.AddNode("fuzz", (setup_I & 2) ? 0xFF00 : 0x000D, std::make_shared<CHostileDevice>(session_I, 4));
    if (setup_I & 4) {
        // Raw wrapped answers straight from the input, lying length fields included.
        session_I.Host()->SetWireTamper([&input](const std::string&, std::vector<std::uint8_t>& bytes, bool&) {
            if (input.Byte() & 1)
                bytes = input.Bytes(input.Byte() * 8u);
        });
    }
    CSimHIDFLDeviceInterface device("fuzz", session_I.Host());
    device.SetNotifier(TraceNotifier());
    device.ReadAttributes();
    device.SetFirmwareLoader(true);
    device.SetDataSourceFormat(((setup_I >> 4) & 3) % 3);
    if (!device.Open())
        return;
    std::vector<SRecBlock> image(1);
    image[0].address = static_cast<std::uint32_t>(input.Byte()) << 8;
    image[0].data = input.Bytes(input.Byte() * 2u);
    if (device.InitializeProgrammingData(image) && device.ProgramBoard())
        device.VerifyFlash();
    std::vector<std::uint8_t> out;
    device.ReadData(out, 2);
}

void Corrupted(CFuzzSession& session_I, std::uint8_t setup_I)
{
    CFuzzInput& input = session_I.Input();
    const int protocolType = setup_I & 1;
    auto board = std::make_shared<CSimSRecLoader>(SmallSRecLoader(protocolType, input.Byte()));
    CAnswerCorruptor corruptor(session_I, 32);
    const bool onWire = (setup_I & 4) != 0;
    session_I.AddNode("fuzz", (setup_I & 2) ? 0xFF00 : 0x000D,
                      std::make_shared<CCorruptedDevice>(board, corruptor, !onWire));
    if (onWire)
        CorruptOnTheWire(session_I, corruptor);
    CSimHIDFLDeviceInterface device("fuzz", session_I.Host());
    device.SetNotifier(TraceNotifier());
    device.ReadAttributes();
    device.SetFirmwareLoader(true);
    device.SetDataSourceFormat(eFormatPen);
    if (!device.Open())
        return;
    const std::vector<SRecBlock> image = SmallSRecImage(protocolType);
    const bool done = device.InitializeProgrammingData(image) && device.ProgramBoard() && device.VerifyFlash();
    // Verification reads the flash back; only a spoiled read answer can fake what it saw.
    const std::uint8_t readId = BLReportIdFor(eBL_HID_REP_READ_ID, protocolType);
    if (done && !corruptor.Spoiled(readId))
        ExpectImageOnBoard(*board, device, image);
    device.SwitchFromBLMode();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CFuzzInput input(data, size);
    const std::uint8_t setup = input.Byte();
    CFuzzSession session(input, setup & 1);
    if (setup & 8)
        Corrupted(session, setup);
    else
        Hostile(session, setup);
    return 0;
}
