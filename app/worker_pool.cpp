#include "app/worker_pool.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <limits.h>
#include <mutex>
#include <thread>

#include "app/sync_event.h"
#include "app/thread_starter.h"
#include "app/task_guard.h"

namespace mm::app {

namespace {

struct Packet {
    WorkerPool::Proc proc;
    std::int32_t a = 0;
    std::int32_t b = 0;
    bool stop = false;  // the stop marker
};

// The task queue: what a completion port is to the original design.
class TaskQueue {
public:
    void Push(Packet p) {
        {
            std::lock_guard lk(mu_);
            q_.push_back(std::move(p));
        }
        cv_.notify_one();
    }
    // Takes the oldest packet; -1 waits forever. False on time-out or when closed.
    bool Take(Packet& out, int timeoutMs) {
        std::unique_lock lk(mu_);
        auto ready = [&] { return closed_ || !q_.empty(); };
        if (timeoutMs < 0) cv_.wait(lk, ready);
        else if (!cv_.wait_for(lk, std::chrono::milliseconds(timeoutMs), ready)) return false;
        if (q_.empty()) return false;
        out = std::move(q_.front());
        q_.pop_front();
        return true;
    }
    void Close() {
        {
            std::lock_guard lk(mu_);
            closed_ = true;
            q_.clear();
        }
        cv_.notify_all();
    }
    void Reopen() {
        std::lock_guard lk(mu_);
        closed_ = false;
        q_.clear();
    }

private:
    std::mutex mu_;
    std::condition_variable cv_;
    std::deque<Packet> q_;
    bool closed_ = false;
};

}  // namespace

struct WorkerPool::Core : std::enable_shared_from_this<WorkerPool::Core> {
    std::atomic<int> state{kNotCreated};
    std::atomic<int> running{0};
    std::atomic<int> live{0};
    std::atomic<int> busy{0};
    std::atomic<int> queued{0};
    std::atomic<int> minWorkers{0};
    std::atomic<int> maxWorkers{0};
    std::atomic<int> idleTimeoutMs{10000};
    std::atomic<int> stackSize{0};
    std::atomic<int> failStarts{0};
    std::atomic<bool> hasTaskDone{true};
    std::atomic<bool> hasPauseGate{true};
    std::atomic<bool> destroyWaiting{false};

    TaskQueue queue;
    SyncEvent grow{false};
    SyncEvent started{false};
    SyncEvent taskDone{false};
    SyncEvent pauseGate{true, true};
    SyncEvent allGone{true};
    std::thread manager;

    std::mutex hookMu;
    WorkerHook onStarted, onEnding;
    Executor executor;
    std::intptr_t workerCtx = 0, executorCtx = 0;
    CreatedHook onCreated;
    DestroyedHook onDestroyed;
    std::intptr_t createdCtx = 0, destroyedCtx = 0;

    bool StartWorker(int kind);
    void WorkerMain(int kind);
    void ManagerMain();
    bool NeedsMore() const {
        int l = live.load();
        return l < maxWorkers.load() && busy.load() + queued.load() > l;
    }
};

namespace {

struct StartArg {
    std::shared_ptr<WorkerPool::Core> core;
    int kind;
};

void* ThreadEntry(void* p) {
    std::unique_ptr<StartArg> arg(static_cast<StartArg*>(p));
    LowerToBackgroundPriority();
    arg->core->WorkerMain(arg->kind);
    return nullptr;
}

}  // namespace

bool WorkerPool::Core::StartWorker(int kind) {
    if (failStarts.load() > 0) {
        failStarts.fetch_sub(1);
        return false;
    }
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    int stack = stackSize.load();
    if (stack > 0) pthread_attr_setstacksize(&attr, std::max<size_t>(stack, PTHREAD_STACK_MIN));
    auto* arg = new StartArg{shared_from_this(), kind};
    pthread_t t;
    int rc = pthread_create(&t, &attr, ThreadEntry, arg);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        delete arg;
        return false;
    }
    return true;
}

void WorkerPool::Core::WorkerMain(int kind) {
    live.fetch_add(1);
    started.Set();
    WorkerHook startedHook, endingHook;
    Executor exec;
    std::intptr_t wctx, ectx;
    {
        std::lock_guard lk(hookMu);
        startedHook = onStarted;
        endingHook = onEnding;
        exec = executor;
        wctx = workerCtx;
        ectx = executorCtx;
    }
    if (startedHook) startedHook(wctx);

    for (;;) {
        Packet p;
        bool ok = queue.Take(p, kind == 0 ? -1 : idleTimeoutMs.load());
        if (hasPauseGate.load()) pauseGate.Wait();
        if (running.load() != 1 || !ok || p.stop) break;
        busy.fetch_add(1);
        queued.fetch_sub(1);
        RunGuarded("worker pool", [&] {
            if (exec) exec(p.proc, p.a, p.b, ectx);
            else if (p.proc) p.proc(p.a, p.b);
        });
        p.proc = nullptr;  // release what the task captured before counting it done
        int nowBusy = busy.fetch_sub(1) - 1;
        if (hasTaskDone.load()) taskDone.Set();
        if (kind == 1 && nowBusy >= maxWorkers.load()) break;
    }

    if (endingHook) endingHook(wctx);
    if (live.fetch_sub(1) - 1 > 0) return;

    // The last worker out cleans up.
    if (state.load() != kDestroying) return;  // an idle extra worker left a running pool
    queue.Close();
    running.store(0);
    busy.store(0);
    queued.store(0);
    if (destroyWaiting.load()) {
        allGone.Set();
        return;
    }
    DestroyedHook destroyed;
    std::intptr_t dctx;
    {
        std::lock_guard lk(hookMu);
        destroyed = onDestroyed;
        dctx = destroyedCtx;
    }
    if (destroyed) destroyed(dctx);
    state.store(kNotCreated);
}

