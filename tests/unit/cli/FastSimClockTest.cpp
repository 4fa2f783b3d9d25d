// The simulated tablets' faster time (VFWU_SIM_SPEED).

#include "FWUpdater/CFastSimClock.h"

#include <gtest/gtest.h>

#include <atomic>

// Scaled time keeps the clock's promises: a sleep lasts at least its time, an event never runs
// before its time, and both take a twentieth of it in real time (bounded generously).
TEST(FastSimClock, SleepsAndEventsKeepTheirOrderInScaledTime)
{
    std::atomic<CClock::TimePoint> ranAt {0}; // outlives the clock's timer thread
    CFastSimClock clock(20);
    const auto realStart = std::chrono::steady_clock::now();
    const CClock::TimePoint due = clock.now() + 1000;
    clock.schedule(due, [&] { ranAt = clock.now(); });
    const CClock::TimePoint before = clock.now();
    clock.sleep(600);
    EXPECT_GE(clock.now(), before + 600);
    while (ranAt.load() == 0 && std::chrono::steady_clock::now() - realStart < std::chrono::seconds(10))
        clock.sleep(100);
    EXPECT_GE(ranAt.load(), due);
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::seconds(10));
}
