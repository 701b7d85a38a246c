#include "search/result_rows.h"

#include "app/control_names.h"
#include "app/images.h"
#include "platform/ui/control_model.h"
#include "search/list_text.h"

namespace mm::search {

bool WriteResultRow(ui::ControlModel& ui, int row, const TrackRecord& track) {
    const int r = row - 1;
    if (!ui.setCellText(app::kResultList, r, 0, RowNumber(row))) return false;
    ui.setCellText(app::kResultList, r, 1, track.title);
    // A shortened singer or album shows its whole text in the cell's tool tip.
    const std::string singer = ShortenForCell(track.singer, kSingerCellBytes);
    const std::string album = ShortenForCell(track.album, kAlbumCellBytes);
    ui.setCellText(app::kResultList, r, 2, singer);
    ui.setCellTip(app::kResultList, r, 2, singer == track.singer ? std::string() : track.singer);
    ui.setCellText(app::kResultList, r, 3, album);
    ui.setCellTip(app::kResultList, r, 3, album == track.album ? std::string() : track.album);
    ui.setCellText(app::kResultList, r, 4, track.duration);
    ui.setCellIcon(app::kResultList, r, 1, app::TierBadge(track.bestTier));
    return true;
}

}  // namespace mm::search
