#include "download/duplicates.h"

#include "app/app_context.h"
#include "app/control_names.h"
#include "download/download_rows.h"
#include "library/history_store.h"
#include "platform/sys/files.h"

namespace mm::download {

namespace {

int ClampTier(int tier) {
    return tier == 1 || tier == 2 ? tier : 0;
}

}  // namespace

std::string DownloadedFile(app::AppContext& ctx, const search::TrackRecord& track, int tier) {
    library::HistoryStore* history = History(ctx);
    tier = ClampTier(tier);
    const std::string& mid = track.mid[static_cast<std::size_t>(tier)];
    if (!history || mid.empty()) return {};
    std::vector<std::string> paths = history->DownloadedPaths({{mid, tier}});
    if (paths.empty() || paths[0].empty() || !sys::IsRegularFile(paths[0])) return {};
    return paths[0];
}

bool AskDownloadAgain(app::AppContext& ctx, const search::TrackRecord& track, const std::string& file) {
    ui::MessageBoxRequest q;
    q.title = "信息：";
    q.text = "《" + track.title + "》已经下载过了：\r\n" + file + "\r\n\r\n要重新下载吗？";
    q.button = kButtonDownloadAgain;
    q.moreButtons = {kButtonSkip};
    q.owner = app::kWindow;
    q.defaultChoice = 1;  // nobody answering means nothing is downloaded twice
    return ctx.ui.ask(q) == 0;
}

std::vector<bool> DownloadedTracks(app::AppContext& ctx, const std::vector<TierMids>& tracks) {
    std::vector<bool> out(tracks.size(), false);
    library::HistoryStore* history = History(ctx);
    if (!history || tracks.empty()) return out;
    std::vector<library::SongKey> keys;
    keys.reserve(tracks.size() * 3);
    for (const TierMids& mids : tracks) {
        for (int tier = 0; tier < 3; ++tier) keys.push_back({mids[static_cast<std::size_t>(tier)], tier});
    }
    std::vector<std::string> paths = history->DownloadedPaths(keys);
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        for (std::size_t tier = 0; tier < 3 && !out[i]; ++tier) {
            const std::string& p = paths[i * 3 + tier];
            out[i] = !p.empty() && sys::IsRegularFile(p);
        }
    }
    return out;
}

void MarkDownloadedRows(app::AppContext& ctx, unsigned generation) {
    if (!History(ctx)) return;
    std::vector<TierMids> tracks;
    {
        ListGuard guard(ctx);
        if (!guard.locked() || ctx.listGeneration.load() != generation) return;
        for (const search::TrackRecord& t : ctx.ActiveList()) tracks.push_back(t.mid);
    }
    std::vector<bool> marks = DownloadedTracks(ctx, tracks);
    ListGuard guard(ctx);
    if (!guard.locked() || ctx.listGeneration.load() != generation) return;
    const int rows = std::min<int>(static_cast<int>(marks.size()), ctx.ui.rowCount(app::kResultList));
    for (int r = 0; r < rows; ++r) {
        const std::string mark = marks[static_cast<std::size_t>(r)] ? kMarkDownloaded : "";
        // Unchanged cells are left alone: no needless repaint of the list.
        if (ctx.ui.cellText(app::kResultList, r, kMarkColumn) != mark) {
            ctx.ui.setCellText(app::kResultList, r, kMarkColumn, mark);
        }
    }
}

}  // namespace mm::download
