// A hostile or corrupted S-record loader: initialising, programming, verifying and reading never
// access outside a buffer, end, and never report a success the board does not hold.
// Byte 0: bit 0 protocol type, bit 1 the vendor page, bit 3 the mode.
// Hostile (bit 3 clear): every answer comes from the input, with bit 2 raw wrapped bytes on the
// vendor page too; bits 4-5 the data source format. Corrupted (bit 3 set): a simulated loader
// (layout from byte 1) answers and the input spoils chosen answers, with bit 2 on the wire.

#include "CSimHIDFLDeviceInterface.h"
#include "DeviceAnswerFuzzing.h"

using namespace fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CFuzzSession session(data, size);
    const std::uint8_t setup = HeldMode(session.Byte(), 8);
    const int protocolType = setup & 1;
    const bool corrupted = (setup & 8) != 0;
    CFLProtocol::Instance()->SetProtocolType(protocolType);
    std::shared_ptr<CSimSRecLoader> board;
    std::shared_ptr<CAnswerCorruptor> corruptor;
    if (corrupted) {
        board = std::make_shared<CSimSRecLoader>(SmallSRecLoader(protocolType, session.Byte()));
        corruptor = std::make_shared<CAnswerCorruptor>(session, 32, board, (setup & 4) != 0);
        session.AddNode((setup & 2) ? 0xFF00 : 0x000D, corruptor);
    } else {
        session.AddNode((setup & 2) ? 0xFF00 : 0x000D, std::make_shared<CHostileDevice>(session, 4));
        if (setup & 4) // raw wrapped answers, lying length fields included
            session.Host()->SetWireTamper([&session](const std::string&, std::vector<std::uint8_t>& bytes, bool&) {
                if (session.Byte() & 1)
                    bytes = session.Bytes(session.Byte() * 8u);
            });
    }
    CSimHIDFLDeviceInterface device("fuzz", session.Host());
    device.ReadAttributes();
    device.SetFirmwareLoader(true);
    device.SetDataSourceFormat(corrupted ? eFormatPen : ((setup >> 4) & 3) % 3);
    if (!device.Open())
        return 0;
    if (corrupted) {
        ProgramSmallBoard(device, protocolType, *board, *corruptor);
        device.SwitchFromBLMode();
        return 0;
    }
    std::vector<SRecBlock> image(1);
    image[0].address = static_cast<std::uint32_t>(session.Byte()) << 8;
    image[0].data = session.Bytes(session.Byte() * 2u);
    if (device.InitializeProgrammingData(image) && device.ProgramBoard())
        device.VerifyFlash();
    std::vector<std::uint8_t> out;
    device.ReadData(out, 2);
    return 0;
}
