#pragma once
// The main window as designed: every control with its kind, caption, first
// state and pictures, written into the control model before the window's
// creation sequence runs.
#include <string>
#include <vector>

#include "platform/ui/control_model.h"

namespace mm::app {

// Column headers of the result list and of the download list.
std::vector<std::string> SearchListColumns();
std::vector<std::string> DownloadListColumns();

// Defines every control of the main window, the player bar, the tier panel,
// the playlist panel and the timers.
void DefineMainWindowControls(mm::ui::ControlModel& model);

// The names DefineMainWindowControls defines, in definition order.
std::vector<std::string> MainWindowControlNames();

}  // namespace mm::app
