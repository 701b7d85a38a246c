#pragma once
// Bounded waits for the list lock. Nobody holds it across network I/O or a
// message box, so these bounds are never reached in normal work; they keep a
// fault elsewhere from freezing the window or a worker for good.
#include <chrono>
#include <mutex>

namespace mm::search {

using ListLockGuard = std::unique_lock<std::recursive_timed_mutex>;

inline constexpr std::chrono::milliseconds kUiLockWait{2000};     // on the UI thread
inline constexpr std::chrono::milliseconds kTaskLockWait{10000};  // on a pool worker

}  // namespace mm::search
