#pragma once
// A simulated loader board on a simulated host, the real device interface on top, a virtual
// clock and a notifier that records everything the interface reports.

#include "CSimHIDFLDeviceInterface.h"
#include "CSimHost.h"
#include "CSimSRecLoader.h"
#include "Clock.h"
#include "FWUpdater/CFLProtocol.h"
#include "FWUpdater/CInterfaceNotifier.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

struct NotifierEntry
{
    char kind; // 'L' log, 'E' error, 'P' progress
    std::string text;
    int percent = 0;
};

class CRecordingNotifier : public CInterfaceNotifier
{
public:
    void Log(const std::string& message_I) override
    {
        mEntries.push_back({'L', message_I});
        if (mOnLog)
            mOnLog(message_I);
    }
    void ReportError(const std::string& message_I) override { mEntries.push_back({'E', message_I}); }
    void ReportProgress(std::int32_t percent_I) override { mEntries.push_back({'P', std::string(), percent_I}); }

    std::vector<std::string> Of(char kind_I) const
    {
        std::vector<std::string> out;
        for (const auto& e : mEntries)
            if (e.kind == kind_I)
                out.push_back(e.text);
        return out;
    }
    std::vector<std::string> Logs() const { return Of('L'); }
    std::vector<std::string> Errors() const { return Of('E'); }
    std::vector<int> Progress() const
    {
        std::vector<int> out;
        for (const auto& e : mEntries)
            if (e.kind == 'P')
                out.push_back(e.percent);
        return out;
    }
    int Count(char kind_I, const std::string& text_I) const
    {
        int n = 0;
        for (const auto& e : mEntries)
            n += (e.kind == kind_I && e.text == text_I) ? 1 : 0;
        return n;
    }
    bool HasLog(const std::string& text_I) const { return Count('L', text_I) > 0; }
    bool HasError(const std::string& text_I) const { return Count('E', text_I) > 0; }

    std::vector<NotifierEntry> mEntries;
    std::function<void(const std::string&)> mOnLog;
};

// One report on the wire, unwrapped for reading: direction, inner id, inner bytes.
struct WireReport
{
    ESimWireDirection direction;
    std::uint8_t id;
    std::vector<std::uint8_t> bytes;
    bool ok;
};

inline std::string Describe(const WireReport& r)
{
    char text[16];
    std::snprintf(text, sizeof text, "%s %02X", r.direction == ESimWireDirection::eSet ? "SET" : "GET", r.id);
    return text;
}

class FlashFixture : public ::testing::Test
{
protected:
    static constexpr const char* kPath = "\\\\?\\hid#vid_2d1f&pid_0200#7&1a2b3c&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

    void SetUp() override { CFLProtocol::Instance()->SetProtocolType(0); }
    void TearDown() override { CFLProtocol::Instance()->SetProtocolType(0); }

    // Puts a board with this configuration on the host and opens a loader interface on it.
    void MakeBoard(const SimSRecLoaderConfig& config_I, std::uint16_t usagePage_I = 0x000D, bool open_I = true)
    {
        loader = std::make_shared<CSimSRecLoader>(config_I);
        SimHidNodeInfo info;
        info.path = kPath;
        info.vendorId = 0x2D1F;
        info.productId = 0x0200;
        info.version = 0x0110;
        info.usagePage = usagePage_I;
        info.usage = 0x0002;
        info.parentIds = {"HID\\VID_2D1F&PID_0200\\7&1A2B3C&0&0000", "USB\\VID_2D1F&PID_0200\\5&2F3D&0&2",
                          "USB\\ROOT_HUB30\\4&1C2B&0&0"};
        host->AddNode(info, loader);
        device = std::make_shared<CSimHIDFLDeviceInterface>(kPath, host);
        device->SetNotifier(&notifier);
        ASSERT_TRUE(device->ReadAttributes());
        device->SetFirmwareLoader(config_I.startInLoader);
        if (open_I) {
            ASSERT_TRUE(device->Open());
        }
        host->ClearTranscript();
        clock->clearSleeps();
    }

    std::vector<WireReport> Wire() const
    {
        std::vector<WireReport> out;
        for (const SimWireRecord& r : host->Transcript()) {
            std::vector<std::uint8_t> inner = r.bytes;
            if (!r.bytes.empty() && r.bytes[0] == 0xDC && wrapped) {
                inner.clear();
                SimUnwrapVendorReport(r.bytes, inner);
            }
            out.push_back({r.direction, inner.empty() ? std::uint8_t(0) : inner[0], inner, r.ok});
        }
        return out;
    }

    std::vector<std::string> WireIds() const
    {
        std::vector<std::string> out;
        for (const WireReport& r : Wire())
            out.push_back(Describe(r));
        return out;
    }

    static std::vector<std::uint32_t> Range(std::uint32_t from_I, std::uint32_t to_I)
    {
        std::vector<std::uint32_t> out;
        for (std::uint32_t v = from_I; v <= to_I; ++v)
            out.push_back(v);
        return out;
    }

    std::shared_ptr<CVirtualClock> clock = std::make_shared<CVirtualClock>();
    CScopedClock scopedClock{clock};
    std::shared_ptr<CSimHost> host = std::make_shared<CSimHost>();
    std::shared_ptr<CSimSRecLoader> loader;
    std::shared_ptr<CSimHIDFLDeviceInterface> device;
    CRecordingNotifier notifier;
    bool wrapped = false; // set when the node is on the vendor page
};

// Deterministic non-0xFF-heavy bytes.
inline std::vector<std::uint8_t> Pattern(std::size_t length_I, std::uint8_t seed_I = 1)
{
    std::vector<std::uint8_t> out(length_I);
    std::uint32_t x = seed_I * 2654435761u + 1;
    for (auto& b : out) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
        if (b == 0xFF)
            b = 0x5A;
    }
    return out;
}
