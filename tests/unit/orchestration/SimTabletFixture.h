#pragma once
// The fault rig with its controller open from the start, for the dialog, command-line and GTK tests.

#include "../faults/FaultRig.h"

#include "FWUpdater/CDiscovery.h"

#include <algorithm>

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
    static bool FlashHolds(const CSimBoard& board_I, const std::vector<SRecBlock>& image_I)
    {
        return FlashDifference(board_I, image_I).empty();
    }
};
