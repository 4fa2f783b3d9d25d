#pragma once

#include "Clock.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>

// Simulated time running a whole number of times faster than real time (VFWU_SIM_SPEED, a
// developer setting for the simulator's demos and the program's own tests). Every wait of the
// program and every event of the simulated boards shortens alike, so their order is kept.
// Timers run on a steady clock's own thread, mapped to real time so that none fires before the
// scaled time reaches it.
class CFastSimClock : public CClock
{
public:
    explicit CFastSimClock(std::uint32_t speed_I) : mSpeed(speed_I), mStartMs(mReal.now()) {}

    TimePoint now() override
    {
        using namespace std::chrono;
        const auto realUs = duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
        return static_cast<TimePoint>(realUs - static_cast<std::int64_t>(mStartMs) * 1000) * mSpeed / 1000;
    }
    void sleep(std::uint32_t ms_I) override
    {
        const std::uint64_t realUs = (static_cast<std::uint64_t>(ms_I) * 1000 + mSpeed - 1) / mSpeed;
        if (const std::shared_ptr<CStopToken> token = CurrentStopToken()) {
            token->WaitFor(static_cast<std::uint32_t>((realUs + 999) / 1000));
            return;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(realUs));
    }
    TimerId schedule(TimePoint at_I, std::function<void()> fn_I) override
    {
        return mReal.schedule(mStartMs + (at_I + mSpeed - 1) / mSpeed, std::move(fn_I));
    }
    bool cancel(TimerId id_I) override { return mReal.cancel(id_I); }

private:
    CSteadyClock mReal;
    const std::uint32_t mSpeed;
    const TimePoint mStartMs;
};
