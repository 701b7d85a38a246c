#include "app/thread_starter.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <thread>

#include "app/sync_event.h"
#include "app/task_guard.h"

namespace mm::app {

void LowerToBackgroundPriority() {
    // On Linux each thread has a niceness of its own, named by its thread id.
    thread_local bool lowered = false;
    if (lowered) return;
    lowered = true;
    const auto tid = static_cast<id_t>(gettid());
    errno = 0;
    const int now = getpriority(PRIO_PROCESS, tid);
    if (now == -1 && errno != 0) return;
    setpriority(PRIO_PROCESS, tid, std::min(19, now + kBackgroundNiceness));
}

bool StartThread(std::function<std::uint32_t(std::int32_t)> proc, std::int32_t arg,
                 const ThreadStartOptions& options) {
    struct Shared {
        SyncEvent done{true};
        std::uint32_t code = 0;
    };
    auto shared = std::make_shared<Shared>();
    try {
        std::thread([proc = std::move(proc), arg, shared] {
            LowerToBackgroundPriority();
            // What the procedure throws ends its thread only.
            if (!RunGuarded("thread starter", [&] { shared->code = proc(arg); })) shared->code = kThreadFailed;
            shared->done.Set();
        }).detach();
    } catch (const std::system_error&) {
        return false;  // no thread could be created
    }
    if (options.waitMs != 0 && shared->done.Wait(options.waitMs) && options.exitCode) {
        *options.exitCode = shared->code;
    }
    return true;
}

}  // namespace mm::app
