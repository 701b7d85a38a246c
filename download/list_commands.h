#pragma once
// The download list's own commands, beside "播放" and "打开目录": try a
// download again, stop it for good or for a while, and go on with it.
#include <cstdint>
#include <string>

namespace mm::app {
struct AppContext;
}

namespace mm::download {

// Item ids of the download list's menu (after 11 "播放" and 12 "打开目录").
inline constexpr int kMenuRetry = 13;
inline constexpr int kMenuRetryAll = 14;
inline constexpr int kMenuPause = 15;
inline constexpr int kMenuContinue = 16;
inline constexpr int kMenuCancel = 17;

// Adds the entries to the download list's menu (after the menus were built).
void AddListMenuEntries(app::AppContext& ctx);
// Enables the entries that fit the 0-based row (on its right-click).
void PrepareListMenu(app::AppContext& ctx, int downloadRow);
// Runs an entry for the row; false when id is none of them.
bool RunListCommand(app::AppContext& ctx, int id, int downloadRow);

// The commands, for a 0-based row. Each runs on the UI thread, shows its
// effect in the row at once and leaves anything that waits on the network or
// the disk to a thread of its own. Each does nothing for a row whose state
// does not allow it.
//
// "重试" (failed, cancelled, interrupted) and "继续" (paused): asks the service
// for a fresh address and downloads into the same row again, continuing the
// part file an earlier attempt left when the server allows.
void RetryDownload(app::AppContext& ctx, int downloadRow);
// "全部重试": every listed row that "重试" applies to.
void RetryAllDownloads(app::AppContext& ctx);
// "取消" (queued, running, paused, interrupted): stops it; its part file goes.
void CancelDownload(app::AppContext& ctx, int downloadRow);
// "暂停" (queued, running): stops it; its part file stays for "继续".
void PauseDownload(app::AppContext& ctx, int downloadRow);

// The catalogue address a retry asks: the recorded one, or, when the
// catalogue moved host since (the built-in one listens on a new port each
// run), the current source with the same path.
std::string RetrySource(app::AppContext& ctx, const std::string& recorded);

}  // namespace mm::download
