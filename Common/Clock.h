#pragma once
// The one clock every wait of the system goes through.
//
// Production uses CSteadyClock. Tests install a CVirtualClock, whose sleep advances time at once
// and runs whatever was scheduled up to the new time, so a test can check that a retry slept
// 10 then 11 ms, or that a wait gave up after 90 one-second attempts, in microseconds.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

class CClock
{
public:
    using TimePoint = std::uint64_t; // milliseconds since the clock's own epoch
    using TimerId = std::uint64_t;

    virtual ~CClock() = default;

    virtual TimePoint now() = 0;
    virtual void sleep(std::uint32_t ms_I) = 0;

    // Runs fn once the clock reaches `at`: a virtual clock inside the sleep (or advance) that
    // passes that time, a steady clock on its own timer thread. Events due at the same time run
    // in the order they were scheduled.
    virtual TimerId schedule(TimePoint at_I, std::function<void()> fn_I) = 0;
    // False when the event already ran or was cancelled.
    virtual bool cancel(TimerId id_I) = 0;

    TimerId scheduleAfter(std::uint32_t delay_I, std::function<void()> fn_I)
    {
        return schedule(now() + delay_I, std::move(fn_I));
    }
};

// Cooperative stop of one thread's work (the update worker). The requester sets the token; the
// worker binds it to its thread with CStopScope, and from then on every clock sleep on that
// thread returns at once, so retry loops and waits end promptly instead of being killed.
class CStopToken
{
public:
    void RequestStop();
    bool StopRequested() const;
    // Waits up to ms (real time) or until a stop is requested; true when stopped.
    bool WaitFor(std::uint32_t ms_I);

private:
    mutable std::mutex mMutex;
    std::condition_variable mWake;
    bool mStop = false;
};

class CStopScope
{
public:
    explicit CStopScope(std::shared_ptr<CStopToken> token_I);
    ~CStopScope();
    CStopScope(const CStopScope&) = delete;
    CStopScope& operator=(const CStopScope&) = delete;

    std::shared_ptr<CStopToken> Token() const { return mToken; }
    bool StopRequested() const { return mToken && mToken->StopRequested(); }

private:
    std::shared_ptr<CStopToken> mToken;
    const CStopScope* mPrevious;
};

// The token bound to the calling thread, or null.
std::shared_ptr<CStopToken> CurrentStopToken();
// True when the calling thread's work was asked to stop.
bool StopRequestedOnThisThread();

// The process-wide clock: a CSteadyClock unless a test (or the simulator) installed another.
std::shared_ptr<CClock> GetClock();
// Installs a clock; null restores the steady clock.
void SetClock(std::shared_ptr<CClock> clock_I);

// Installs a clock for the lifetime of a scope and restores the previous one after.
class CScopedClock
{
public:
    explicit CScopedClock(std::shared_ptr<CClock> clock_I);
    ~CScopedClock();
    CScopedClock(const CScopedClock&) = delete;
    CScopedClock& operator=(const CScopedClock&) = delete;

private:
    std::shared_ptr<CClock> mPrevious;
};

// Shared bookkeeping of scheduled events, ordered by (time, sequence).
class CTimerQueue
{
public:
    using Key = std::pair<CClock::TimePoint, CClock::TimerId>;

    CClock::TimerId Add(CClock::TimePoint at_I, std::function<void()> fn_I);
    bool Remove(CClock::TimerId id_I);
    // Earliest event due at or before `limit`; false when none.
    bool PopDue(CClock::TimePoint limit_I, CClock::TimePoint& at_O, std::function<void()>& fn_O);
    bool Earliest(CClock::TimePoint& at_O) const;
    bool Empty() const { return mEvents.empty(); }

private:
    CClock::TimerId mNextId = 1;
    std::map<Key, std::function<void()>> mEvents;
    std::map<CClock::TimerId, CClock::TimePoint> mTimes;
};

class CSteadyClock : public CClock
{
public:
    CSteadyClock() = default;
    ~CSteadyClock() override;

    TimePoint now() override;
    void sleep(std::uint32_t ms_I) override;
    TimerId schedule(TimePoint at_I, std::function<void()> fn_I) override;
    bool cancel(TimerId id_I) override;

private:
    void Run();

    std::mutex mMutex;
    std::condition_variable mWake;
    CTimerQueue mQueue;
    std::thread mThread;
    bool mStop = false;
};

class CVirtualClock : public CClock
{
public:
    explicit CVirtualClock(TimePoint start_I = 0);

    TimePoint now() override;
    // Advances time by ms, running due events on the calling thread, and records the sleep.
    void sleep(std::uint32_t ms_I) override;
    TimerId schedule(TimePoint at_I, std::function<void()> fn_I) override;
    bool cancel(TimerId id_I) override;

    // Like sleep, but not recorded: the test's own passage of time.
    void advance(std::uint32_t ms_I);
    // Runs the events that are due now.
    void runDue();

    // Every sleep of the code under test, in order.
    std::vector<std::uint32_t> sleeps() const;
    void clearSleeps();
    std::uint64_t totalSlept() const;
    bool hasPending() const;

private:
    void AdvanceTo(TimePoint target_I);

    mutable std::mutex mMutex;
    TimePoint mNow;
    CTimerQueue mQueue;
    std::vector<std::uint32_t> mSleeps;
    std::uint64_t mTotalSlept = 0;
};
