#include "download/running_count.h"

#include <memory>
#include <mutex>
#include <string>

#include "app/control_names.h"
#include "download/download_rows.h"
#include "platform/ui/control_model.h"

namespace mm::download {

int RunningDownloads(const ui::ControlModel& ui) {
    int running = 0;
    const int rows = ui.rowCount(app::kDownloadList);
    for (int r = 0; r < rows; ++r) {
        const std::string status = ui.cellText(app::kDownloadList, r, 1);
        // Queued rows count too: they run as soon as a place is free.
        if (status.empty() || status == kStatusDownloading || status == kStatusWaiting) ++running;
    }
    return running;
}

void WatchDownloadList(ui::ControlModel& ui) {
    // Jobs on several threads change rows at once; counting and writing under
    // one lock makes the last count written the count of the latest rows.
    auto mu = std::make_shared<std::mutex>();
    auto update = [&ui, mu] {
        std::lock_guard lk(*mu);
        const int running = RunningDownloads(ui);
        ui.setText(app::kRunningDownloads, std::to_string(running));
        ui.setVisible(app::kRunningDownloads, running > 0);
        ui.setVisible(app::kDownloadListHint, ui.rowCount(app::kDownloadList) == 0);
    };
    ui.subscribe([update](const ui::Change& c) {
        if (c.control != app::kDownloadList) return;
        // Rows came or went, or a status changed; progress alone changes nothing here.
        if (c.what == ui::Change::What::Rows || (c.what == ui::Change::What::Cell && c.col == 1)) update();
    });
    update();
}

}  // namespace mm::download
