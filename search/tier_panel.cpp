#include "search/tier_panel.h"

#include <array>

#include "app/app_context.h"
#include "app/control_names.h"
#include "search/current_record.h"
#include "search/track_menu.h"

namespace mm::search {
namespace {

constexpr const char* kNoResource = "无资源";
constexpr std::array<const char*, 3> kTierNames = {"标准音质", "高品音质", "无损音质"};
constexpr std::array<const char*, 3> kButtonPrefixes = {"标准音质 128K - ", "高品音质 320K - ",
                                                        "无损音质 FLAC - "};
constexpr std::array<const char*, 3> kButtons = {app::kTierButtonStandard, app::kTierButtonHigh,
                                                 app::kTierButtonLossless};
constexpr std::array<int, 3> kSubmenuIds = {kMenuTierStandard, kMenuTierHigh, kMenuTierLossless};

}  // namespace

void ShowTierPanel(app::AppContext& ctx, const SongRef& song) {
    auto track = ReadSong(ctx, song);
    if (!track) return;
    ctx.panelSong = song;
    auto& ui = ctx.ui;
    ui.setText(app::kTierTitle, track->title);
    ui.setText(app::kTierSinger, track->singer);
    const bool playlist = ctx.playlistMode;
    for (int tier = 0; tier < 3; ++tier) {
        const char* button = kButtons[tier];
        ui.setDisabled(button, false);
        ui.setVisible(button, true);
        // Playlist replies carry no trustworthy sizes: a tier is there when it has a mid.
        const bool available = playlist ? !track->mid[tier].empty() : HasSize(track->size[tier]);
        if (!available) {
            ui.setDisabled(button, true);
            ui.setText(button, kNoResource);
        } else if (playlist) {
            ui.setText(button, std::string(kButtonPrefixes[tier]) + "未知");
        } else {
            ui.setText(button, std::string(kButtonPrefixes[tier]) + track->size[tier] + "MB");
        }
    }
    ui.setVisible(app::kTierPanel, true);
}

void PrepareTierSubmenu(app::AppContext& ctx) {
    auto track = ReadSong(ctx, ctx.menuSong);
    if (!track) return;
    for (int tier = 0; tier < 3; ++tier) {
        const bool available = HasSize(track->size[tier]);
        ctx.ui.setMenuItemDisabled(app::kTrackMenu, kSubmenuIds[tier], !available);
        ctx.ui.setMenuItemText(app::kTrackMenu, kSubmenuIds[tier],
                               available ? kTierNames[tier] : kNoResource);
    }
}

void DownloadSong(app::AppContext& ctx, const SongRef& song, int tier) {
    if (!ctx.searchPool.IsIdle() || !ctx.actions.downloadAtTier) return;
    if (!ReadSong(ctx, song)) return;  // the list was replaced or emptied meanwhile
    ctx.actions.downloadAtTier(tier, song.row);
}

}  // namespace mm::search
