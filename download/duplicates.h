#pragma once
// Songs downloaded already: the "已下载" mark on rows of the result list, the
// question before a song is downloaded again, and what download-all does
// with them. A song counts as downloaded in a tier when the history has a
// finished download of its `mid` in that tier and the file is still there.
#include <array>
#include <string>
#include <vector>

#include "search/track_record.h"

namespace mm::app {
struct AppContext;
}

namespace mm::download {

inline constexpr const char* kMarkDownloaded = "已下载";
// The result list's column that carries the mark (after the duration).
inline constexpr int kMarkColumn = 5;

// What to do with a song downloaded already.
enum class DuplicatePolicy {
    kAsk,            // ask: "重新下载" or "跳过" (a single download)
    kSkip,           // leave it (download-all with 选择框_歌单_跳过已下载 checked)
    kDownloadAgain,  // download it anyway
};

// The file of the song's finished download in that tier, "" when there is
// none or its file is gone. Asks the history: not on the UI thread.
std::string DownloadedFile(app::AppContext& ctx, const search::TrackRecord& track, int tier);

// Asks whether to download the song again; true for "重新下载".
bool AskDownloadAgain(app::AppContext& ctx, const search::TrackRecord& track, const std::string& file);
inline constexpr const char* kButtonDownloadAgain = "重新下载";
inline constexpr const char* kButtonSkip = "跳过";

// For each track (its three tiers' `mid`), whether any tier is downloaded: one
// indexed look-up per tier that has a `mid`, and a look at each file found.
using TierMids = std::array<std::string, 3>;
std::vector<bool> DownloadedTracks(app::AppContext& ctx, const std::vector<TierMids>& tracks);

// Writes the mark of every row of the active list of that generation (and
// clears it on rows no longer downloaded). Runs on a worker: the look-ups
// happen without the list lock.
void MarkDownloadedRows(app::AppContext& ctx, unsigned generation);

}  // namespace mm::download
