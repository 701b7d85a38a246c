#include "app/worker_pool.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>
#include <vector>

#include "app/sync_event.h"
#include "app/thread_starter.h"

using mm::app::SyncEvent;
using mm::app::WorkerPool;
using namespace std::chrono_literals;

namespace {

// Waits (bounded) until cond holds.
template <class F>
bool Eventually(F cond, std::chrono::milliseconds limit = 5000ms) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (cond()) return true;
        std::this_thread::sleep_for(1ms);
    }
    return cond();
}

TEST(WorkerPool, ThousandTasksRunOnceAndNeverMoreThanMax) {
    WorkerPool pool;
    ASSERT_TRUE(pool.Create(1, 10, 200));
    constexpr int kTasks = 1000;
    std::vector<std::atomic<int>> runs(kTasks);
    std::atomic<int> running{0}, peak{0}, done{0};
    for (int i = 0; i < kTasks; ++i) {
        ASSERT_TRUE(pool.Post(
            [&](std::int32_t index, std::int32_t) {
                int now = running.fetch_add(1) + 1;
                int p = peak.load();
                while (now > p && !peak.compare_exchange_weak(p, now)) {
                }
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                runs[index].fetch_add(1);
                running.fetch_sub(1);
                done.fetch_add(1);
            },
            i, 0));
    }
    ASSERT_TRUE(Eventually([&] { return done.load() == kTasks; }, 30000ms));
    for (int i = 0; i < kTasks; ++i) EXPECT_EQ(runs[i].load(), 1) << "task " << i;
    EXPECT_LE(peak.load(), 10);
    EXPECT_GT(peak.load(), 1) << "the manager never added workers";
    EXPECT_LE(pool.LiveWorkers(), 10);
    EXPECT_TRUE(Eventually([&] { return pool.IsIdle(); }));
    EXPECT_TRUE(pool.Destroy(WorkerPool::kDropAndWait));
    EXPECT_EQ(pool.State(), WorkerPool::kNotCreated);
}

TEST(WorkerPool, TaskPostedWhileAllBusyWaitsForAFreeWorker) {
    WorkerPool pool;
    ASSERT_TRUE(pool.Create(1, 2, 200));
    SyncEvent release(true);
    std::atomic<int> started{0};
    for (int i = 0; i < 2; ++i) {
        pool.Post([&] {
            started++;
            release.Wait();
        });
    }
    ASSERT_TRUE(Eventually([&] { return started.load() == 2; }));
    std::atomic<bool> third{false};
    pool.Post([&] { third = true; });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(third.load());
    EXPECT_EQ(pool.Queued(), 1);
    EXPECT_FALSE(pool.IsIdle()) << "a queued task that has not started still counts";
    EXPECT_LE(pool.LiveWorkers(), 2);
    release.Set();
    EXPECT_TRUE(Eventually([&] { return third.load(); }));
    EXPECT_TRUE(Eventually([&] { return pool.IsIdle(); }));
}

// Fills the pool's single worker with a blocking task and queues `queued` more.
struct BlockedPool {
    WorkerPool pool;
    SyncEvent release{true};
    std::atomic<bool> blockerStarted{false}, blockerFinished{false};
    std::atomic<int> queuedRan{0};
    explicit BlockedPool(int queued) {
        EXPECT_TRUE(pool.Create(1, 1, 200));
        pool.Post([this] {
            blockerStarted = true;
            release.Wait();
            blockerFinished = true;
        });
        EXPECT_TRUE(Eventually([&] { return blockerStarted.load(); }));
        for (int i = 0; i < queued; ++i) pool.Post([this] { queuedRan++; });
    }
};

