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

std::mutex& StragglerMutex()
{
    static std::mutex m;
    return m;
}

std::vector<std::thread>& Stragglers()
{
    static std::vector<std::thread> threads;
    return threads;
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

void CUpdateWorker::Stop(std::uint32_t maxWaitMs_I)
{
    if (!mThread.joinable())
        return;
    mShared->mStop->RequestStop();
    bool finished;
    {
        std::unique_lock<std::mutex> lock(mShared->mMutex);
        // A bounded wait for the thread's end, not a pause of the program's logic.
        finished = mShared->mDone.wait_for(lock, std::chrono::milliseconds(maxWaitMs_I), [this] { return mShared->mFinished; });
    }
    if (finished) {
        mThread.join();
    } else {
        std::lock_guard<std::mutex> lock(StragglerMutex());
        Stragglers().push_back(std::move(mThread));
    }
    mShared.reset();
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
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(StragglerMutex());
        threads.swap(Stragglers());
    }
    for (std::thread& t : threads)
        t.join();
}
