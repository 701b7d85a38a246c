#pragma once
// Downloading every row of the active list in one run.

namespace mm::app {
struct AppContext;
class WorkerPool;
}

namespace mm::download {

// Queues the download of every row of the result list through a batch pool
// (3 to 5 workers) and waits for the queueing to finish. Each row in its best
// tier when 选择框_歌单_下载品质 is checked, else the standard tier. Runs on the
// calling thread.
void RunDownloadAll(app::AppContext& ctx);
// The same through a batch pool the caller made (not yet created).
void RunDownloadAll(app::AppContext& ctx, app::WorkerPool& batch);
// The same on a thread of its own (counted in ctx.oneOffThreads).
bool StartDownloadAll(app::AppContext& ctx);

}  // namespace mm::download