TEST(WorkerPool, DestroyModes) {
    {
        SCOPED_TRACE("mode 0: queued tasks dropped, waits for the running one");
        BlockedPool b(3);
        // Released only once the destroy has begun: a destroy that returned
        // without waiting would find the blocker unfinished.
        std::thread releaser([&] {
            EXPECT_TRUE(Eventually([&] { return b.pool.State() == WorkerPool::kDestroying; }));
            b.release.Set();
        });
        EXPECT_TRUE(b.pool.Destroy(WorkerPool::kDropAndWait));
        EXPECT_TRUE(b.blockerFinished.load());
        releaser.join();
        EXPECT_EQ(b.queuedRan.load(), 0);
        EXPECT_EQ(b.pool.State(), WorkerPool::kNotCreated);
        EXPECT_EQ(b.pool.LiveWorkers(), 0);
    }
    {
        SCOPED_TRACE("mode 1: queued tasks run, waits for all");
        BlockedPool b(3);
        std::thread releaser([&] {
            EXPECT_TRUE(Eventually([&] { return b.pool.State() == WorkerPool::kDestroying; }));
            b.release.Set();
        });
        EXPECT_TRUE(b.pool.Destroy(WorkerPool::kRunAndWait));
        releaser.join();
        EXPECT_EQ(b.queuedRan.load(), 3);
        EXPECT_EQ(b.pool.State(), WorkerPool::kNotCreated);
    }
    {
        SCOPED_TRACE("mode 2: queued tasks dropped, returns at once");
        BlockedPool b(3);
        // The blocker is released only after the destroy returned; a destroy
        // that waited could return only when the watchdog gives up.
        std::thread watchdog([&] {
            b.release.Wait(60000);
            b.release.Set();
        });
        EXPECT_TRUE(b.pool.Destroy(WorkerPool::kDropNoWait));
        EXPECT_FALSE(b.blockerFinished.load()) << "the destroy waited for the running task";
        EXPECT_FALSE(b.pool.Post([] {})) << "a pool being destroyed refuses tasks";
        b.release.Set();
        EXPECT_TRUE(Eventually([&] { return b.pool.State() == WorkerPool::kNotCreated; }));
        watchdog.join();
        EXPECT_EQ(b.queuedRan.load(), 0);
    }
    {
        SCOPED_TRACE("mode 3: queued tasks run, returns at once");
        BlockedPool b(3);
        EXPECT_TRUE(b.pool.Destroy(WorkerPool::kRunNoWait));
        b.release.Set();
        EXPECT_TRUE(Eventually([&] { return b.pool.State() == WorkerPool::kNotCreated; }));
        EXPECT_EQ(b.queuedRan.load(), 3);
    }
}

TEST(WorkerPool, ATaskThatThrowsEndsAloneAndTheWorkerCarriesOn) {
    WorkerPool pool;
    ASSERT_TRUE(pool.Create(1, 1, 200));
    std::atomic<int> after{0};
    pool.Post([] { throw std::bad_alloc(); });
    pool.Post([] { throw 42; });
    pool.Post([&] { after++; });
    EXPECT_TRUE(Eventually([&] { return after.load() == 1; }));
    EXPECT_TRUE(Eventually([&] { return pool.IsIdle(); }));
    EXPECT_EQ(pool.LiveWorkers(), 1);
    EXPECT_TRUE(pool.Destroy());
}

TEST(ThreadStarter, AProcedureThatThrowsEndsItsThreadOnly) {
    std::uint32_t code = 0;
    ASSERT_TRUE(mm::app::StartThread(
        [](std::int32_t) -> std::uint32_t { throw std::runtime_error("cover too large"); }, 0,
        {.waitMs = -1, .exitCode = &code}));
    EXPECT_EQ(code, mm::app::kThreadFailed);
    ASSERT_TRUE(mm::app::StartThread([](std::int32_t a) -> std::uint32_t { return 7 + a; }, 1,
                                     {.waitMs = -1, .exitCode = &code}));
    EXPECT_EQ(code, 8u);
}

// The niceness of the calling thread.
int Niceness() {
    return getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
}

TEST(ThreadStarter, PoolWorkersAndOneOffThreadsRunBelowTheStartingThread) {
    const int mine = Niceness();
    const int expected = std::min(19, mine + mm::app::kBackgroundNiceness);
    WorkerPool pool;
    ASSERT_TRUE(pool.Create(1, 2, 200));
    std::atomic<int> seen[2] = {-100, -100};
    pool.Post([&] { seen[0] = Niceness(); });
    pool.Post([&] { seen[1] = Niceness(); });  // the same worker again is lowered once only
    EXPECT_TRUE(Eventually([&] { return seen[0].load() != -100 && seen[1].load() != -100; }));
    EXPECT_EQ(seen[0].load(), expected);
    EXPECT_EQ(seen[1].load(), expected);
    EXPECT_TRUE(pool.Destroy());

    std::uint32_t code = 0;
    ASSERT_TRUE(mm::app::StartThread([](std::int32_t) { return static_cast<std::uint32_t>(Niceness()); }, 0,
                                     {.waitMs = -1, .exitCode = &code}));
    EXPECT_EQ(static_cast<int>(code), expected);
    EXPECT_EQ(Niceness(), mine) << "the starting thread keeps its own";
}

TEST(WorkerPool, PoolObjectMayGoAwayBeforeItsLastWorkerEnds) {
    SyncEvent release(true);
    std::atomic<bool> finished{false};
    {
        WorkerPool pool;
        ASSERT_TRUE(pool.Create(1, 1, 200));
        pool.Post([&] {
            release.Wait();
            finished = true;
        });
        std::this_thread::sleep_for(20ms);
        EXPECT_TRUE(pool.Destroy(WorkerPool::kDropNoWait));
    }  // the object is gone while its worker still runs
    release.Set();
    EXPECT_TRUE(Eventually([&] { return finished.load(); }));
}

