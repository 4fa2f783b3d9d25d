// A hostile loader: every GET answer (and whether each report succeeds) comes from the input,
// optionally as raw wrapped bytes on the vendor page. Initialising and programming must never
// read or write outside a buffer, whatever the lengths and counts claim.

#include "CSimHIDFLDeviceInterface.h"
#include "CSimHost.h"
#include "Clock.h"

#include <cstddef>
#include <cstdint>
#include <memory>
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
class CHostileLoader : public CSimHidDevice
{
public:
    explicit CHostileLoader(CInput& input_I) : mInput(input_I) {}
    bool SetFeature(const std::vector<std::uint8_t>&) override { return !mInput.Empty() && (mInput.Byte() & 7) != 0; }
    bool GetFeature(const std::vector<std::uint8_t>& request_I, std::vector<std::uint8_t>& answer_O) override
    {
        if (mInput.Empty())
            return false;
        const std::uint8_t control = mInput.Byte();
        if ((control & 7) == 0)
            return false;
        // Mostly the asked-for length, sometimes shorter or longer.
        std::size_t length = request_I.size();
        if (control & 0x10)
            length = mInput.Byte() * 4u + mInput.Byte();
        answer_O = mInput.Bytes(length);
        if (!answer_O.empty() && (control & 0x20))
            answer_O[0] = request_I[0];
        return true;
    }

private:
    CInput& mInput;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CInput input(data, size);
    auto clock = std::make_shared<CVirtualClock>();
    CScopedClock scoped(clock);
    const std::uint8_t setup = input.Byte();
    CFLProtocol::Instance()->SetProtocolType(setup & 1);

    auto host = std::make_shared<CSimHost>();
    host->SetTranscriptEnabled(false);
    SimHidNodeInfo info;
    info.path = "fuzz";
    info.usagePage = (setup & 2) ? 0xFF00 : 0x000D;
    host->AddNode(info, std::make_shared<CHostileLoader>(input));
    if (setup & 4) {
        // Raw wrapped answers straight from the input, lying length fields included.
        host->SetWireTamper([&input](const std::string&, std::vector<std::uint8_t>& bytes, bool&) {
            if (input.Byte() & 1)
                bytes = input.Bytes(input.Byte() * 8u);
        });
    }
    CSimHIDFLDeviceInterface device("fuzz", host);
    device.ReadAttributes();
    device.SetFirmwareLoader(true);
    device.SetDataSourceFormat((setup >> 4) % 3);
    if (!device.Open())
        return 0;
    std::vector<SRecBlock> image(1);
    image[0].address = static_cast<std::uint32_t>(input.Byte()) << 8;
    image[0].data = input.Bytes(input.Byte() * 2u);
    if (device.InitializeProgrammingData(image))
        device.ProgramBoard();
    std::vector<std::uint8_t> out;
    device.ReadData(out, 2);
    return 0;
}
