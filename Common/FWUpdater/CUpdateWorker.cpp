#include "FWUpdater/CUpdateWorker.h"

#include "FWUpdater/CUpdateController.h"
#include "Clock.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

struct CUpdateWorker::Shared
{
    std::shared_ptr<CStopToken> mStop = std::make_shared<CStopToken>();
    std::mutex mMutex;
    std::condition_variable mDone;
    bool mFinished = false;
};

namespace {

struct Straggler
{
    std::thread mThread;
    std::function<void()> mAfterEnd;
};

void Collect(std::vector<Straggler>& stragglers_IO)
{
    for (Straggler& straggler : stragglers_IO) {
        straggler.mThread.join();
        if (straggler.mAfterEnd)
            straggler.mAfterEnd();
        straggler.mAfterEnd = nullptr;
    }
    stragglers_IO.clear();
}

struct StragglerList
{
    std::mutex mMutex;
    std::vector<Straggler> mThreads;
    // A front end that forgot JoinStragglers: waiting here at exit is still better than the
    // std::terminate of a joinable thread's destructor.
    ~StragglerList() { Collect(mThreads); }
};

StragglerList& Stragglers()
{
    static StragglerList list;
    return list;
}

} // namespace

CUpdateWorker::~CUpdateWorker()
{
    Stop();
}

bool CUpdateWorker::Start(std::shared_ptr<CUpdateController> controller_I)
{
    Stop();
    auto shared = std::make_shared<Shared>();
    try {
        mThread = std::thread([shared, controller = std::move(controller_I)] {
            {
                CStopScope scope(shared->mStop);
                controller->UpdateDevice();
            }
            std::lock_guard<std::mutex> lock(shared->mMutex);
            shared->mFinished = true;
            shared->mDone.notify_all();
        });
    } catch (const std::system_error&) {
        return false;
    }
    mShared = std::move(shared);
    return true;
}

void CUpdateWorker::Stop(std::uint32_t maxWaitMs_I, std::function<void()> afterEnd_I)
{
    if (!mThread.joinable()) {
        if (afterEnd_I)
            afterEnd_I();
        return;
    }
    mShared->mStop->RequestStop();
    bool finished;
    {
        std::unique_lock<std::mutex> lock(mShared->mMutex);
        // A bounded wait for the thread's end, not a pause of the program's logic.
        finished = mShared->mDone.wait_for(lock, std::chrono::milliseconds(maxWaitMs_I), [this] { return mShared->mFinished; });
    }
    mShared.reset();
    if (finished) {
        mThread.join();
        if (afterEnd_I)
            afterEnd_I();
    } else {
        StragglerList& list = Stragglers();
        std::lock_guard<std::mutex> lock(list.mMutex);
        list.mThreads.push_back(Straggler {std::move(mThread), std::move(afterEnd_I)});
    }
}

bool CUpdateWorker::IsRunning() const
{
    if (!mShared)
        return false;
    std::lock_guard<std::mutex> lock(mShared->mMutex);
    return !mShared->mFinished;
}

void CUpdateWorker::JoinStragglers()
{
    std::vector<Straggler> threads;
    {
        StragglerList& list = Stragglers();
        std::lock_guard<std::mutex> lock(list.mMutex);
        threads.swap(list.mThreads);
    }
    Collect(threads);
}

std::size_t CUpdateWorker::StragglerCount()
{
    StragglerList& list = Stragglers();
    std::lock_guard<std::mutex> lock(list.mMutex);
    return list.mThreads.size();
}
