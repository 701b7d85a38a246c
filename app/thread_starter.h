#pragma once
// Starts a procedure on a thread of its own.
#include <cstdint>
#include <functional>

namespace mm::app {

// The exit code of a procedure that ended by throwing.
inline constexpr std::uint32_t kThreadFailed = 0xFFFFFFFFu;

struct ThreadStartOptions {
    int waitMs = 0;           // 0: let it run; > 0: wait that long for its end; -1: wait for the end
    std::uint32_t* exitCode = nullptr;  // filled when the thread ended within the wait
};

// Background threads (pool workers, one-off threads) run this many steps of
// niceness below the thread that started the program: when the CPUs are
// scarce, the UI thread gets them first and the window keeps up.
inline constexpr int kBackgroundNiceness = 5;
// Lowers the calling thread's priority by kBackgroundNiceness (once; the
// highest niceness is 19). Never raises it.
void LowerToBackgroundPriority();

// Returns true when the thread was started and, when waiting, ended or was still
// running at the time-out.
bool StartThread(std::function<std::uint32_t(std::int32_t)> proc, std::int32_t arg,
                 const ThreadStartOptions& options = {});

}  // namespace mm::app
