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
    ui.setCellText(app::kResultList, r, 2, ShortenForCell(track.singer, kSingerCellBytes));
    ui.setCellText(app::kResultList, r, 3, ShortenForCell(track.album, kAlbumCellBytes));
    ui.setCellText(app::kResultList, r, 4, track.duration);
    ui.setCellIcon(app::kResultList, r, 1, app::TierBadge(track.bestTier));
    return true;
}

}  // namespace mm::search
