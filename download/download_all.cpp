#include "download/download_all.h"

#include "app/app_context.h"
#include "app/control_names.h"
#include "app/one_off_thread.h"
#include "app/settings.h"
#include "app/system_box.h"
#include "app/worker_pool.h"
#include "download/download_at_tier.h"
#include "download/download_notices.h"
#include "download/download_rows.h"
#include "download/playlist_sync.h"

namespace mm::download {

namespace {

// Tier to ask for a row: its best one, or the standard tier; -1 when the row
// is gone.
int TierFor(app::AppContext& ctx, int row, bool best, unsigned generation) {
    if (!best) return 0;
    ListGuard guard(ctx);
    if (!guard.locked() || ctx.listGeneration.load() != generation) return -1;
    auto& list = ctx.ActiveList();
    if (row < 1 || static_cast<std::size_t>(row) > list.size()) return -1;
    return list[row - 1].bestTier;
}

}  // namespace

void RunDownloadAll(app::AppContext& ctx) {
    // Never pump here: this runs on a thread of its own, not the UI thread.
    app::WorkerPool batch(nullptr);
    RunDownloadAll(ctx, batch);
}

void RunDownloadAll(app::AppContext& ctx, app::WorkerPool& batch) {
    if (!batch.Create(3, 5, 10000, true, true, 0, false)) {
        // This job runs on a thread of its own: the box goes through the
        // control model, which the window presents on its own thread.
        app::ShowSystemBox(ctx, "信息：", "线程池创建失败！2");
    }
    // Rows of the list this run started with; a list replaced meanwhile gets
    // none of them.
    unsigned generation = ctx.listGeneration.load();
    bool best = ctx.ui.checked(app::kPlaylistBestTier);
    // An imported playlist is synced with its playlist file.
    std::shared_ptr<PlaylistSync> sync = PlaylistSync::Begin(ctx, generation, best);
    // Songs downloaded already are left out unless the panel says otherwise;
    // nobody is asked once per row.
    const DuplicatePolicy duplicates =
        app::SkipDownloaded(ctx) ? DuplicatePolicy::kSkip : DuplicatePolicy::kDownloadAgain;
    int rows = ctx.ui.rowCount(app::kResultList);
    auto run = std::make_shared<DownloadRun>(ctx);
    ctx.currentRow.store(0);
    for (int i = 1; i <= rows; ++i) {
        int row = ctx.currentRow.fetch_add(1) + 1;
        // Unchecking "skip downloaded" downloads songs again even when the
        // playlist's files are there.
        if (sync && duplicates == DuplicatePolicy::kSkip && sync->AlreadyThere(row)) continue;
        int tier = TierFor(ctx, row, best, generation);
        if (tier < 0) continue;
        app::AppContext* c = &ctx;
        batch.Post([c, tier, row, generation, run, sync, duplicates] {
            int downloadRow = DownloadAtTier(*c, tier, row, generation, run.get(), duplicates);
            if (sync) sync->Queued(row, downloadRow);
        });
    }
    while (!batch.IsIdle()) batch.WaitForCompletion(100, false);
    batch.Destroy(app::WorkerPool::kDropAndWait, false);
    run->Close();
    if (sync) sync->Finish(ctx);
}

bool StartDownloadAll(app::AppContext& ctx) {
    return app::StartOneOffThread(ctx, [&ctx] { RunDownloadAll(ctx); });
}

}  // namespace mm::download
