#pragma once
// A simulated I2C bridge: the HID device in front of a board that is reached over I2C. It
// answers its own reports and tunnels loader reports to the board behind it (any simulated
// device):
//   0xB0 GET  mode query (B0 FF FF): answer B0 00 00 in loader mode, B0 01 01 otherwise
//   0xB0 SET  B0 00 00 enter loader, B0 01 01 leave loader
//   0xB2 SET  write request: 01, n (u16), the report (n <= 261); the bridge writes it to the board
//   0xB2 GET  write status: B2 status 00 00 00 echoed-id
//   0xB1 SET  read request: 01, id, n (u16); the bridge reads n bytes of that report
//   0xB1 GET  read answer: B1 status 00 n (u16) report
// Statuses: F0 done, F1 busy, F2 done with echo/data, F3 failed. The bridge can be made slow
// (busy answers), stuck, unwilling to switch modes, or to give malformed answers.

#include "CSimHost.h"
#include "SimFault.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

struct SimI2CBridgeConfig
{
    bool startInLoader = true;
    // Switch requests the board needs before it reports the new mode; -1 = never switches.
    int enterAfterWrites = 1;
    int leaveAfterWrites = 1;
    // Busy answers (F1) before the result of each tunnelled request; -1 = busy for ever.
    int busyPolls = 0;
    // Writes answer F2 with the echoed id; false: F0.
    bool writeEcho = true;
};

class CSimI2CBridge : public CSimHidDevice
{
public:
    CSimI2CBridge(std::shared_ptr<CSimHidDevice> board_I, SimI2CBridgeConfig config_I = SimI2CBridgeConfig());

    bool SetFeature(const std::vector<std::uint8_t>& report_I) override;
    bool GetFeature(const std::vector<std::uint8_t>& request_I, std::vector<std::uint8_t>& answer_O) override;

    bool InLoader() const { return mLoader; }
    int EnterRequests() const { return mEnterRequests; }
    int LeaveRequests() const { return mLeaveRequests; }
    int ModeQueries() const { return mModeQueries; }
    int StatusPolls() const { return mStatusPolls; }
    int TunnelledWrites() const { return mTunnelledWrites; }
    int TunnelledReads() const { return mTunnelledReads; }
    int Pings() const { return mPings; }
    int Refused() const { return mRefused; } // malformed bridge requests
    const std::vector<std::uint8_t>& LastModeQuery() const { return mLastModeQuery; }
    SimI2CBridgeConfig& Config() { return mConfig; }

    // Fault hooks on the bridge's own report ids (B0, B1, B2).
    void FailSets(std::uint8_t id_I, int count_I, int after_I = 0) { mFailSets[id_I].Set(count_I, after_I); }
    void FailGets(std::uint8_t id_I, int count_I, int after_I = 0) { mFailGets[id_I].Set(count_I, after_I); }
    // Changes an answer of the bridge (B0, B1 or B2) before it leaves.
    void SetAnswerTamper(std::uint8_t id_I, std::function<void(std::vector<std::uint8_t>&)> tamper_I)
    {
        mTampers[id_I] = std::move(tamper_I);
    }
    // Called when the bridge switches the board's mode.
    void SetOnEnterLoader(std::function<void()> hook_I) { mOnEnterLoader = std::move(hook_I); }
    void SetOnLeaveLoader(std::function<void()> hook_I) { mOnLeaveLoader = std::move(hook_I); }
    // Where the mode comes from when the board behind the bridge decides it (a board whose image
    // does not check out stays in its loader after a leave request).
    void SetModeSource(std::function<bool()> inLoader_I) { mModeSource = std::move(inLoader_I); }

private:
    enum class EPending
    {
        eNone,
        eWrite,
        eRead,
    };
    bool HandleModeSet(const std::vector<std::uint8_t>& report_I);
    bool HandleWriteRequest(const std::vector<std::uint8_t>& report_I);
    bool HandleReadRequest(const std::vector<std::uint8_t>& report_I);
    // The status of the pending request, F1 while the bridge is still busy with it.
    std::uint8_t NextStatus(EPending kind_I);

    std::shared_ptr<CSimHidDevice> mBoard;
    SimI2CBridgeConfig mConfig;
    bool mLoader;
    int mEnterWritesSeen = 0;
    int mLeaveWritesSeen = 0;
    EPending mPending = EPending::eNone;
    std::uint8_t mResult = 0xF3;
    std::uint8_t mEchoId = 0;
    std::vector<std::uint8_t> mReadData;
    std::vector<std::uint8_t> mLastModeQuery;
    int mBusyLeft = 0;
    int mEnterRequests = 0;
    int mLeaveRequests = 0;
    int mModeQueries = 0;
    int mStatusPolls = 0;
    int mTunnelledWrites = 0;
    int mTunnelledReads = 0;
    int mPings = 0;
    int mRefused = 0;
    std::map<std::uint8_t, SimFault> mFailSets;
    std::map<std::uint8_t, SimFault> mFailGets;
    std::map<std::uint8_t, std::function<void(std::vector<std::uint8_t>&)>> mTampers;
    std::function<void()> mOnEnterLoader;
    std::function<void()> mOnLeaveLoader;
    std::function<bool()> mModeSource;
};
