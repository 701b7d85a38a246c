#pragma once
// The download list page: the file of a row, showing it in its folder, and
// the page's handlers. (The rows' menu and double-click are wired with the
// result list's menus.)
#include <string>

namespace mm::app {
struct AppContext;
}

namespace mm::download {

// The file of a 0-based download row: the file its download ended in, once it
// has finished (this run or an earlier one); before that (or for a row
// nothing finished) the save folder + the row's first line + ".flac" for a
// lossless badge, ".mp3" otherwise. "" for a row that does not exist.
std::string DownloadedFilePath(app::AppContext& ctx, int downloadRow);

// For "播放" and "打开目录" of a finished row: true when its file is there.
// When it is gone, the row reads "文件已丢失" and a message box says so.
// Rows that never finished are left to the caller as they are (true).
bool CheckFinishedFile(app::AppContext& ctx, int downloadRow);

// Shows the row's file in its folder, on a thread of its own (the desktop's
// helpers can take seconds); when nothing could be opened, a message box says
// so with the folder's path. False when there is no such row, its finished
// file is gone (told as above) or no thread could start.
bool OpenDownloadFolder(app::AppContext& ctx, int downloadRow);

// This area's actions and handlers: downloadAtTier, downloadAll, openFolder,
// the download list menu's own entries, the duplicate marks, and more history
// when the download list is scrolled past its end.
void RegisterDownloadHandlers(app::AppContext& ctx);

}  // namespace mm::download
