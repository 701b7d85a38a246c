#pragma once
// The main window's creation sequence, its closing, and the small handlers of
// the settings page and the tool bar.
#include <string>

namespace mm::app {

struct AppContext;

// Runs on the UI thread before the window is shown.
void RunCreationSequence(AppContext& ctx);
// The window's closing event (argument 0). Never waits for running tasks.
void RunClosing(AppContext& ctx);
// Registers the handlers of the settings page, tool bar and panels.
void RegisterShellHandlers(AppContext& ctx);

// Makes sure the save folder shown in the label exists.
void EnsureSaveFolder(const std::string& labelText);

// The save folder used when none is configured: ~/MorvaneMusic/
std::string DefaultSaveFolder();

}  // namespace mm::app
