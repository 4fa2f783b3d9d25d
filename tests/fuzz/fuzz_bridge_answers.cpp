// A hostile I2C bridge and a hostile whole-image loader: every GET answer (and whether each
// report succeeds) comes from the input. The tunnel, the mode switches, S-record programming
// through the tunnel, and Intel HEX and Airoha programming must never read or write outside a
// buffer, and must end (every wait is bounded), whatever the answers claim.

#include "CSimHIDFLDeviceInterface.h"
#include "CSimHost.h"
#include "CSimI2CFLDeviceInterface.h"
#include "Clock.h"
#include "FWUpdater/CBinaryAiroFlash.h"
#include "FWUpdater/CIntelHex.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

class CInput
{
public:
    CInput(const std::uint8_t* data_I, std::size_t size_I) : mData(data_I), mSize(size_I) {}
    bool Empty() const { return mPos >= mSize; }
    std::uint8_t Byte() { return mPos < mSize ? mData[mPos++] : 0; }
    std::vector<std::uint8_t> Bytes(std::size_t n_I)
    {
        const std::size_t n = std::min(n_I, mSize - std::min(mPos, mSize));
        std::vector<std::uint8_t> out(mData + mPos, mData + mPos + n);
        mPos += n;
        return out;
    }

private:
    const std::uint8_t* mData;
    std::size_t mSize;
    std::size_t mPos = 0;
};

// Answers from the input; once it runs dry every report fails, which also bounds the run.
class CHostileDevice : public CSimHidDevice
{
public:
    explicit CHostileDevice(CInput& input_I) : mInput(input_I) {}
    bool SetFeature(const std::vector<std::uint8_t>&) override { return !mInput.Empty() && (mInput.Byte() & 7) != 0; }
    bool GetFeature(const std::vector<std::uint8_t>& request_I, std::vector<std::uint8_t>& answer_O) override
    {
        if (mInput.Empty())
            return false;
        const std::uint8_t control = mInput.Byte();
        if ((control & 7) == 0)
            return false;
        std::size_t length = request_I.size();
        if (control & 0x10)
            length = mInput.Byte() * 2u + mInput.Byte();
        answer_O = mInput.Bytes(length);
        // Mostly well-framed: the right id and a plausible status, so the deeper paths run.
        if (!answer_O.empty() && (control & 0x20))
            answer_O[0] = request_I[0];
        if (answer_O.size() > 1 && (control & 0x40))
            answer_O[1] = static_cast<std::uint8_t>(0xF0 + (control >> 7) * 2); // F0 or F2
        return true;
    }

private:
    CInput& mInput;
};

void Bridge(CInput& input_I, std::uint8_t setup_I)
{
    auto host = std::make_shared<CSimHost>();
    host->SetTranscriptEnabled(false);
    SimHidNodeInfo info;
    info.path = "bridge";
    info.usagePage = (setup_I & 2) ? 0xFF00 : 0xFF0D;
    host->AddNode(info, std::make_shared<CHostileDevice>(input_I));
    CSimI2CFLDeviceInterface device("bridge", host);
    device.ReadAttributes();
    device.SetDataSourceFormat((setup_I >> 4) % 3);
    if (setup_I & 8)
        device.SwitchToBLMode();
    if (!device.Open())
        return;
    std::vector<std::uint8_t> report = input_I.Bytes(input_I.Byte() * 2u);
    if (!report.empty()) {
        device.WriteFeature(report);
        device.ReadFeature(report);
    }
    std::vector<SRecBlock> image(1);
    image[0].address = static_cast<std::uint32_t>(input_I.Byte()) << 8;
    image[0].data = input_I.Bytes(input_I.Byte());
    if (device.InitializeProgrammingData(image))
        device.ProgramBoard();
    device.SwitchFromBLMode();
}

void WholeImage(CInput& input_I, std::uint8_t setup_I)
{
    auto host = std::make_shared<CSimHost>();
    host->SetTranscriptEnabled(false);
    SimHidNodeInfo info;
    info.path = "loader";
    info.usagePage = (setup_I & 2) ? 0xFF00 : 0x000D;
    host->AddNode(info, std::make_shared<CHostileDevice>(input_I));
    CSimHIDFLDeviceInterface device("loader", host);
    device.ReadAttributes();
    device.SetFirmwareLoader(true);
    if (!device.Open())
        return;
    if (setup_I & 8) {
        auto airo = std::make_shared<CBinaryAiroFlash>();
        std::istringstream in(std::string(0x3000 + input_I.Byte() * 16u, '\x5A'));
        airo->LoadFromStream(in);
        device.SetDataSourceFormat(4);
        device.SetAiroFlashData(airo);
    } else {
        auto hex = std::make_shared<CIntelHex>();
        const std::string text = ":108000000102030405060708090A0B0C0D0E0F10E8\r\n:00000001FF\r\n";
        hex->LoadFromText(text.data(), text.size());
        device.SetDataSourceFormat(3);
        device.SetIntelHexData(hex);
    }
    device.ProgramBoard();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CInput input(data, size);
    auto clock = std::make_shared<CVirtualClock>();
    CScopedClock scoped(clock);
    const std::uint8_t setup = input.Byte();
    CFLProtocol::Instance()->SetProtocolType((setup & 4) ? 1 : 0);
    if (setup & 1)
        WholeImage(input, setup);
    else
        Bridge(input, setup);
    return 0;
}
