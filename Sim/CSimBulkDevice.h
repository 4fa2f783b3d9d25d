#pragma once
// A simulated board in application mode reached through its USB interface of the bulk loader's
// class: it answers the three vendor control requests (enter loader, liveness check, reset)
// and stalls everything else.

#include "CSimHost.h"
#include "SimFault.h"

#include <cstdint>
#include <functional>
#include <vector>

class CSimBulkDevice : public CSimUsbDevice
{
public:
    bool ControlTransfer(const std::vector<std::uint8_t>& setup_I, std::vector<std::uint8_t>& in_O) override;

    int EnterLoaderCount() const { return mEnterLoader; }
    int LivenessCount() const { return mLiveness; }
    int ResetCount() const { return mResets; }
    int StalledCount() const { return mStalled; }
    // Every setup packet the device saw, in order.
    const std::vector<std::vector<std::uint8_t>>& Requests() const { return mRequests; }

    // The next count requests fail (after letting `after` pass); -1 = all from then on.
    void FailRequests(int count_I, int after_I = 0) { mFault.Set(count_I, after_I); }
    void SetOnEnterLoader(std::function<void()> hook_I) { mOnEnterLoader = std::move(hook_I); }
    void SetOnReset(std::function<void()> hook_I) { mOnReset = std::move(hook_I); }

private:
    int mEnterLoader = 0;
    int mLiveness = 0;
    int mResets = 0;
    int mStalled = 0;
    std::vector<std::vector<std::uint8_t>> mRequests;
    SimFault mFault;
    std::function<void()> mOnEnterLoader;
    std::function<void()> mOnReset;
};
