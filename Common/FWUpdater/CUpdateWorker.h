#pragma once
// The update worker: at most one thread at a time runs the controller's UpdateDevice.
//
// A worker is never terminated. Stop asks it to end (every clock sleep on its thread then returns
// at once and the device wrappers give up), waits at most 200 ms, and if the thread is still
// inside the controller leaves it to finish on its own: the thread holds a shared reference to
// the controller, so nothing it uses is destroyed under it, and JoinStragglers (called by the
// program before it exits) collects such threads.

#include <atomic>
#include <cstdint>
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

    // Requests a stop and waits at most maxWaitMs_I for the thread to end.
    void Stop(std::uint32_t maxWaitMs_I = 200);

    bool HasWorker() const { return mThread.joinable(); }
    // True while a started worker has not yet returned from UpdateDevice.
    bool IsRunning() const;

    // Waits for every worker that was left running by Stop.
    static void JoinStragglers();

private:
    struct Shared;
    std::shared_ptr<Shared> mShared;
    std::thread mThread;
};
