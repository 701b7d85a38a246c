#pragma once
// Writing one row of the result list from its track record.
#include "search/track_record.h"

namespace mm::ui {
class ControlModel;
}

namespace mm::search {

// Writes 1-based row `row` of the result list: number, title with the badge of
// the best tier, shortened singer and album, duration. The caller holds the
// list lock. False when the row does not exist.
bool WriteResultRow(ui::ControlModel& ui, int row, const TrackRecord& track);

}  // namespace mm::search