void WorkerPool::Core::ManagerMain() {
    grow.Wait();
    int failures = 0;
    while (state.load() == kRunning || state.load() == kCreating) {
        if (state.load() == kRunning && NeedsMore()) {
            if (StartWorker(1)) {
                failures = 0;
                started.Wait(5000);
            } else if (++failures >= 5) {
                maxWorkers.store(std::max(live.load(), minWorkers.load()));
                failures = 0;
            }
        } else {
            grow.Wait();
        }
        if (hasPauseGate.load()) pauseGate.Wait();
    }
}

WorkerPool::WorkerPool(MessagePump* pump) : core_(std::make_shared<Core>()), pump_(pump) {}

WorkerPool::~WorkerPool() {
    bool onUi = pump_ != nullptr && pump_->OnUiThread();
    Destroy(onUi ? kDropNoWait : kDropAndWait);
}

bool WorkerPool::ShouldPump(std::optional<bool> pump) const {
    if (pump_ == nullptr || !pump_->OnUiThread()) return false;
    return pump.value_or(true);
}

bool WorkerPool::Create(int minWorkers, int maxWorkers, int idleTimeoutMs, bool withTaskDoneEvent,
                        bool withPauseGate, int stackSize, std::optional<bool> pump) {
    Core& c = *core_;
    int expected = kNotCreated;
    if (!c.state.compare_exchange_strong(expected, kCreating)) return false;

    if (minWorkers < 1) minWorkers = 1;
    if (maxWorkers < minWorkers) maxWorkers = minWorkers;
    if (idleTimeoutMs < 100) idleTimeoutMs = 100;
    if (stackSize > 8191) stackSize -= stackSize % 4096;
    else if (stackSize > 0) stackSize = 8192;
    c.minWorkers = minWorkers;
    c.maxWorkers = maxWorkers;
    c.idleTimeoutMs = idleTimeoutMs;
    c.stackSize = stackSize < 0 ? 0 : stackSize;
    c.hasTaskDone = withTaskDoneEvent;
    c.hasPauseGate = withPauseGate;
    c.taskDone.Reset();
    c.pauseGate.Set();
    c.started.Reset();
    c.grow.Reset();
    c.allGone.Reset();
    c.destroyWaiting = false;
    c.queue.Reopen();
    c.live = 0;
    c.busy = 0;
    c.queued = 0;
    c.running = 1;

    bool doPump = ShouldPump(pump);
    c.manager = std::thread([core = core_] { core->ManagerMain(); });

    int startedCount = 0, failures = 0;
    while (startedCount < minWorkers && failures < 5) {
        if (!c.StartWorker(0)) {
            ++failures;
            continue;
        }
        failures = 0;
        ++startedCount;
        while (!c.started.Wait(doPump ? 16 : 1000)) {
            if (doPump) pump_->Pump();
        }
    }

    if (startedCount == 0) {
        c.running = 0;
        c.state = kNotCreated;
        c.grow.Set();
        if (c.manager.joinable()) c.manager.join();
        c.queue.Close();
        return false;
    }
    c.minWorkers = startedCount;
    c.state = kRunning;

    CreatedHook created;
    std::intptr_t cctx;
    {
        std::lock_guard lk(c.hookMu);
        created = c.onCreated;
        cctx = c.createdCtx;
    }
    if (created && created(cctx)) {
        Destroy(kDropAndWait, pump);
        return false;
    }
    return true;
}

bool WorkerPool::Destroy(int stopMode, std::optional<bool> pump) {
    Core& c = *core_;
    if (stopMode < 0 || stopMode > 3) stopMode = kDropAndWait;
    int expected = kRunning;
    if (!c.state.compare_exchange_strong(expected, kDestroying)) {
        return expected == kNotCreated;
    }
    bool waits = stopMode == kDropAndWait || stopMode == kRunAndWait;
    // Set before any worker can leave: the last one out reads them.
    c.destroyWaiting = waits;
    c.allGone.Reset();
    // Dropped tasks are dropped from this moment: a running task that ends
    // while the manager is being stopped must not pick up a queued one.
    if (stopMode == kDropAndWait || stopMode == kDropNoWait) c.running = 0;
    c.grow.Set();
    c.pauseGate.Set();
    if (c.manager.joinable()) c.manager.join();
    c.taskDone.Set();

    bool doPump = ShouldPump(pump);
    int n = c.live.load();
    for (int i = 0; i < n; ++i) {
        Packet stop;
        stop.stop = true;
        c.queue.Push(std::move(stop));
        if (doPump && (i + 1) % 128 == 0) pump_->Pump();
    }
    if (!waits) return true;

    while (!c.allGone.Wait(doPump ? 16 : 1000)) {
        if (doPump) pump_->Pump();
    }
    DestroyedHook destroyed;
    std::intptr_t dctx;
    {
        std::lock_guard lk(c.hookMu);
        destroyed = c.onDestroyed;
        dctx = c.destroyedCtx;
    }
    if (destroyed) destroyed(dctx);
    c.state = kNotCreated;
    return true;
}

