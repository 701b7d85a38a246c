#include "search/source_switch.h"

#include <cstdint>

#include "app/app_context.h"
#include "app/control_names.h"
#include "app/interface_state.h"
#include "search/search.h"

namespace mm::search {
namespace {

constexpr std::uint32_t kDisabledTextColor = 0xFF808080;

}  // namespace

bool ApplySource(app::AppContext& ctx, int index) {
    const auto urls = ctx.sources.Urls();
    if (index < 0 || index >= static_cast<int>(urls.size())) return false;
    ctx.sources.SetCurrent(urls[static_cast<size_t>(index)]);

    const auto ids = ctx.sources.MenuIds();
    for (int j = 0; j < static_cast<int>(ids.size()); ++j) {
        const bool current = j == index;
        ctx.ui.setMenuItemDisabled(app::kTrackMenu, ids[static_cast<size_t>(j)], current);
        if (current) {
            auto item = ctx.ui.menuItem(app::kTrackMenu, ids[static_cast<size_t>(j)]);
            ctx.ui.setMenuItemColors(app::kTrackMenu, ids[static_cast<size_t>(j)], item ? item->textColor : 0,
                                     kDisabledTextColor);
        }
    }
    return true;
}

void SwitchSource(app::AppContext& ctx, int index) {
    const auto urls = ctx.sources.Urls();
    // The source already in use: the pages listed from it stay.
    if (index >= 0 && index < static_cast<int>(urls.size()) && urls[static_cast<size_t>(index)] == ctx.sources.Current()) {
        return;
    }
    if (!ApplySource(ctx, index)) return;
    if (auto item = ctx.ui.comboItem(app::kSourceCombo, index)) app::StoreChosenSource(ctx, item->text);

    const std::string keyword = ctx.ui.text(app::kSearchBox);
    if (!keyword.empty() && keyword != kSearchPlaceholder && ctx.actions.newSearch) ctx.actions.newSearch();
}

void RestoreChosenSource(app::AppContext& ctx) {
    const std::string name = app::ChosenSource(ctx);
    if (name.empty()) return;
    const int count = ctx.ui.comboCount(app::kSourceCombo);
    for (int i = 0; i < count; ++i) {
        auto item = ctx.ui.comboItem(app::kSourceCombo, i);
        if (!item || item->text != name) continue;
        if (ApplySource(ctx, i)) ctx.ui.setSelection(app::kSourceCombo, i);
        return;
    }
}

}  // namespace mm::search
