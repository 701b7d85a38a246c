#pragma once
// The list lock and its one way in: a bounded wait. Nobody holds it across
// network I/O or a message box, so the bounds are never reached in normal
// work; they keep a fault elsewhere from freezing the window or a worker for
// good.
#include <chrono>
#include <mutex>
#include <thread>

namespace mm::search {

// Recursive: the code it guards re-enters it on one thread. It offers no
// blocking lock() and no timed try_lock_for(), so neither std::lock_guard nor
// unique_lock's timed constructor compiles against it: every caller goes
// through LockList. ThreadSanitizer does not see locks taken through
// pthread_mutex_clocklock (which try_lock_for uses) and reports every access
// under them as a race; polling try_lock is visible to it.
class ListLock {
public:
    ListLock() = default;
    ListLock(const ListLock&) = delete;
    ListLock& operator=(const ListLock&) = delete;

    bool try_lock() { return mu_.try_lock(); }
    void unlock() { mu_.unlock(); }

private:
    std::recursive_mutex mu_;
};

using ListLockGuard = std::unique_lock<ListLock>;

inline constexpr std::chrono::milliseconds kUiLockWait{2000};     // on the UI thread
inline constexpr std::chrono::milliseconds kTaskLockWait{10000};  // on a pool worker

// The lock, or an empty guard once `limit` has passed.
inline ListLockGuard LockList(ListLock& m, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (int attempt = 0;; ++attempt) {
        if (m.try_lock()) return ListLockGuard(m, std::adopt_lock);
        if (std::chrono::steady_clock::now() >= deadline) return ListLockGuard(m, std::defer_lock);
        if (attempt < 50) {
            std::this_thread::yield();
        } else {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
}

}  // namespace mm::search
