#pragma once
// The window's keyboard shortcuts, as the program answers them: the view (or
// an automation script) reports a Shortcut event on the main window with the
// keys' name, and the program does what the matching control would.
//
//   "Space"            play / pause, as the player bar's play button
//   "Ctrl+F"           the search page (the view puts the cursor in the search box)
//   "Ctrl+D"           the tier window of the selected result row
//   "Escape"           closes the open panel (tier window, playlist window)
//   "Ctrl+1" … "Ctrl+3" the search, download and settings pages
namespace mm::app {

struct AppContext;

void RegisterShortcutHandlers(AppContext& ctx);

// The controls' tool tips name the keys that do the same.
void NameShortcutsInToolTips(AppContext& ctx);

}  // namespace mm::app
