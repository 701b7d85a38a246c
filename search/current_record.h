#pragma once
// The record a row command acts on, as the commands see it.
#include <optional>
#include <string>

#include "search/track_record.h"

namespace mm::app {
struct AppContext;
}

namespace mm::search {

// A private copy of the record at 1-based `row` of the active list (the
// imported playlist in playlist mode, else the search results), with title,
// singer and album trimmed, the first empty one of them defaulted ("未知歌曲",
// else "未知艺术家", else "未知专辑"), and each size re-read as a
// single-precision number rounded to 2 decimals. Nothing when the row is not
// in the list (it was replaced or emptied meanwhile).
std::optional<TrackRecord> ReadCurrentRecord(app::AppContext& ctx, int row);

// The song at 1-based `row` of the active list as a command sees it now;
// row 0 when the row is not in the list.
SongRef RefOfRow(app::AppContext& ctx, int row);
// The completed copy of a song, as ReadCurrentRecord gives it, while its list
// is still shown and its row still holds it; nothing otherwise.
std::optional<TrackRecord> ReadSong(app::AppContext& ctx, const SongRef& song);

// The same completion applied to a record already copied.
TrackRecord CompleteRecord(TrackRecord track);

// True when a size text names a size that differs from 0.
bool HasSize(const std::string& sizeText);

// The size as the tier panel writes it: single precision, 2 decimals, "%.13g".
std::string PanelSize(const std::string& sizeText);

}  // namespace mm::search
