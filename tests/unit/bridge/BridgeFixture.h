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

class BridgeFixture : public BoardFixture<CSimI2CFLDeviceInterface>
{
protected:
    // The board behind a fresh bridge on a fresh host (a recording board when none is given).
    void MakeBridge(SimI2CBridgeConfig config_I = SimI2CBridgeConfig(), std::shared_ptr<CSimHidDevice> board_I = {})
    {
        board = std::make_shared<CRecordingBoard>();
        bridge = std::make_shared<CSimI2CBridge>(board_I ? board_I : board, config_I);
        Attach(bridge, false, 0xFF0D);
    }

    std::shared_ptr<CSimI2CBridge> bridge;
    std::shared_ptr<CRecordingBoard> board;
};
