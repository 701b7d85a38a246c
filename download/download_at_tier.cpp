#include "download/download_at_tier.h"

#include <string>

#include "app/app_context.h"
#include "app/control_names.h"
#include "app/images.h"
#include "app/settings.h"
#include "download/address_request.h"
#include "download/download_notices.h"
#include "download/download_rows.h"
#include "download/file_naming.h"
#include "download/job_naming.h"
#include "download/history_recorder.h"

namespace mm::download {

std::string DownloadRowText(const std::string& name, const std::string& album) {
    return name + "\r\n[" + album + "]";
}

int DownloadAtTier(app::AppContext& ctx, int tier, int row, std::optional<unsigned> generation, DownloadRun* run,
                   DuplicatePolicy duplicates) {
    if (tier != 1 && tier != 2) tier = 0;
    AddressJob job;
    job.tier = tier;
    job.trackRow = row;
    DownloadSpec spec;
    spec.tier = tier;
    spec.trackRow = row;
    // A download-all's rows say in the row why they failed, whatever list is
    // shown by the time their address comes back.
    spec.failuresInRow = run != nullptr;
    {
        ListGuard guard(ctx);
        if (!guard.locked()) return -1;
        spec.generation = ctx.listGeneration.load();
        if (generation && *generation != spec.generation) return -1;
        auto& list = ctx.ActiveList();
        if (row < 1 || static_cast<std::size_t>(row) > list.size()) return -1;
        // The download's own copy of the song: what is queued is what is fetched.
        spec.song = list[row - 1];
        job.mid = spec.song.mid[tier];
        job.pmid = spec.song.pmid[tier];
    }
    if (duplicates != DuplicatePolicy::kDownloadAgain) {
        const std::string file = DownloadedFile(ctx, spec.song, tier);
        if (!file.empty() && (duplicates == DuplicatePolicy::kSkip || !AskDownloadAgain(ctx, spec.song, file))) {
            ListGuard guard(ctx);
            ctx.ui.setVisible(app::kTierPanel, false);
            return -1;
        }
    }
    std::string name = NameForDownload(ctx, spec.song, tier, row).base;
    const std::string rowText = DownloadRowText(name, spec.song.album);
    const std::string badge = app::TierBadge(tier);
    // The id is taken before the list lock: it may wait for the history to open.
    spec.historyId = NewDownloadId(ctx);
    RecordQueued(ctx, spec.historyId, spec.song, tier, rowText, badge);
    std::string json;
    {
        ListGuard guard(ctx);
        if (!guard.locked()) return -1;
        job.downloadRow = AppendDownloadRow(ctx, rowText, badge);
        SetRowInfo(ctx, job.downloadRow, {spec.historyId, DownloadState::kQueued, false});
        ctx.ui.setRowHeight(app::kDownloadList, kDownloadRowHeight);
        json = AddressJobToJson(job);
    }
    if (run) run->Add(job.downloadRow);
    spec.downloadRow = job.downloadRow;
    const DownloadId id = spec.historyId;
    if (!StartAddressRequest(ctx, json, std::move(spec))) {
        SetRowStatus(ctx, job.downloadRow, kStatusConnectFailed, app::kImgStatusConnectFailed);
        SetRowState(ctx, job.downloadRow, DownloadState::kFailed);
        RecordEnd(ctx, id, DownloadState::kFailed, kStatusConnectFailed, app::kImgStatusConnectFailed,
                  "no thread for the address request");
        RowEnded(ctx, job.downloadRow);
    }
    ListGuard guard(ctx);
    AdjustDownloadCounter(ctx, +1);
    ctx.ui.setVisible(app::kTierPanel, false);
    return job.downloadRow;
}

}  // namespace mm::download
