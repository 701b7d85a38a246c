#pragma once
// A one-off thread of the program (an address request, the download-all job):
// counted in ctx.oneOffThreads while it runs, so closing and the automation's
// "wait" know of it. The count drops when the work ends however it ends.
#include <functional>

#include "app/app_context.h"
#include "app/thread_starter.h"

namespace mm::app {

inline bool StartOneOffThread(AppContext& ctx, std::function<void()> work) {
    struct Counted {
        AppContext& ctx;
        ~Counted() { ctx.oneOffThreads.fetch_sub(1); }
    };
    ctx.oneOffThreads.fetch_add(1);
    AppContext* c = &ctx;
    const bool started = StartThread(
        [c, work = std::move(work)](std::int32_t) -> std::uint32_t {
            Counted counted{*c};
            work();
            return 0;
        },
        0);
    if (!started) ctx.oneOffThreads.fetch_sub(1);
    return started;
}

}  // namespace mm::app
