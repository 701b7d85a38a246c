#pragma once
// The tier panel: one row's three download buttons with their sizes.

namespace mm::app {
struct AppContext;
}

namespace mm::search {

// Fills the panel for 1-based `row` of the active list and shows it. Does
// nothing when the row is no longer in the list.
void ShowTierPanel(app::AppContext& ctx, int row);

// Prepares the track menu's tier submenu for the current row.
void PrepareTierSubmenu(app::AppContext& ctx);

// Starts the download of the current row at `tier`, only while the search
// pool is idle and the row still exists.
void DownloadCurrentRow(app::AppContext& ctx, int tier);

}  // namespace mm::search
