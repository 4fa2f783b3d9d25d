#pragma once
// The fault rig with its controller open from the start, for the dialog, command-line and GTK tests.

#include "../faults/FaultRig.h"

#include "FWUpdater/CDiscovery.h"

#include <algorithm>
#include <chrono>
#include <thread>

// Repeats step_I (which says when it is done) until it is, bounded so that a hang fails instead of blocking.
inline bool WaitUntil(const std::function<bool()>& step_I, int seconds_I = 60)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds_I);
    while (!step_I()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
}

class SimTabletFixture : public CFaultRig
{
public:
    explicit SimTabletFixture(const std::string& scenario_I, std::function<void(SimScenario&)> adjust_I = nullptr)
        : CFaultRig(scenario_I, adjust_I)
    {
        Open();
    }
    std::string LogText() const { return Current().log; }
    int LogFind(const std::string& prefix_I, int from_I = 0) const { return Current().Find(prefix_I, from_I); }
    bool LogHas(const std::string& line_I) const
    {
        const auto lines = SplitLines(LogText());
        return std::find(lines.begin(), lines.end(), line_I) != lines.end();
    }
};
