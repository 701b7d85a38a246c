#pragma once
// The download history in the download list: each new row recorded as it is
// queued, the history listed newest first at start-up and a page further
// each time the list is scrolled past its end, and the one message about a
// history file the program could not use.
#include <string>

#include "download/download_rows.h"
#include "library/history_store.h"

namespace mm::app {
struct AppContext;
}

namespace mm::download {

// Rows listed at start-up, and per page after that.
inline constexpr int kHistoryPageRows = 500;

// Opens the history in ctx.dataDir (none is kept when that is "") and lists
// its newest page on a one-off thread; that page, like every later one, is
// appended to the list. A broken file, one held by another running copy and
// one that cannot be used are each told in one message box. Call on the UI
// thread during start-up, before any task runs.
void StartHistory(app::AppContext& ctx);
// Lists the next older page on a thread of its own; nothing while a page is
// loading or when every record is listed.
void LoadMoreHistory(app::AppContext& ctx);
// Blocks until every recorded change is on disk (closing).
void FlushHistory(app::AppContext& ctx);

// How a record is listed: its cells, with "文件已丢失" for a finished download
// whose file is gone (the file is looked at here).
HistoryRow ListedRow(const library::DownloadRecord& record);

// The message box texts about the history file.
std::string HistoryOpenMessage(const library::HistoryStore::OpenResult& result, const std::string& path);

}  // namespace mm::download
