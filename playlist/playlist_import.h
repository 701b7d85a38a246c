#pragma once
// Importing a shared playlist: the playlist panel, its service tips, the
// import click and the playlist task.
#include <string>

namespace mm::app {
struct AppContext;
}

namespace mm::playlist {

// Service codes, in the order the panel checks its logo.
inline constexpr const char* kServiceCodes[4] = {"qq", "wy", "kw", "kg"};

void RegisterPlaylistHandlers(app::AppContext& ctx);

// Opens the panel for a service ("qq", "wy", "kw", "kg").
void OpenPlaylistPanel(app::AppContext& ctx, const std::string& service);
// The service whose logo the panel shows ("qq" when none matches).
std::string PanelService(app::AppContext& ctx);
// The import click: checks the text and posts the playlist task.
void ImportClicked(app::AppContext& ctx);
// The playlist task for a pasted text; `generation` is the list it fills.
void RunPlaylistTask(app::AppContext& ctx, const std::string& service, const std::string& text,
                     unsigned generation);

}  // namespace mm::playlist
