#include "search/source_switch.h"

#include <cstdint>

#include "app/app_context.h"
#include "app/control_names.h"
#include "search/search.h"

namespace mm::search {
namespace {

constexpr std::uint32_t kDisabledTextColor = 0xFF808080;

}  // namespace

void SwitchSource(app::AppContext& ctx, int index) {
    const auto urls = ctx.sources.Urls();
    if (index < 0 || index >= static_cast<int>(urls.size())) return;
    // The source already in use: the pages listed from it stay.
    if (urls[static_cast<size_t>(index)] == ctx.sources.Current()) return;
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

    const std::string keyword = ctx.ui.text(app::kSearchBox);
    if (!keyword.empty() && keyword != kSearchPlaceholder && ctx.actions.newSearch) ctx.actions.newSearch();
}

}  // namespace mm::search
