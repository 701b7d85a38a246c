#include "download/playlist_sync.h"

#include <chrono>
#include <condition_variable>

#include "app/app_context.h"
#include "app/control_names.h"
#include "download/download_rows.h"
#include "download/file_naming.h"
#include "download/job_naming.h"
#include "download/m3u8_playlist.h"
#include "platform/sys/files.h"

namespace mm::download {

namespace {

std::string Trim(const std::string& s) {
    std::size_t a = s.find_first_not_of(' ');
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

// Waits until every row's status is an end state, or the window closed. The
// model tells of every cell written; closing the window writes none, so the
// wait looks at the flag once a second as well.
void WaitForRowsToEnd(app::AppContext& ctx, const std::vector<int>& rows) {
    std::mutex mu;
    std::condition_variable changed;
    int id = ctx.ui.subscribe([&](const ui::Change& c) {
        if (c.control != app::kDownloadList) return;
        std::lock_guard lk(mu);
        changed.notify_all();
    });
    auto ended = [&] {
        if (ctx.closed.load()) return true;
        for (int r : rows) {
            if (!IsEndStatus(ctx.ui.cellText(app::kDownloadList, r, 1))) return false;
        }
        return true;
    };
    std::unique_lock lk(mu);
    while (!ended()) changed.wait_for(lk, std::chrono::seconds(1));
    lk.unlock();
    ctx.ui.unsubscribe(id);
}

}  // namespace

std::string PlaylistSync::FileName(const std::string& service, const std::string& id) {
    std::string name = FileNamePart(ServiceName(service) + "_" + Trim(id));
    return FitName(name, ".m3u8", 255 - kPartSuffixBytes);
}

std::shared_ptr<PlaylistSync> PlaylistSync::Begin(app::AppContext& ctx, unsigned generation, bool best) {
    auto sync = std::make_shared<PlaylistSync>();
    std::string service, id;
    struct Row {
        search::TrackRecord names;
        int tier = 0;
    };
    std::vector<Row> rows;
    {
        ListGuard guard(ctx);
        if (!guard.locked() || !ctx.playlistMode.load() || ctx.listGeneration.load() != generation)
            return nullptr;
        service = ctx.playlistService;
        id = ctx.playlistId;
        for (const search::TrackRecord& rec : ctx.playlist) {
            Song s;
            s.display = EntryDisplay(rec.singer, rec.title);
            s.seconds = DurationSeconds(rec.duration);
            sync->songs_.push_back(std::move(s));
            Row r;
            r.names.title = rec.title;
            r.names.singer = rec.singer;
            r.names.album = rec.album;
            r.tier = best ? rec.bestTier : 0;
            rows.push_back(std::move(r));
        }
    }
    if (service.empty() || id.empty()) return nullptr;
    sync->folder_ = SaveFolderWithSlash(ctx);
    if (sync->folder_.empty()) return nullptr;
    sync->path_ = sync->folder_ + FileName(service, id);

    // A song is there when the playlist file of an earlier run lists a file
    // for it that still exists, or when a file of the name it would get now
    // exists (an earlier run that ended before writing the playlist file).
    std::string old;
    std::vector<M3uEntry> listed;
    if (sys::ReadFile(sync->path_, old)) listed = ParseM3u8(old);
    std::vector<bool> used(listed.size(), false);
    for (std::size_t i = 0; i < sync->songs_.size(); ++i) {
        Song& s = sync->songs_[i];
        for (std::size_t k = 0; k < listed.size() && s.present.empty(); ++k) {
            if (used[k] || listed[k].display != s.display) continue;
            std::string file = ResolvePath(sync->folder_, listed[k].path);
            if (!sys::IsRegularFile(file)) continue;
            used[k] = true;
            s.present = file;
        }
        if (!s.present.empty()) continue;
        DownloadName name = NameForDownload(ctx, rows[i].names, rows[i].tier, static_cast<int>(i) + 1);
        std::string expected = name.folder + name.base + (rows[i].tier == 2 ? ".flac" : ".mp3");
        if (!name.folder.empty() && sys::IsRegularFile(expected)) s.present = expected;
    }
    return sync;
}

bool PlaylistSync::AlreadyThere(int row) const {
    std::lock_guard lk(mu_);
    return row >= 1 && static_cast<std::size_t>(row) <= songs_.size() && !songs_[row - 1].present.empty();
}

void PlaylistSync::Queued(int row, int downloadRow) {
    std::lock_guard lk(mu_);
    if (row >= 1 && static_cast<std::size_t>(row) <= songs_.size()) songs_[row - 1].downloadRow = downloadRow;
}

void PlaylistSync::Finish(app::AppContext& ctx) {
    std::vector<int> rows;
    {
        std::lock_guard lk(mu_);
        for (const Song& s : songs_) {
            if (s.downloadRow >= 0) rows.push_back(s.downloadRow);
        }
    }
    WaitForRowsToEnd(ctx, rows);
    if (ctx.closed.load()) return;

    std::vector<M3uEntry> entries;
    int already = 0, fresh = 0, missing = 0;
    {
        std::lock_guard lk(mu_);
        for (const Song& s : songs_) {
            std::string file = s.present;
            if (!file.empty()) {
                ++already;
            } else if (s.downloadRow >= 0) {
                file = RememberedFile(ctx, s.downloadRow);
                if (!file.empty() && sys::IsRegularFile(file))
                    ++fresh;
                else
                    file.clear();
            }
            if (file.empty()) {
                ++missing;
                continue;
            }
            entries.push_back({s.seconds, s.display, RelativePath(folder_, file)});
        }
    }
    bool written = sys::WriteFileAtomic(path_, M3u8Text(entries));
    std::string name = path_.substr(folder_.size());
    std::string text = (written ? "歌单文件已同步：" : "歌单文件写入失败：") + name + "\r\n共 " +
                       std::to_string(already + fresh + missing) + " 首：已有 " + std::to_string(already) +
                       " 首，新下载 " + std::to_string(fresh) + " 首";
    if (missing > 0) text += "，未能下载 " + std::to_string(missing) + " 首";
    text += "。";
    ctx.ui.messageBox({written ? "code:200" : "code:500", text, "好的", app::kWindow});
}

}  // namespace mm::download
