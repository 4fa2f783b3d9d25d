#pragma once
// The update worker: at most one thread at a time runs the controller's UpdateDevice.
//
// A worker is never terminated. Stop asks it to end (every clock sleep on its thread then returns
// at once and the device wrappers give up), waits at most 200 ms, and if the thread is still
// inside the controller leaves it to finish on its own: the thread holds a shared reference to
// the controller, the caller may hand over whatever else must outlive it (the notifier and its
// log) in the after-end action, and JoinStragglers collects such threads. Every front end calls
// JoinStragglers before it destroys what the controller reaches (the simulated bus) and before
// it exits: a std::thread still joinable at exit ends the process with std::terminate.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

class CUpdateController;

class CUpdateWorker
{
public:
    CUpdateWorker() = default;
    ~CUpdateWorker();
    CUpdateWorker(const CUpdateWorker&) = delete;
    CUpdateWorker& operator=(const CUpdateWorker&) = delete;

    // Stops any previous worker, then starts a thread running controller_I->UpdateDevice().
    // False when the thread could not be created (no update runs).
    bool Start(std::shared_ptr<CUpdateController> controller_I);

    // Requests a stop and waits at most maxWaitMs_I for the thread to end. afterEnd_I (may be
    // empty) runs once the worker has ended: here when it ended in time or none was running,
    // otherwise in JoinStragglers after the join; it is destroyed after it ran.
    void Stop(std::uint32_t maxWaitMs_I = kStopWaitMs, std::function<void()> afterEnd_I = nullptr);

    bool HasWorker() const { return mThread.joinable(); }
    // True while a started worker has not yet returned from UpdateDevice.
    bool IsRunning() const;

    // Waits for every worker that was left running by Stop and runs their after-end actions.
    static void JoinStragglers();
    // How many workers Stop left running that JoinStragglers has not yet collected.
    static std::size_t StragglerCount();

    static constexpr std::uint32_t kStopWaitMs = 200;

private:
    struct Shared;
    std::shared_ptr<Shared> mShared;
    std::thread mThread;
};
