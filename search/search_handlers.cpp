// The search page's handlers and what it offers the other areas.
#include "app/app_context.h"
#include "app/control_names.h"
#include "search/search.h"
#include "search/source_switch.h"
#include "search/tier_panel.h"
#include "search/track_menu.h"

namespace mm::search {

using ui::Event;
using ui::EventType;

namespace {

constexpr int kEnterKey = 13;

}  // namespace

void RegisterSearchHandlers(app::AppContext& ctx) {
    auto session = std::make_shared<SearchSession>(ctx);
    auto& ev = ctx.events;

    ctx.actions.newSearch = [session] { session->NewSearch(); };
    ctx.actions.showTierPanel = [&ctx](const SongRef& song) {
        ctx.currentRow = song.row;
        ShowTierPanel(ctx, song);
    };

    ev.on(app::kSearchButton, EventType::Click, [session](const Event&) { session->NewSearch(); });
    ev.on(app::kSearchBox, EventType::KeyUp, [session](const Event& e) {
        if (e.arg == kEnterKey) session->NewSearch();
    });
    ev.on(app::kSearchBox, EventType::FocusIn, [session](const Event&) { session->FocusIn(); });
    ev.on(app::kSearchBox, EventType::FocusOut, [session](const Event&) { session->FocusOut(); });

    ev.on(app::kResultList, EventType::ScrolledPastEnd, [session](const Event&) { session->NextPage(); });
    ev.on(app::kResultList, EventType::RowDoubleClick, [&ctx](const Event& e) {
        if (e.arg >= 0 && ctx.actions.preview) ctx.actions.preview(e.arg + 1);
    });
    ev.on(app::kDownloadList, EventType::RowDoubleClick, [&ctx](const Event& e) {
        if (e.arg >= 0 && ctx.actions.playFile) ctx.actions.playFile(e.arg);
    });
    ev.on(app::kSourceCombo, EventType::ComboChanged, [&ctx](const Event& e) { SwitchSource(ctx, e.arg); });

    const char* buttons[3] = {app::kTierButtonStandard, app::kTierButtonHigh, app::kTierButtonLossless};
    for (int tier = 0; tier < 3; ++tier) {
        const char* button = buttons[tier];
        ev.on(button, EventType::Click, [&ctx, tier, button](const Event&) {
            if (!ctx.ui.disabled(button)) DownloadSong(ctx, ctx.panelSong, tier);
        });
    }
    RegisterMenuHandlers(ctx);
}

}  // namespace mm::search
