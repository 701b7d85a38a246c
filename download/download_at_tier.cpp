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

namespace mm::download {

std::string DownloadRowText(const std::string& name, const std::string& album) {
    return name + "\r\n[" + album + "]";
}

int DownloadAtTier(app::AppContext& ctx, int tier, int row, std::optional<unsigned> generation, DownloadRun* run) {
    if (tier != 1 && tier != 2) tier = 0;
    AddressJob job;
    job.tier = tier;
    job.trackRow = row;
    DownloadSpec spec;
    spec.tier = tier;
    spec.trackRow = row;
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
    std::string name = NameForDownload(ctx, spec.song, tier, row).base;
    std::string json;
    {
        ListGuard guard(ctx);
        if (!guard.locked()) return -1;
        job.downloadRow =
            AppendDownloadRow(ctx, DownloadRowText(name, spec.song.album), app::TierBadge(tier));
        ctx.ui.setRowHeight(app::kDownloadList, kDownloadRowHeight);
        json = AddressJobToJson(job);
    }
    if (run) run->Add(job.downloadRow);
    spec.downloadRow = job.downloadRow;
    if (!StartAddressRequest(ctx, json, std::move(spec))) {
        SetRowStatus(ctx, job.downloadRow, kStatusConnectFailed, app::kImgStatusConnectFailed);
        RowEnded(ctx, job.downloadRow);
    }
    ListGuard guard(ctx);
    AdjustDownloadCounter(ctx, +1);
    ctx.ui.setVisible(app::kTierPanel, false);
    return job.downloadRow;
}

}  // namespace mm::download
