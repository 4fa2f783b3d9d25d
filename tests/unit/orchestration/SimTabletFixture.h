#pragma once
// A simulated tablet scenario, its controller and a log captured in memory, on a virtual clock.

#include "CSimBus.h"
#include "CSimUpdateController.h"
#include "Clock.h"
#include "LogUpdateNotifier.h"
#include "SimScenarios.h"
#include "TestSupport.h"

#include "FWUpdater/CDevice.h"
#include "FWUpdater/CDiscovery.h"
#include "FWUpdater/CFLDeviceInterface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>

class SimTabletFixture
{
public:
    // adjust_I may change the scenario's boards or topology path before the boards are plugged in.
    explicit SimTabletFixture(const std::string& scenario_I, std::function<void(SimScenario&)> adjust_I = nullptr)
        : mClock(std::make_shared<CVirtualClock>()), mScopedClock(mClock)
    {
        if (!GetSimScenario(scenario_I, DataDir(), mScenario))
            throw std::runtime_error("unknown scenario " + scenario_I);
        if (adjust_I)
            adjust_I(mScenario);
        PlugInSimScenario(mScenario, mBus);
        mController = std::make_shared<CSimUpdateController>(mBus.Host(), mScenario.topologyPath);
        mNotifier = std::make_unique<CLogUpdateNotifier>(std::make_unique<CMemoryLogFile>(mLog), "memory", "\n",
                                                         ELogEncoding::eUtf8);
        mController->SetNotifier(mNotifier.get());
        std::weak_ptr<CSimUpdateController> weak = mController;
        mBus.SetInterfaceEventSink([weak](bool arrival, const std::string& path) {
            if (auto controller = weak.lock())
                arrival ? controller->OnInterfaceAttached(path) : controller->OnInterfaceDetached(path);
        });
    }

    ~SimTabletFixture()
    {
        mBus.SetInterfaceEventSink(nullptr);
        mController->SetNotifier(nullptr);
    }

    static std::string DataDir() { return std::string(VFWU_SOURCE_DIR) + "/data"; }
    std::string ScenarioFile(const std::string& name_I) const
    {
        return DataDir() + "/scenarios/" + mScenario.name + "/" + name_I;
    }

    // The current device's pen-board "intoBLMode" (true without a current device).
    bool GetCurrentPenIntoBLMode() const
    {
        const auto device = mController->GetCurrentDevice();
        return !device || device->mIntoBLMode[0];
    }

    std::string LogText()
    {
        std::lock_guard<std::mutex> lock(mLog->mMutex);
        return mLog->mText;
    }
    std::vector<std::string> LogLines() { return SplitLines(LogText()); }
    std::vector<int> States()
    {
        std::vector<int> states;
        for (const std::string& line : LogLines()) {
            if (line.rfind("[STATE] ", 0) == 0)
                states.push_back(std::stoi(line.substr(8)));
        }
        return states;
    }
    bool LogHas(const std::string& line_I)
    {
        const auto lines = LogLines();
        return std::find(lines.begin(), lines.end(), line_I) != lines.end();
    }
    // Index of the first line starting with prefix_I at or after from_I, or -1.
    int LogFind(const std::string& prefix_I, int from_I = 0)
    {
        const auto lines = LogLines();
        for (std::size_t i = static_cast<std::size_t>(from_I); i < lines.size(); ++i) {
            if (lines[i].rfind(prefix_I, 0) == 0)
                return static_cast<int>(i);
        }
        return -1;
    }

    // True when every byte of the image is in the board's flash.
    static bool FlashHolds(const CSimBoard& board_I, const std::vector<SRecBlock>& image_I)
    {
        for (const SRecBlock& block : image_I) {
            for (std::size_t i = 0; i < block.data.size(); ++i) {
                if (board_I.Loader().FlashByte(block.address + static_cast<std::uint32_t>(i)) != block.data[i])
                    return false;
            }
        }
        return true;
    }

    std::shared_ptr<CVirtualClock> mClock;
    CScopedClock mScopedClock;
    SimScenario mScenario;
    CSimBus mBus;
    std::shared_ptr<CSimUpdateController> mController;
    std::shared_ptr<CMemoryLogFile::Contents> mLog = std::make_shared<CMemoryLogFile::Contents>();
    std::unique_ptr<CLogUpdateNotifier> mNotifier;
};
