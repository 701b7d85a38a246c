#include "app/thread_starter.h"

#include <memory>
#include <thread>

#include "app/sync_event.h"

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
            shared->code = proc(arg);
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