void WorkerPool::Pause() { core_->pauseGate.Reset(); }
void WorkerPool::Resume() { core_->pauseGate.Set(); }
bool WorkerPool::WaitWhilePaused(int timeoutMs) {
    if (!core_->hasPauseGate.load()) return true;
    if (!core_->pauseGate.Wait(timeoutMs)) return false;
    return true;
}

bool WorkerPool::Post(Proc proc, std::int32_t a, std::int32_t b) {
    Core& c = *core_;
    if (c.state.load() != kRunning) return false;
    c.queued.fetch_add(1);
    c.queue.Push(Packet{std::move(proc), a, b, false});
    if (c.NeedsMore()) c.grow.Set();
    return true;
}

bool WorkerPool::Post(std::function<void()> task) {
    return Post([t = std::move(task)](std::int32_t, std::int32_t) { t(); }, 0, 0);
}

bool WorkerPool::WaitForCompletion(int timeoutMs, std::optional<bool> pump) {
    Core& c = *core_;
    if (!ShouldPump(pump)) return c.taskDone.Wait(timeoutMs);
    auto start = std::chrono::steady_clock::now();
    for (;;) {
        pump_->Pump();
        int slice = 16;
        if (timeoutMs >= 0 && timeoutMs <= 16) slice = timeoutMs;
        if (c.taskDone.Wait(slice)) return true;
        if (timeoutMs >= 0) {
            auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
            if (timeoutMs <= 16 || spent.count() >= timeoutMs) return false;
        }
    }
}

void WorkerPool::SignalCompletion() { core_->taskDone.Set(); }

int WorkerPool::State() const { return core_->state.load(); }
int WorkerPool::LiveWorkers() const { return core_->live.load(); }
int WorkerPool::MaxWorkers() const { return core_->maxWorkers.load(); }
int WorkerPool::Busy() const { return core_->busy.load(); }
int WorkerPool::Queued() const { return core_->queued.load(); }
int WorkerPool::IdleWorkers() const { return core_->live.load() - core_->busy.load(); }

bool WorkerPool::FreeWorkers(int* count) const {
    int v = core_->live.load() - core_->busy.load() - core_->queued.load();
    if (v < 0) v = 0;
    if (count) *count = v;
    return v > 0;
}

bool WorkerPool::FreeCapacity(int* count) const {
    int v = core_->maxWorkers.load() - core_->busy.load() - core_->queued.load();
    if (v < 0) v = 0;
    if (count) *count = v;
    return v > 0;
}

bool WorkerPool::IsIdle() const { return core_->queued.load() == 0 && core_->busy.load() == 0; }

bool WorkerPool::SetMaxWorkers(int value) {
    if (core_->running.load() != 1) return false;
    core_->maxWorkers = std::max(value, core_->minWorkers.load());
    return true;
}

bool WorkerPool::SetIdleTimeout(int ms) {
    if (core_->running.load() != 1) return false;
    core_->idleTimeoutMs = std::max(ms, 100);
    return true;
}

bool WorkerPool::SetStackSize(int bytes) {
    if (core_->running.load() != 1) return false;
    if (bytes > 0 && bytes < 8192) bytes = 8192;
    else if (bytes >= 8192) bytes -= bytes % 8192;
    core_->stackSize = bytes < 0 ? 0 : bytes;
    return true;
}

void WorkerPool::SetWorkerHooks(WorkerHook started, WorkerHook ending, Executor executor,
                                std::intptr_t startedEndingContext, std::intptr_t executorContext) {
    std::lock_guard lk(core_->hookMu);
    if (started) core_->onStarted = std::move(started);
    if (ending) core_->onEnding = std::move(ending);
    if (executor) core_->executor = std::move(executor);
    core_->workerCtx = startedEndingContext;
    core_->executorCtx = executorContext;
}

void WorkerPool::SetPoolHooks(CreatedHook created, DestroyedHook destroyed, std::intptr_t createdContext,
                              std::intptr_t destroyedContext) {
    std::lock_guard lk(core_->hookMu);
    if (created) core_->onCreated = std::move(created);
    if (destroyed) core_->onDestroyed = std::move(destroyed);
    core_->createdCtx = createdContext;
    core_->destroyedCtx = destroyedContext;
}

void WorkerPool::FailNextThreadStarts(int n) { core_->failStarts = n; }

}  // namespace mm::app
