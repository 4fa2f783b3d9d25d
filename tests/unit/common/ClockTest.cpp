#include "Clock.h"

#include <gtest/gtest.h>

#include <future>

using Ran = std::vector<std::pair<int, CClock::TimePoint>>;

TEST(VirtualClock, SleepAdvancesAtOnceIsRecordedAndRunsDueEventsInOrder)
{
    const auto previous = GetClock();
    auto clock = std::make_shared<CVirtualClock>(1000);
    {
        CScopedClock installed(clock);
        {
            CScopedClock nested(std::make_shared<CVirtualClock>());
            EXPECT_NE(GetClock(), clock);
        }
        EXPECT_EQ(GetClock(), clock);
        Ran ran;
        clock->schedule(2300, [&] { ran.push_back({1, clock->now()}); });
        clock->schedule(1500, [&] { ran.push_back({2, clock->now()}); });
        clock->schedule(1500, [&] { ran.push_back({3, clock->now()}); });
        GetClock()->sleep(400);
        EXPECT_TRUE(ran.empty());
        GetClock()->sleep(1000); // to 2400: the events at 1500 (in scheduling order), then 2300
        EXPECT_EQ(ran, (Ran {{2, 1500}, {3, 1500}, {1, 2300}}));
        GetClock()->sleep(90 * 1000); // at once: a real wait would time the test out
    }
    EXPECT_EQ(GetClock(), previous);
    EXPECT_EQ(clock->now(), 1000u + 400 + 1000 + 90000);
    EXPECT_EQ(clock->sleeps(), (std::vector<std::uint32_t> {400, 1000, 90000}));
}

TEST(VirtualClock, EventsMayScheduleMoreSleepOrBeCancelled)
{
    CVirtualClock clock;
    int chain = 0;
    std::function<void()> step = [&] {
        if (++chain < 5)
            clock.scheduleAfter(100, step);
    };
    clock.scheduleAfter(100, step);
    const auto cancelled = clock.scheduleAfter(250, [&] { chain = -100; });
    bool inner = false;
    clock.schedule(10, [&] {
        clock.sleep(20); // a sleeping event must not deadlock the clock
        inner = true;
    });
    EXPECT_TRUE(clock.cancel(cancelled));
    EXPECT_FALSE(clock.cancel(cancelled));
    clock.sleep(1000);
    EXPECT_EQ(chain, 5);
    EXPECT_TRUE(inner);
    EXPECT_FALSE(clock.hasPending());
}

// A stop must wake a real sleep at once, or closing waits for the whole sleep.
TEST(SteadyClock, AStopWakesASleep)
{
    CSteadyClock clock;
    auto token = std::make_shared<CStopToken>();
    std::promise<void> sleeping;
    std::thread worker([&] {
        CStopScope scope(token);
        sleeping.set_value();
        clock.sleep(60 * 60 * 1000); // an hour, unless stopped
    });
    sleeping.get_future().wait();
    token->RequestStop();
    worker.join(); // returns only because the stop woke the sleep
}
