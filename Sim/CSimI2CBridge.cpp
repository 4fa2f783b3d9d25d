#include "CSimI2CBridge.h"

#include <algorithm>

namespace {
constexpr std::uint8_t kMode = 0xB0;
constexpr std::uint8_t kRead = 0xB1;
constexpr std::uint8_t kWrite = 0xB2;
constexpr std::uint8_t kBusy = 0xF1;
constexpr std::uint8_t kDone = 0xF0;
constexpr std::uint8_t kDoneData = 0xF2;
constexpr std::uint8_t kFailed = 0xF3;
constexpr std::size_t kMaxReport = 261;
} // namespace

CSimI2CBridge::CSimI2CBridge(std::shared_ptr<CSimHidDevice> board_I, SimI2CBridgeConfig config_I)
    : mBoard(std::move(board_I)), mConfig(config_I), mLoader(config_I.startInLoader)
{
}

bool CSimI2CBridge::SetFeature(const std::vector<std::uint8_t>& report_I)
{
    if (report_I.empty())
        return false;
    auto fault = mFailSets.find(report_I[0]);
    if (fault != mFailSets.end() && fault->second.Consume())
        return false;
    bool ok = false;
    switch (report_I[0]) {
    case kMode:
        ok = HandleModeSet(report_I);
        break;
    case kWrite:
        ok = HandleWriteRequest(report_I);
        break;
    case kRead:
        ok = HandleReadRequest(report_I);
        break;
    case 0x02: // ping of the normal-mode liveness check
        ok = report_I.size() == 2;
        mPings += ok ? 1 : 0;
        break;
    default:
        break;
    }
    if (!ok)
        ++mRefused;
    return ok;
}

bool CSimI2CBridge::HandleModeSet(const std::vector<std::uint8_t>& r)
{
    if (r.size() != 3)
        return false;
    if (r[1] == 0x00 && r[2] == 0x00) {
        ++mEnterRequests;
        ++mEnterWritesSeen;
        if (!mLoader && mConfig.enterAfterWrites >= 0 && mEnterWritesSeen >= mConfig.enterAfterWrites) {
            mLoader = true;
            mEnterWritesSeen = 0;
            if (mOnEnterLoader)
                mOnEnterLoader();
            if (mModeSource)
                mLoader = mModeSource();
        }
        return true;
    }
    if (r[1] == 0x01 && r[2] == 0x01) {
        ++mLeaveRequests;
        ++mLeaveWritesSeen;
        if (mLoader && mConfig.leaveAfterWrites >= 0 && mLeaveWritesSeen >= mConfig.leaveAfterWrites) {
            mLoader = false;
            mLeaveWritesSeen = 0;
            if (mOnLeaveLoader)
                mOnLeaveLoader();
            if (mModeSource)
                mLoader = mModeSource();
        }
        return true;
    }
    return false;
}

bool CSimI2CBridge::HandleWriteRequest(const std::vector<std::uint8_t>& r)
{
    if (r.size() != 265 || r[1] != 0x01)
        return false;
    const std::size_t n = static_cast<std::size_t>(r[2]) | (static_cast<std::size_t>(r[3]) << 8);
    if (n == 0 || n > kMaxReport)
        return false;
    ++mTunnelledWrites;
    const std::vector<std::uint8_t> report(r.begin() + 4, r.begin() + 4 + static_cast<std::ptrdiff_t>(n));
    const bool written = mBoard && mBoard->SetFeature(report);
    mPending = EPending::eWrite;
    mResult = written ? (mConfig.writeEcho ? kDoneData : kDone) : kFailed;
    mEchoId = report[0];
    mBusyLeft = mConfig.busyPolls;
    return true;
}

bool CSimI2CBridge::HandleReadRequest(const std::vector<std::uint8_t>& r)
{
    if (r.size() != 5 || r[1] != 0x01)
        return false;
    const std::size_t n = static_cast<std::size_t>(r[3]) | (static_cast<std::size_t>(r[4]) << 8);
    if (n == 0 || n > kMaxReport)
        return false;
    ++mTunnelledReads;
    std::vector<std::uint8_t> request(n, 0);
    request[0] = r[2];
    std::vector<std::uint8_t> answer;
    answer.reserve(n); // the board builds its answer byte by byte
    const bool read = mBoard && mBoard->GetFeature(request, answer) && !answer.empty();
    mPending = EPending::eRead;
    mResult = read ? kDoneData : kFailed;
    // The bridge reads at most n bytes over I2C and reports how many the board gave.
    mReadData.assign(answer.begin(), answer.begin() + static_cast<std::ptrdiff_t>(std::min(n, answer.size())));
    mBusyLeft = mConfig.busyPolls;
    return true;
}

std::uint8_t CSimI2CBridge::NextStatus(EPending kind_I)
{
    if (mPending != kind_I)
        return kFailed;
    if (mBusyLeft != 0) {
        if (mBusyLeft > 0)
            --mBusyLeft;
        return kBusy;
    }
    return mResult;
}

bool CSimI2CBridge::GetFeature(const std::vector<std::uint8_t>& request_I, std::vector<std::uint8_t>& answer_O)
{
    if (request_I.empty())
        return false;
    const std::uint8_t id = request_I[0];
    auto fault = mFailGets.find(id);
    if (fault != mFailGets.end() && fault->second.Consume())
        return false;
    switch (id) {
    case kMode:
        ++mModeQueries;
        mLastModeQuery = request_I;
        if (mModeSource)
            mLoader = mModeSource();
        answer_O = mLoader ? std::vector<std::uint8_t>{kMode, 0x00, 0x00} : std::vector<std::uint8_t>{kMode, 0x01, 0x01};
        break;
    case kWrite: {
        ++mStatusPolls;
        const std::uint8_t status = NextStatus(EPending::eWrite);
        answer_O = {kWrite, status, 0, 0, 0, status == kDoneData ? mEchoId : std::uint8_t(0)};
        break;
    }
    case kRead: {
        ++mStatusPolls;
        const std::uint8_t status = NextStatus(EPending::eRead);
        answer_O.assign(266, 0);
        answer_O[0] = kRead;
        answer_O[1] = status;
        if (status == kDoneData) {
            answer_O[3] = static_cast<std::uint8_t>(mReadData.size() & 0xFF);
            answer_O[4] = static_cast<std::uint8_t>(mReadData.size() >> 8);
            std::copy(mReadData.begin(), mReadData.end(), answer_O.begin() + 5);
        }
        break;
    }
    default:
        ++mRefused;
        return false;
    }
    auto tamper = mTampers.find(id);
    if (tamper != mTampers.end() && tamper->second)
        tamper->second(answer_O);
    return true;
}
