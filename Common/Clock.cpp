#include "Clock.h"

#include <chrono>

namespace {

std::mutex& ClockMutex()
{
    static std::mutex m;
    return m;
}

std::shared_ptr<CClock>& InstalledClock()
{
    static std::shared_ptr<CClock> clock;
    return clock;
}

std::shared_ptr<CClock> SteadyClock()
{
    static std::shared_ptr<CClock> clock = std::make_shared<CSteadyClock>();
    return clock;
}

// The innermost scope of the calling thread. A plain pointer on purpose: a thread-local with a
// destructor (a shared pointer) is destroyed at thread exit after mingw's emulated TLS block may
// already be freed and reused, which crashed worker threads on Windows.
thread_local const CStopScope* tStopScope = nullptr;

} // namespace

void CStopToken::RequestStop()
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mStop = true;
    }
    mWake.notify_all();
}

bool CStopToken::StopRequested() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mStop;
}

bool CStopToken::WaitFor(std::uint32_t ms_I)
{
    std::unique_lock<std::mutex> lock(mMutex);
    return mWake.wait_for(lock, std::chrono::milliseconds(ms_I), [this] { return mStop; });
}

CStopScope::CStopScope(std::shared_ptr<CStopToken> token_I) : mToken(std::move(token_I)), mPrevious(tStopScope)
{
    tStopScope = this;
}

CStopScope::~CStopScope()
{
    tStopScope = mPrevious;
}

std::shared_ptr<CStopToken> CurrentStopToken()
{
    return tStopScope ? tStopScope->Token() : nullptr;
}

bool StopRequestedOnThisThread()
{
    // Asked before every report and every wait: no reference counting on this path.
    return tStopScope && tStopScope->StopRequested();
}

std::shared_ptr<CClock> GetClock()
{
    std::lock_guard<std::mutex> lock(ClockMutex());
    if (InstalledClock())
        return InstalledClock();
    return SteadyClock();
}

void SetClock(std::shared_ptr<CClock> clock_I)
{
    std::lock_guard<std::mutex> lock(ClockMutex());
    InstalledClock() = std::move(clock_I);
}

CScopedClock::CScopedClock(std::shared_ptr<CClock> clock_I)
{
    std::lock_guard<std::mutex> lock(ClockMutex());
    mPrevious = InstalledClock();
    InstalledClock() = std::move(clock_I);
}

CScopedClock::~CScopedClock()
{
    std::lock_guard<std::mutex> lock(ClockMutex());
    InstalledClock() = std::move(mPrevious);
}

// ---------------------------------------------------------------------------------------------

CClock::TimerId CTimerQueue::Add(CClock::TimePoint at_I, std::function<void()> fn_I)
{
    const CClock::TimerId id = mNextId++;
    mEvents.emplace(Key(at_I, id), std::move(fn_I));
    mTimes.emplace(id, at_I);
    return id;
}

bool CTimerQueue::Remove(CClock::TimerId id_I)
{
    auto it = mTimes.find(id_I);
    if (it == mTimes.end())
        return false;
    mEvents.erase(Key(it->second, id_I));
    mTimes.erase(it);
    return true;
}

bool CTimerQueue::PopDue(CClock::TimePoint limit_I, CClock::TimePoint& at_O, std::function<void()>& fn_O)
{
    if (mEvents.empty() || mEvents.begin()->first.first > limit_I)
        return false;
    auto it = mEvents.begin();
    at_O = it->first.first;
    fn_O = std::move(it->second);
    mTimes.erase(it->first.second);
    mEvents.erase(it);
    return true;
}

bool CTimerQueue::Earliest(CClock::TimePoint& at_O) const
{
    if (mEvents.empty())
        return false;
    at_O = mEvents.begin()->first.first;
    return true;
}

// ---------------------------------------------------------------------------------------------

CSteadyClock::~CSteadyClock()
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mStop = true;
    }
    mWake.notify_all();
    if (mThread.joinable())
        mThread.join();
}

CClock::TimePoint CSteadyClock::now()
{
    using namespace std::chrono;
    return static_cast<TimePoint>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void CSteadyClock::sleep(std::uint32_t ms_I)
{
    if (const std::shared_ptr<CStopToken> token = CurrentStopToken()) {
        token->WaitFor(ms_I);
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms_I));
}

CClock::TimerId CSteadyClock::schedule(TimePoint at_I, std::function<void()> fn_I)
{
    std::lock_guard<std::mutex> lock(mMutex);
    const TimerId id = mQueue.Add(at_I, std::move(fn_I));
    if (!mThread.joinable())
        mThread = std::thread(&CSteadyClock::Run, this);
    mWake.notify_all();
    return id;
}

bool CSteadyClock::cancel(TimerId id_I)
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mQueue.Remove(id_I);
}

void CSteadyClock::Run()
{
    std::unique_lock<std::mutex> lock(mMutex);
    while (!mStop) {
        TimePoint at = 0;
        std::function<void()> fn;
        if (mQueue.PopDue(now(), at, fn)) {
            lock.unlock();
            fn();
            lock.lock();
            continue;
        }
        if (mQueue.Earliest(at)) {
            const TimePoint current = now();
            mWake.wait_for(lock, std::chrono::milliseconds(at > current ? at - current : 0));
        } else {
            mWake.wait(lock);
        }
    }
}

// ---------------------------------------------------------------------------------------------

CVirtualClock::CVirtualClock(TimePoint start_I) : mNow(start_I)
{
    mSleeps.reserve(128); // a retry storm's worth, without growing from one
}

CClock::TimePoint CVirtualClock::now()
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mNow;
}

void CVirtualClock::sleep(std::uint32_t ms_I)
{
    if (StopRequestedOnThisThread())
        return; // a stopped worker no longer waits, in virtual time as in real time
    TimePoint target;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mSleeps.push_back(ms_I);
        mTotalSlept += ms_I;
        target = mNow + ms_I;
    }
    AdvanceTo(target);
}

void CVirtualClock::advance(std::uint32_t ms_I)
{
    TimePoint target;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        target = mNow + ms_I;
    }
    AdvanceTo(target);
}

void CVirtualClock::runDue()
{
    AdvanceTo(now());
}

void CVirtualClock::AdvanceTo(TimePoint target_I)
{
    std::unique_lock<std::mutex> lock(mMutex);
    // Most sleeps pass no event: nothing is built for them.
    for (TimePoint due = 0; mQueue.Earliest(due) && due <= target_I;) {
        TimePoint at = 0;
        std::function<void()> fn;
        if (!mQueue.PopDue(target_I, at, fn))
            break;
        if (at > mNow)
            mNow = at;
        // Events may schedule further events or sleep themselves; never hold the lock while they run.
        lock.unlock();
        fn();
        lock.lock();
    }
    if (target_I > mNow)
        mNow = target_I;
}

CClock::TimerId CVirtualClock::schedule(TimePoint at_I, std::function<void()> fn_I)
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mQueue.Add(at_I, std::move(fn_I));
}

bool CVirtualClock::cancel(TimerId id_I)
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mQueue.Remove(id_I);
}

std::vector<std::uint32_t> CVirtualClock::sleeps() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mSleeps;
}

void CVirtualClock::clearSleeps()
{
    std::lock_guard<std::mutex> lock(mMutex);
    mSleeps.clear();
    mTotalSlept = 0;
}

std::uint64_t CVirtualClock::totalSlept() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mTotalSlept;
}

bool CVirtualClock::hasPending() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return !mQueue.Empty();
}
