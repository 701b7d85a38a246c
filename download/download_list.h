#pragma once
// The download list page: the file of a row and showing it in its folder.
// (The rows' menu and double-click are wired with the result list's menus.)
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

// Shows the row's file in its folder, on a thread of its own (the desktop's
// helpers can take seconds); when nothing could be opened, a message box says
// so with the folder's path. False when there is no such row or no thread.
bool OpenDownloadFolder(app::AppContext& ctx, int downloadRow);

// This area's actions: downloadAtTier, downloadAll, openFolder.
void RegisterDownloadHandlers(app::AppContext& ctx);

}  // namespace mm::download