TEST(WorkerPool, CreateAndDestroyEdges) {
    WorkerPool never;
    EXPECT_TRUE(never.Destroy(WorkerPool::kDropAndWait)) << "never created: true at once";
    EXPECT_FALSE(never.Post([] {})) << "a pool that never ran refuses tasks";

    WorkerPool pool;
    ASSERT_TRUE(pool.Create(2, 4, 200));
    EXPECT_FALSE(pool.Create(1, 2)) << "second create on a running pool";
    EXPECT_EQ(pool.State(), WorkerPool::kRunning);
    EXPECT_TRUE(Eventually([&] { return pool.LiveWorkers() == 2; }));
    EXPECT_TRUE(pool.SetMaxWorkers(1));
    EXPECT_EQ(pool.MaxWorkers(), 2) << "max below min becomes min";
    EXPECT_TRUE(pool.Destroy());
    EXPECT_FALSE(pool.SetMaxWorkers(5)) << "not running";

    WorkerPool failing;
    failing.FailNextThreadStarts(5);
    EXPECT_FALSE(failing.Create(1, 3)) << "no worker could be started";
    EXPECT_EQ(failing.State(), WorkerPool::kNotCreated);
    EXPECT_FALSE(failing.Post([] {}));
    EXPECT_TRUE(failing.Destroy(WorkerPool::kDropNoWait)) << "closing works after a failed create";
}

TEST(WorkerPool, ExtraWorkersLeaveAfterIdleTimeout) {
    WorkerPool pool;
    ASSERT_TRUE(pool.Create(1, 6, 100));
    SyncEvent release(true);
    std::atomic<int> started{0};
    for (int i = 0; i < 6; ++i) {
        pool.Post([&] {
            started++;
            release.Wait();
        });
    }
    ASSERT_TRUE(Eventually([&] { return started.load() == 6; }));
    EXPECT_EQ(pool.LiveWorkers(), 6);
    release.Set();
    EXPECT_TRUE(Eventually([&] { return pool.LiveWorkers() == 1; }, 3000ms)) << pool.LiveWorkers();
    EXPECT_TRUE(pool.Post([] {}));
}

TEST(WorkerPool, WaitForCompletionAndPause) {
    WorkerPool pool;
    ASSERT_TRUE(pool.Create(1, 2, 200));
    pool.Pause();
    std::atomic<bool> ran{false};
    pool.Post([&] { ran = true; });
    EXPECT_FALSE(pool.WaitWhilePaused(20));
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(ran.load()) << "paused pool ran a task";
    pool.Resume();
    EXPECT_TRUE(pool.WaitForCompletion(5000));
    EXPECT_TRUE(ran.load());
    EXPECT_FALSE(pool.WaitForCompletion(20)) << "no further task finished";
}

TEST(WorkerPool, HooksSeeEveryWorkerAndTask) {
    WorkerPool pool;
    std::atomic<int> startedHooks{0}, endingHooks{0}, executed{0}, created{0}, destroyed{0};
    pool.SetPoolHooks([&](std::intptr_t) { created++; return false; }, [&](std::intptr_t) { destroyed++; }, 0, 0);
    pool.SetWorkerHooks([&](std::intptr_t) { startedHooks++; }, [&](std::intptr_t) { endingHooks++; },
                        [&](const WorkerPool::Proc& p, std::int32_t a, std::int32_t b, std::intptr_t) {
                            executed++;
                            p(a, b);
                        },
                        0, 0);
    ASSERT_TRUE(pool.Create(2, 2, 200));
    std::atomic<int> sum{0};
    pool.Post([&](std::int32_t a, std::int32_t b) { sum += a + b; }, 3, 4);
    EXPECT_TRUE(Eventually([&] { return sum.load() == 7; }));
    EXPECT_TRUE(pool.Destroy());
    EXPECT_EQ(created.load(), 1);
    EXPECT_EQ(destroyed.load(), 1);
    EXPECT_EQ(startedHooks.load(), 2);
    EXPECT_EQ(endingHooks.load(), 2);
    EXPECT_EQ(executed.load(), 1);

    WorkerPool vetoed;
    vetoed.SetPoolHooks([](std::intptr_t) { return true; }, nullptr, 0, 0);
    EXPECT_FALSE(vetoed.Create(1, 1));
    EXPECT_EQ(vetoed.State(), WorkerPool::kNotCreated);
}

}  // namespace
