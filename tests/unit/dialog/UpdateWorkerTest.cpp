#include "../orchestration/SimTabletFixture.h"

#include "FWUpdater/CUpdateWorker.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {

// Waits (bounded) until the condition holds.
template <typename Condition>
bool WaitUntil(Condition condition_I)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!condition_I()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
}

} // namespace

TEST(UpdateWorker, StopEndsAnUpdateWaitingForItsLoaderWithoutKillingTheThread)
{
    SimTabletFixture f("basic", [](SimScenario& s) { s.boards[0].reenumerateMs = 10 * 60 * 1000; });
    ASSERT_TRUE(f.mController->UpdateDeviceList());
    f.mController->SetUpdateType(0);
    ASSERT_TRUE(f.mController->ProcessUpdateFile(f.ScenarioFile("basic.pen")));

    // Half a minute into the wait the worker blocks (in real time) until it is told to stop.
    std::atomic<bool> waiting {false};
    f.mClock->schedule(f.mClock->now() + 30000, [&] {
        waiting = true;
        if (auto token = CurrentStopToken())
            token->WaitFor(60 * 1000);
    });

    CUpdateWorker worker;
    ASSERT_TRUE(worker.Start(f.mController));
    ASSERT_TRUE(WaitUntil([&] { return waiting.load(); }));
    EXPECT_TRUE(worker.IsRunning());
    worker.Stop();
    CUpdateWorker::JoinStragglers();
    EXPECT_FALSE(worker.HasWorker());

    // The stopped wait gave up at once instead of sleeping out its 90 attempts.
    EXPECT_LT(f.mClock->now(), 40000u);
    EXPECT_EQ(f.mNotifier->GetState(), 6);
    EXPECT_TRUE(f.LogHas("[ERROR] General Program Failure (6)"));
}

TEST(UpdateWorker, StartAfterAFinishedUpdateRunsAFreshWorker)
{
    SimTabletFixture f("basic");
    ASSERT_TRUE(f.mController->UpdateDeviceList());
    f.mController->SetUpdateType(0);
    ASSERT_TRUE(f.mController->ProcessUpdateFile(f.ScenarioFile("basic.pen")));
    CUpdateWorker worker;
    EXPECT_FALSE(worker.HasWorker());
    worker.Stop(); // no worker: nothing to wait for
    ASSERT_TRUE(worker.Start(f.mController));
    ASSERT_TRUE(WaitUntil([&] { return !worker.IsRunning(); }));
    EXPECT_EQ(f.mNotifier->GetState(), 5);
    ASSERT_TRUE(worker.Start(f.mController));
    ASSERT_TRUE(WaitUntil([&] { return !worker.IsRunning(); }));
    EXPECT_EQ(f.mNotifier->GetState(), 5);
    EXPECT_EQ(f.mBus.Board("pen")->Reenumerations(), 4);
}
