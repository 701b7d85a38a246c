#include "search/list_notice.h"

#include "app/app_context.h"
#include "app/control_names.h"

namespace mm::search {

std::string SearchHeading(app::AppContext& ctx, const std::string& keyword, const std::string& address) {
    std::string heading = "搜索: " + keyword;
    const auto urls = ctx.sources.Urls();
    for (size_t i = 0; i < urls.size(); ++i) {
        if (urls[i] != address) continue;
        if (auto item = ctx.ui.comboItem(app::kSourceCombo, static_cast<int>(i)); item && !item->text.empty())
            heading += " · " + item->text;
        break;
    }
    return heading;
}

std::string PlaylistHeading(const std::string& service, const std::string& id) {
    const char* name = service == "qq"   ? "QQ音乐"
                       : service == "wy" ? "网易云"
                       : service == "kw" ? "酷我"
                       : service == "kg" ? "酷狗"
                                         : "";
    std::string heading = id.empty() ? std::string("歌单") : "歌单 " + id;
    if (*name) heading += std::string(" · ") + name;
    return heading;
}

void SetListHeading(app::AppContext& ctx, const std::string& text) {
    ctx.ui.setText(app::kListHeading, text);
}

void HideListNotice(app::AppContext& ctx) {
    ctx.ui.setVisible(app::kListNotice, false);
    ctx.ui.setText(app::kListNotice, "");
}

void ShowListEnd(app::AppContext& ctx, int rows, bool complete) {
    if (rows <= 0) {
        ctx.ui.setText(app::kListNotice, kNothingFound);
    } else if (complete) {
        ctx.ui.setText(app::kListNotice, kNoMoreResults);
    } else {
        return;
    }
    ctx.ui.setVisible(app::kListNotice, true);
}

}  // namespace mm::search
