#pragma once
// Bounded waits for the list lock. Nobody holds it across network I/O or a
// message box, so these bounds are never reached in normal work; they keep a
// fault elsewhere from freezing the window or a worker for good.
#include <chrono>
#include <mutex>
#include <thread>

namespace mm::search {

using ListLockGuard = std::unique_lock<std::recursive_timed_mutex>;

inline constexpr std::chrono::milliseconds kUiLockWait{2000};     // on the UI thread
inline constexpr std::chrono::milliseconds kTaskLockWait{10000};  // on a pool worker

// The lock, or an empty guard once `limit` has passed. Waits by polling
// try_lock rather than try_lock_for: ThreadSanitizer does not see locks taken
// through pthread_mutex_clocklock (which try_lock_for uses) and would report
// every access under them as a race. The lock is only ever held briefly.
inline ListLockGuard LockList(std::recursive_timed_mutex& m, std::chrono::milliseconds limit) {
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
