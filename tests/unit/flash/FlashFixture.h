#pragma once
// A simulated loader board on a simulated host, the real device interface on top, a virtual
// clock and a notifier that records everything the interface reports.

#include "CSimHIDFLDeviceInterface.h"
#include "CSimHost.h"
#include "CSimSRecLoader.h"
#include "Clock.h"
#include "FWUpdater/CFLProtocol.h"
#include "FWUpdater/CInterfaceNotifier.h"
#include "FWUpdater/SRecBlock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;
using Sleeps = std::vector<std::uint32_t>;

class CRecordingNotifier : public CInterfaceNotifier
{
public:
    void Log(const std::string& message_I) override
    {
        mLogs.push_back(message_I);
        if (mOnLog)
            mOnLog(message_I);
    }
    void ReportError(const std::string& message_I) override { mErrors.push_back(message_I); }
    void ReportProgress(std::int32_t percent_I) override { mProgress.push_back(percent_I); }

    bool HasLog(const std::string& text_I) const { return std::count(mLogs.begin(), mLogs.end(), text_I) > 0; }
    bool HasError(const std::string& text_I) const { return std::count(mErrors.begin(), mErrors.end(), text_I) > 0; }
    void Clear()
    {
        mLogs.clear();
        mErrors.clear();
        mProgress.clear();
    }

    std::function<void(const std::string&)> mOnLog;
    std::vector<std::string> mLogs;
    std::vector<std::string> mErrors;
    std::vector<int> mProgress;
};

// One report on the wire, unwrapped for reading: direction, inner id, inner bytes.
struct WireReport
{
    ESimWireDirection direction;
    std::uint8_t id;
    Bytes bytes;
};

inline std::string Describe(const WireReport& r_I)
{
    char text[16];
    std::snprintf(text, sizeof text, "%s %02X", r_I.direction == ESimWireDirection::eSet ? "SET" : "GET", r_I.id);
    return text;
}

// Any simulated board as a HID node of a fresh host, opened through the real interface.
template <class TInterface = CSimHIDFLDeviceInterface> class BoardFixture : public ::testing::Test
{
protected:
    static constexpr const char* kPath = "\\\\?\\hid#vid_2d1f&pid_0200#7&1a2b3c&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

    void TearDown() override { CFLProtocol::Instance()->SetProtocolType(0); }

    void Attach(std::shared_ptr<CSimHidDevice> board_I, bool inLoader_I, std::uint16_t usagePage_I = 0x000D)
    {
        host = std::make_shared<CSimHost>();
        notifier.Clear();
        wrapped = usagePage_I == 0xFF00;
        SimHidNodeInfo info;
        info.path = kPath;
        info.usagePage = usagePage_I;
        host->AddNode(info, std::move(board_I));
        device = std::make_shared<TInterface>(kPath, host);
        device->SetNotifier(&notifier);
        ASSERT_TRUE(device->ReadAttributes());
        device->SetFirmwareLoader(inLoader_I);
        ASSERT_TRUE(device->Open());
        host->ClearTranscript();
        clock->clearSleeps();
    }

    std::vector<WireReport> Wire() const
    {
        std::vector<WireReport> out;
        for (const SimWireRecord& r : host->Transcript()) {
            Bytes inner = r.bytes;
            if (wrapped && !r.bytes.empty() && r.bytes[0] == 0xDC) {
                inner.clear();
                SimUnwrapVendorReport(r.bytes, inner);
            }
            out.push_back({r.direction, inner.empty() ? std::uint8_t(0) : inner[0], inner});
        }
        return out;
    }

    int WireCount(ESimWireDirection direction_I, std::uint8_t id_I) const
    {
        int n = 0;
        for (const WireReport& r : Wire())
            n += (r.direction == direction_I && r.id == id_I) ? 1 : 0;
        return n;
    }

    std::vector<std::string> WireIds() const
    {
        std::vector<std::string> out;
        for (const WireReport& r : Wire())
            out.push_back(Describe(r));
        return out;
    }

    std::shared_ptr<CVirtualClock> clock = std::make_shared<CVirtualClock>();
    CScopedClock scopedClock{clock};
    std::shared_ptr<CSimHost> host = std::make_shared<CSimHost>();
    std::shared_ptr<TInterface> device;
    CRecordingNotifier notifier;
    bool wrapped = false; // the node is on the vendor page
};

class FlashFixture : public BoardFixture<>
{
protected:
    // Puts a board with this configuration on a fresh host and opens a loader interface on it.
    void MakeBoard(const SimSRecLoaderConfig& config_I, std::uint16_t usagePage_I = 0x000D)
    {
        CFLProtocol::Instance()->SetProtocolType(config_I.protocolType);
        loader = std::make_shared<CSimSRecLoader>(config_I);
        Attach(loader, config_I.startInLoader, usagePage_I);
    }

    std::shared_ptr<CSimSRecLoader> loader;
};

inline SimSRecLoaderConfig Loader(std::vector<SimLoaderBlock> blocks_I, std::uint16_t blockSize_I = 16,
                                  int protocolType_I = 0, std::uint16_t wordSize_I = 4)
{
    SimSRecLoaderConfig c;
    c.protocolType = protocolType_I;
    c.blockSize = blockSize_I;
    c.wordSize = wordSize_I;
    c.readSize = 8;
    c.blocks = std::move(blocks_I);
    return c;
}

// Every image byte is in the board's flash, every other byte of [from, to) is erased.
inline void ExpectFlashHolds(const CSimSRecLoader& loader_I, const std::vector<SRecBlock>& image_I,
                             std::uint32_t from_I, std::uint32_t to_I)
{
    std::vector<int> expected(to_I - from_I, 0xFF);
    for (const SRecBlock& s : image_I)
        for (std::size_t i = 0; i < s.data.size(); ++i)
            expected[s.address + i - from_I] = s.data[i];
    for (std::uint32_t a = from_I; a < to_I; ++a)
        ASSERT_EQ(loader_I.FlashByte(a), expected[a - from_I]) << "address 0x" << std::hex << a;
}

template <class T> std::vector<T> Concat(std::initializer_list<std::vector<T>> parts_I)
{
    std::vector<T> out;
    for (const std::vector<T>& p : parts_I)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// The waits of one SafeRead/SafeWrite that never succeeds: 100 retries 10, 11, ... 109 ms apart,
// then 1000 ms before the reopen.
inline Sleeps FailedSafeTransferSleeps()
{
    Sleeps out;
    for (std::uint32_t v = 10; v < 110; ++v)
        out.push_back(v);
    out.push_back(1000);
    return out;
}

// Deterministic bytes without 0xFF.
inline Bytes Pattern(std::size_t length_I, std::uint8_t seed_I = 1)
{
    Bytes out(length_I);
    std::uint32_t x = seed_I * 2654435761u + 1;
    for (auto& b : out) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
        if (b == 0xFF)
            b = 0x5A;
    }
    return out;
}
