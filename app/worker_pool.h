#pragma once
// A pool of worker threads fed from one task queue. A core of workers waits
// for tasks without a time-out; a manager thread adds extra workers, up to the
// maximum, while more work is queued than there are workers, and extra workers
// leave after an idle time-out. A task is a procedure with two 32-bit
// arguments (or any callable).
//
// The pool's state lives in a shared core that every worker holds, so a destroy
// that does not wait (modes 2 and 3) is safe even if the pool object goes away
// before its last worker has ended.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "app/message_pump.h"

namespace mm::app {

class WorkerPool {
public:
    using Proc = std::function<void(std::int32_t, std::int32_t)>;
    using WorkerHook = std::function<void(std::intptr_t context)>;
    using Executor = std::function<void(const Proc&, std::int32_t, std::int32_t, std::intptr_t context)>;
    // Returning true vetoes the creation: the pool is destroyed again.
    using CreatedHook = std::function<bool(std::intptr_t context)>;
    using DestroyedHook = std::function<void(std::intptr_t context)>;

    enum StateValue { kNotCreated = 0, kRunning = 1, kCreating = 2, kDestroying = 3 };
    enum StopMode {
        kDropAndWait = 0,   // queued tasks are dropped; wait for running ones
        kRunAndWait = 1,    // queued tasks still run; wait for all
        kDropNoWait = 2,    // queued tasks are dropped; return at once
        kRunNoWait = 3,     // queued tasks still run; return at once
    };

    explicit WorkerPool(MessagePump* pump = nullptr);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // pump: keep the UI thread's events running while waiting; unset = yes
    // exactly when called on the UI thread.
    bool Create(int minWorkers = 5, int maxWorkers = 0, int idleTimeoutMs = 10000, bool withTaskDoneEvent = true,
                bool withPauseGate = true, int stackSize = 0, std::optional<bool> pump = {});
    bool Destroy(int stopMode = kDropAndWait, std::optional<bool> pump = {});

    void Pause();
    void Resume();
    bool WaitWhilePaused(int timeoutMs = -1);

    bool Post(Proc proc, std::int32_t a = 0, std::int32_t b = 0);
    bool Post(std::function<void()> task);

    // Waits until a task finishes (or the time-out passes, -1 = forever).
    bool WaitForCompletion(int timeoutMs = -1, std::optional<bool> pump = {});
    void SignalCompletion();

    int State() const;
    int LiveWorkers() const;
    int MaxWorkers() const;
    int Busy() const;
    int Queued() const;
    int IdleWorkers() const;
    bool FreeWorkers(int* count = nullptr) const;
    bool FreeCapacity(int* count = nullptr) const;
    bool IsIdle() const;

    bool SetMaxWorkers(int value);
    bool SetIdleTimeout(int ms);
    bool SetStackSize(int bytes);
    void SetWorkerHooks(WorkerHook started, WorkerHook ending, Executor executor, std::intptr_t startedEndingContext,
                        std::intptr_t executorContext);
    void SetPoolHooks(CreatedHook created, DestroyedHook destroyed, std::intptr_t createdContext,
                      std::intptr_t destroyedContext);

    // Test hook: makes the next n thread creations fail.
    void FailNextThreadStarts(int n);

    struct Core;

private:
    std::shared_ptr<Core> core_;
    MessagePump* pump_;
    bool ShouldPump(std::optional<bool> pump) const;
};

}  // namespace mm::app
