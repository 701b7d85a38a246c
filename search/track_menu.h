#pragma once
// The result list's track menu and the download list's menu.

namespace mm::app {
struct AppContext;
}

namespace mm::search {

// Item ids of the track menu.
inline constexpr int kMenuPreview = 6;
inline constexpr int kMenuDownloadOne = 1;
inline constexpr int kMenuTierStandard = 5001;
inline constexpr int kMenuTierHigh = 5002;
inline constexpr int kMenuTierLossless = 5003;
inline constexpr int kMenuDownloadAll = 2;
inline constexpr int kMenuChangeSource = 7;  // parent of the source submenu (ids 101…)
inline constexpr int kMenuSearchTitle = 3;
inline constexpr int kMenuSearchSinger = 4;
inline constexpr int kMenuSearchAlbum = 5;
// Item ids of the download list's menu.
inline constexpr int kMenuPlayFile = 11;
inline constexpr int kMenuOpenFolder = 12;

// Creates both menus (names kTrackMenu and kDownloadMenu of app/control_names.h).
void BuildMenus(app::AppContext& ctx);

// Row right-clicks of both lists and the choices of both menus.
void RegisterMenuHandlers(app::AppContext& ctx);

}  // namespace mm::search
