#include "search/track_menu.h"

#include <chrono>
#include <cstdint>
#include <string_view>
#include <thread>

#include "app/app_context.h"
#include "app/control_names.h"
#include "app/images.h"
#include "search/current_record.h"
#include "search/source_switch.h"
#include "search/tier_panel.h"

namespace mm::search {
namespace {

using ui::Event;
using ui::EventType;

constexpr std::uint32_t kRed = 0xFFFF0000;
constexpr std::uint32_t kDisabledTextColor = 0xFF808080;
constexpr int kFirstSourceId = 101;
constexpr int kLastSourceId = 199;

ui::MenuItem Item(int id, const char* text, const char* icon, int parent = 0, int width = 140) {
    ui::MenuItem m;
    m.id = id;
    m.parentId = parent;
    m.text = text;
    m.icon = icon;
    m.width = width;
    m.height = 40;
    return m;
}

// Shows a menu at the cursor. The view may take a moment to report it open;
// ask again a few times, never for long on the UI thread.
void PopUp(app::AppContext& ctx, const char* menu) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        ctx.ui.popUpMenu(menu);
        if (ctx.ui.isMenuPoppedUp(menu)) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void SearchByField(app::AppContext& ctx, int id) {
    auto track = ReadCurrentRecord(ctx, ctx.currentRow);
    if (!track) return;
    const std::string& field = id == kMenuSearchTitle    ? track->title
                               : id == kMenuSearchSinger ? track->singer
                                                         : track->album;
    ctx.ui.setText(app::kSearchBox, field);
    if (ctx.actions.newSearch) ctx.actions.newSearch();
}

bool DownloadRowExists(app::AppContext& ctx, int row) {
    return row >= 0 && row < ctx.ui.rowCount(app::kDownloadList);
}

void OnMenuChoice(app::AppContext& ctx, const char* menu, int id) {
    // A disabled entry ("无资源", the playlist-only entry) cannot be chosen.
    if (auto item = ctx.ui.menuItem(menu, id); item && item->disabled) return;
    const int row = ctx.currentRow;
    switch (id) {
        case kMenuPreview:
            if (ctx.actions.preview && ReadCurrentRecord(ctx, row)) ctx.actions.preview(row);
            return;
        case kMenuDownloadOne:
            ctx.ui.closeMenu(app::kTrackMenu);
            ShowTierPanel(ctx, ctx.menuSong);
            return;
        case kMenuTierStandard:
        case kMenuTierHigh:
        case kMenuTierLossless:
            DownloadSong(ctx, ctx.menuSong, id - kMenuTierStandard);
            return;
        case kMenuDownloadAll:
            if (ctx.actions.downloadAll) ctx.actions.downloadAll();
            return;
        case kMenuSearchTitle:
        case kMenuSearchSinger:
        case kMenuSearchAlbum:
            SearchByField(ctx, id);
            return;
        case kMenuPlayFile:
            if (ctx.actions.playFile && DownloadRowExists(ctx, ctx.downloadListRow)) {
                ctx.actions.playFile(ctx.downloadListRow);
            }
            return;
        case kMenuOpenFolder:
            if (ctx.actions.openFolder && DownloadRowExists(ctx, ctx.downloadListRow)) {
                ctx.actions.openFolder(ctx.downloadListRow);
            }
            return;
        default:
            if (std::string_view(menu) == app::kDownloadMenu) {
                if (ctx.actions.downloadMenuChoice) ctx.actions.downloadMenuChoice(id, ctx.downloadListRow);
                return;
            }
            if (id >= kFirstSourceId && id <= kLastSourceId) {
                const int index = id - kFirstSourceId;
                if (index < static_cast<int>(ctx.sources.Urls().size())) {
                    ctx.ui.setSelection(app::kSourceCombo, index);
                    SwitchSource(ctx, index);
                }
            }
            return;  // anything else (the source submenu's parent, 7) does nothing
    }
}

}  // namespace

void BuildMenus(app::AppContext& ctx) {
    auto& ui = ctx.ui;
    const char* t = app::kTrackMenu;
    ui.defineMenu(t);
    ui.insertMenuItem(t, 1, Item(kMenuPreview, "试听", "menu_preview"));
    ui.insertMenuItem(t, 2, Item(kMenuDownloadOne, "下载 - 单曲", "menu_download"));
    const int tierIds[3] = {kMenuTierStandard, kMenuTierHigh, kMenuTierLossless};
    const char* tierTexts[3] = {"标准音质", "高品音质", "无损音质"};
    for (int tier = 0; tier < 3; ++tier) {
        auto m = Item(tierIds[tier], tierTexts[tier], app::TierBadge(tier), kMenuDownloadOne, 80);
        m.disabledTextColor = kDisabledTextColor;
        ui.insertMenuItem(t, tier + 1, m);
    }
    auto all = Item(kMenuDownloadAll, "下载 - 歌单全部歌曲", "menu_download_all");
    all.disabled = true;  // only a listed playlist can be downloaded whole
    all.disabledTextColor = kDisabledTextColor;
    ui.insertMenuItem(t, 3, all);
    auto source = Item(kMenuChangeSource, "搜索 - 更换音源 [New] ", "menu_source");
    source.textColor = kRed;
    ui.insertMenuItem(t, 4, source);
    ui.insertMenuItem(t, 5, Item(kMenuSearchTitle, "搜索 - 歌曲", "menu_search_song"));
    ui.insertMenuItem(t, 6, Item(kMenuSearchSinger, "搜索 - 歌手", "menu_search_singer"));
    ui.insertMenuItem(t, 7, Item(kMenuSearchAlbum, "搜索 - 专辑", "menu_search_album"));

    const char* d = app::kDownloadMenu;
    ui.defineMenu(d);
    ui.insertMenuItem(d, 1, Item(kMenuPlayFile, "播放", "menu_play"));
    ui.insertMenuItem(d, 2, Item(kMenuOpenFolder, "打开目录", "menu_open_folder"));
}

void RegisterMenuHandlers(app::AppContext& ctx) {
    auto& ev = ctx.events;
    ev.on(app::kResultList, EventType::RowRightClick, [&ctx](const Event& e) {
        if (e.arg < 0) return;
        ctx.currentRow = e.arg + 1;
        // The menu's download entries act on this song, whatever the row shows later.
        ctx.menuSong = RefOfRow(ctx, e.arg + 1);
        PopUp(ctx, app::kTrackMenu);
    });
    ev.on(app::kDownloadList, EventType::RowRightClick, [&ctx](const Event& e) {
        if (e.arg < 0) return;
        ctx.downloadListRow = e.arg;
        if (ctx.actions.prepareDownloadMenu) ctx.actions.prepareDownloadMenu(e.arg);
        PopUp(ctx, app::kDownloadMenu);
    });
    ev.on(app::kTrackMenu, EventType::MenuAboutToShow, [&ctx](const Event&) { PrepareTierSubmenu(ctx); });
    // One procedure serves both menus: their item ids do not overlap.
    for (const char* menu : {app::kTrackMenu, app::kDownloadMenu}) {
        ev.on(menu, EventType::MenuChoice, [&ctx, menu](const Event& e) { OnMenuChoice(ctx, menu, e.arg); });
    }
}

}  // namespace mm::search
