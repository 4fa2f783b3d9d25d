#include "CSimBulkDevice.h"

namespace {
bool Is(const std::vector<std::uint8_t>& s, std::uint8_t type, std::uint8_t request, std::uint16_t value,
        std::uint16_t index, std::uint16_t length)
{
    return s.size() == 8 && s[0] == type && s[1] == request && s[2] == (value & 0xFF) && s[3] == (value >> 8) &&
           s[4] == (index & 0xFF) && s[5] == (index >> 8) && s[6] == (length & 0xFF) && s[7] == (length >> 8);
}
} // namespace

bool CSimBulkDevice::ControlTransfer(const std::vector<std::uint8_t>& setup_I, std::vector<std::uint8_t>& in_O)
{
    mRequests.push_back(setup_I);
    if (mFault.Consume())
        return false;
    if (Is(setup_I, 0x41, 0xF0, 0xFFFF, 0, 0)) {
        ++mEnterLoader;
        if (mOnEnterLoader)
            mOnEnterLoader();
        return true;
    }
    if (Is(setup_I, 0xC1, 0x01, 0, 0, 2)) {
        ++mLiveness;
        in_O = {0x01, 0x00};
        return true;
    }
    if (Is(setup_I, 0x41, 0xF5, 0xFFFF, 0, 0)) {
        ++mResets;
        if (mOnReset)
            mOnReset();
        return true;
    }
    ++mStalled;
    return false;
}
