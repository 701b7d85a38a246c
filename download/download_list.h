#pragma once
// The download list page: its rows' menu, double-click and the file of a row.
#include <string>

namespace mm::app {
struct AppContext;
}

namespace mm::download {

// The file of a 0-based download row: the file its job wrote, once it has
// finished; before that (or for a row no job finished) the save folder + the
// row's first line + ".flac" for a lossless badge, ".mp3" otherwise. "" for a
// row that does not exist.
std::string DownloadedFilePath(app::AppContext& ctx, int downloadRow);

// Shows the row's file in its folder; false when there is no such file or the
// shell could not.
bool OpenDownloadFolder(app::AppContext& ctx, int downloadRow);

// Handlers of 列表框_下载 and 菜单_下载列表, and this area's actions.
void RegisterDownloadHandlers(app::AppContext& ctx);

}  // namespace mm::download
