#pragma once
// Keeps two lines of the window in step with the download list: the number of
// downloads still running, shown beside the tool bar entry of the download
// page, and the hint on how to add songs, shown while the list is empty.
namespace mm::ui {
class ControlModel;
}

namespace mm::download {

// Watches the download list from now on, whichever thread writes its rows.
void WatchDownloadList(ui::ControlModel& ui);

// Rows waiting for their address or downloading (column 1 empty or "正在下载").
int RunningDownloads(const ui::ControlModel& ui);

}  // namespace mm::download
