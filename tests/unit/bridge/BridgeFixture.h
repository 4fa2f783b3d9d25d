#pragma once
// A board behind a simulated I2C bridge, the real I2C device interface on top.

#include "../flash/FlashFixture.h"

#include "CSimI2CBridge.h"
#include "CSimI2CFLDeviceInterface.h"

// A board that records what reaches it and answers every GET with a fixed report.
class CRecordingBoard : public CSimHidDevice
{
public:
    bool SetFeature(const Bytes& report_I) override
    {
        sets.push_back(report_I);
        return acceptSets;
    }
    bool GetFeature(const Bytes& request_I, Bytes& answer_O) override
    {
        gets.push_back(request_I);
        answer_O = answer;
        if (!answer_O.empty())
            answer_O[0] = request_I[0];
        return answerGets;
    }
    std::vector<Bytes> sets;
    std::vector<Bytes> gets;
    Bytes answer = Pattern(261, 11); // the board sends as much as is asked for
    bool acceptSets = true;
    bool answerGets = true;
};

class BridgeFixture : public ::testing::Test
{
protected:
    static constexpr const char* kPath = "\\\\?\\hid#vid_2d1f&pid_0410&col02#9&3d4e5f&0&0001#{4d1e55b2-f16f-11cf-88cb-001111000030}";

    void TearDown() override { CFLProtocol::Instance()->SetProtocolType(0); }

    // The board behind a fresh bridge on a fresh host (a recording board when none is given).
    void MakeBridge(SimI2CBridgeConfig config_I = SimI2CBridgeConfig(), std::shared_ptr<CSimHidDevice> board_I = {},
                    std::uint16_t usagePage_I = 0xFF0D)
    {
        board = std::make_shared<CRecordingBoard>();
        bridge = std::make_shared<CSimI2CBridge>(board_I ? board_I : board, config_I);
        host = std::make_shared<CSimHost>();
        SimHidNodeInfo info;
        info.path = kPath;
        info.usagePage = usagePage_I;
        host->AddNode(info, bridge);
        device = std::make_shared<CSimI2CFLDeviceInterface>(kPath, host);
        device->SetNotifier(&notifier);
        ASSERT_TRUE(device->ReadAttributes());
        ASSERT_TRUE(device->Open());
        host->ClearTranscript();
        clock->clearSleeps();
    }

    int CountOnWire(ESimWireDirection direction_I, std::uint8_t id_I) const
    {
        int n = 0;
        for (const SimWireRecord& r : host->Transcript())
            n += (r.direction == direction_I && !r.bytes.empty() && r.bytes[0] == id_I) ? 1 : 0;
        return n;
    }

    std::shared_ptr<CVirtualClock> clock = std::make_shared<CVirtualClock>();
    CScopedClock scopedClock{clock};
    std::shared_ptr<CSimHost> host;
    std::shared_ptr<CSimI2CBridge> bridge;
    std::shared_ptr<CRecordingBoard> board;
    std::shared_ptr<CSimI2CFLDeviceInterface> device;
    CRecordingNotifier notifier;
};
