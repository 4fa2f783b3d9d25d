#include "RecordingView.h"

#include <atomic>
#include <future>

namespace {

// Holds the worker 30 s into its wait for the loader, as a hung system call would, until released.
class CHungCall
{
public:
    explicit CHungCall(CClock& clock_I)
    {
        clock_I.schedule(clock_I.now() + 30000, [this] {
            mEntered = true;
            mRelease.get_future().wait();
        });
    }
    bool Entered() const { return mEntered.load(); }
    void Release() { mRelease.set_value(); }

private:
    std::atomic<bool> mEntered {false};
    std::promise<void> mRelease;
};

} // namespace

TEST(UpdateWorker, StopEndsAnUpdateWaitingForItsLoaderWithoutKillingTheThread)
{
    SimTabletFixture f("basic", SlowLoader);
    ASSERT_TRUE(f.Prepare());
    std::atomic<bool> waiting {false};
    f.mClock->schedule(f.mClock->now() + 30000, [&] {
        waiting = true;
        if (auto token = CurrentStopToken())
            token->WaitFor(60 * 1000);
    });
    CUpdateWorker worker;
    ASSERT_TRUE(worker.Start(f.mController));
    ASSERT_TRUE(WaitUntil([&] { return waiting.load(); }));
    worker.Stop();
    CUpdateWorker::JoinStragglers();
    EXPECT_FALSE(worker.HasWorker());
    // The stopped wait gave up at once instead of sleeping out its 90 attempts.
    EXPECT_LT(f.mClock->now(), 40000u);
    EXPECT_EQ(f.mNotifier->GetState(), 6);
    EXPECT_TRUE(f.LogHas("[ERROR] General Program Failure (6)"));
}

// The after-end action (letting go of the log) runs once, and only after the worker has really ended.
TEST(UpdateWorker, AfterEndActionWaitsForTheWorkersEnd)
{
    enum class EWorker
    {
        eNone,
        eEnded,
        eHung,
    };
    for (EWorker kind : {EWorker::eNone, EWorker::eEnded, EWorker::eHung}) {
        SCOPED_TRACE(static_cast<int>(kind));
        SimTabletFixture f("basic", SlowLoader);
        ASSERT_TRUE(f.Prepare());
        CHungCall hung(*f.mClock);
        CUpdateWorker worker;
        if (kind != EWorker::eNone) {
            ASSERT_TRUE(worker.Start(f.mController));
            ASSERT_TRUE(WaitUntil([&] { return hung.Entered(); }));
        }
        int runs = 0;
        if (kind == EWorker::eEnded)
            hung.Release(); // let go before the stop: it ends within the (generous) wait
        worker.Stop(kind == EWorker::eEnded ? 60 * 1000 : 0, [&runs] { ++runs; });
        EXPECT_FALSE(worker.HasWorker());
        EXPECT_EQ(runs, kind == EWorker::eHung ? 0 : 1);
        EXPECT_EQ(CUpdateWorker::StragglerCount(), kind == EWorker::eHung ? 1u : 0u);
        if (kind == EWorker::eHung)
            hung.Release();
        CUpdateWorker::JoinStragglers();
        EXPECT_EQ(runs, 1);
        EXPECT_EQ(CUpdateWorker::StragglerCount(), 0u);
    }
}

// The dialog ends while the worker hangs: the log stays open until the worker has written its end.
TEST(UpdateWorker, ADialogEndingDuringAnUpdateLeavesTheLogOpenUntilTheWorkerEnds)
{
    DialogFixture d("basic", u"", u"", SlowLoader);
    auto text = [&d] { return d.sim.LogText(); };
    d.model->OnInitDialog(d.view);
    d.model->OnFileChosen(d.view, d.sim.ScenarioFile("basic.pen"));
    CHungCall hung(*d.sim.mClock);
    d.model->OnProgram(d.view);
    d.model->OnTimer(d.view); // starts the worker
    ASSERT_TRUE(WaitUntil([&] { return hung.Entered(); }));
    EXPECT_EQ(d.model->GetState(), 2); // waiting for the loader

    d.model->SetWorkerStopWait(0);
    d.model.reset();
    EXPECT_EQ(CUpdateWorker::StragglerCount(), 1u);
    const std::string atDialogEnd = text();
    EXPECT_EQ(atDialogEnd.find("[STATE] 6"), std::string::npos);

    hung.Release();
    CUpdateWorker::JoinStragglers();
    const std::vector<std::string> lines = SplitLines(text());
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(text().compare(0, atDialogEnd.size(), atDialogEnd), 0);
    EXPECT_EQ(lines.back(), "[STATE] 6");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "[ERROR] General Program Failure (6)"), lines.end());

    const std::string atJoin = text();
    d.sim.mController->Log("after the dialog");
    EXPECT_EQ(text(), atJoin);
}
