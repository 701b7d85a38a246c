#pragma once
// The tier panel: one song's three download buttons with their sizes.
#include "search/track_record.h"

namespace mm::app {
struct AppContext;
}

namespace mm::search {

// Fills the panel for a song and shows it; its buttons then download that
// song. Does nothing when the song's list was replaced or its row holds
// another song now.
void ShowTierPanel(app::AppContext& ctx, const SongRef& song);

// Prepares the track menu's tier submenu for the song the menu was opened on.
void PrepareTierSubmenu(app::AppContext& ctx);

// Starts the download of a song at `tier`, only while the search pool is idle
// and the song is still where it was seen.
void DownloadSong(app::AppContext& ctx, const SongRef& song, int tier);

}  // namespace mm::search
