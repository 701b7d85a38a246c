#include "search/current_record.h"

#include <cmath>
#include <cstdlib>

#include "app/app_context.h"
#include "search/list_lock.h"
#include "search/list_text.h"
#include "search/search_reply.h"

namespace mm::search {
namespace {

double RoundedSize(const std::string& sizeText) {
    float f = std::strtof(sizeText.c_str(), nullptr);
    return std::round(static_cast<double>(f) * 100.0) / 100.0;
}

}  // namespace

bool HasSize(const std::string& sizeText) {
    return std::fabs(RoundedSize(sizeText)) > 0.0000001;
}

std::string PanelSize(const std::string& sizeText) {
    return SizeText(RoundedSize(sizeText));
}

TrackRecord CompleteRecord(TrackRecord track) {
    track.title = TrimBlanks(track.title);
    track.singer = TrimBlanks(track.singer);
    track.album = TrimBlanks(track.album);
    // Only the first empty field gets a default.
    if (track.title.empty()) {
        track.title = "未知歌曲";
    } else if (track.singer.empty()) {
        track.singer = "未知艺术家";
    } else if (track.album.empty()) {
        track.album = "未知专辑";
    }
    for (auto& size : track.size) size = PanelSize(size);
    return track;
}

SongRef RefOfRow(app::AppContext& ctx, int row) {
    SongRef ref;
    auto lock = LockList(ctx.listLock, kUiLockWait);
    if (!lock) return ref;
    const auto& list = ctx.ActiveList();
    if (row < 1 || row > static_cast<int>(list.size())) return ref;
    ref.row = row;
    // Read under the lock: a new list bumps the generation under it too.
    ref.generation = ctx.listGeneration.load();
    ref.mid = list[static_cast<size_t>(row - 1)].mid;
    return ref;
}

std::optional<TrackRecord> ReadSong(app::AppContext& ctx, const SongRef& song) {
    auto lock = LockList(ctx.listLock, kUiLockWait);
    if (!lock || song.row < 1 || ctx.listGeneration.load() != song.generation) return std::nullopt;
    const auto& list = ctx.ActiveList();
    if (song.row > static_cast<int>(list.size())) return std::nullopt;
    TrackRecord copy = list[static_cast<size_t>(song.row - 1)];
    lock.unlock();
    if (copy.mid != song.mid) return std::nullopt;
    return CompleteRecord(std::move(copy));
}

std::optional<TrackRecord> ReadCurrentRecord(app::AppContext& ctx, int row) {
    auto lock = LockList(ctx.listLock, kUiLockWait);
    if (!lock) return std::nullopt;
    const auto& list = ctx.ActiveList();
    if (row < 1 || row > static_cast<int>(list.size())) return std::nullopt;
    TrackRecord copy = list[static_cast<size_t>(row - 1)];
    lock.unlock();
    return CompleteRecord(std::move(copy));
}

}  // namespace mm::search
