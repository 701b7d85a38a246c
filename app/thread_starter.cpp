#include "app/thread_starter.h"

#include <memory>
#include <thread>

#include "app/sync_event.h"
#include "app/task_guard.h"

namespace mm::app {

bool StartThread(std::function<std::uint32_t(std::int32_t)> proc, std::int32_t arg,
                 const ThreadStartOptions& options) {
    struct Shared {
        SyncEvent done{true};
        std::uint32_t code = 0;
    };
    auto shared = std::make_shared<Shared>();
    try {
        std::thread([proc = std::move(proc), arg, shared] {
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
