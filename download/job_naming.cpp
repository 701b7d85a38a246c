#include "download/job_naming.h"

#include "app/app_context.h"
#include "app/control_names.h"
#include "app/images.h"
#include "app/library_settings.h"
#include "app/settings.h"
#include "download/download_rows.h"
#include "download/file_naming.h"
#include "download/name_template.h"
#include "platform/sys/files.h"
#include "search/list_text.h"

namespace mm::download {

std::string SaveFolderWithSlash(app::AppContext& ctx) {
    std::string folder = app::SaveFolder(ctx);
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

std::string ServiceName(const std::string& code) {
    if (code == "qq") return "QQ音乐";
    if (code == "wy") return "网易云音乐";
    if (code == "kw") return "酷我音乐";
    if (code == "kg") return "酷狗音乐";
    return code;
}

std::string SourceName(app::AppContext& ctx) {
    if (ctx.playlistMode.load()) {
        ListGuard guard(ctx);
        if (guard.locked() && !ctx.playlistService.empty()) return ServiceName(ctx.playlistService);
    }
    const std::string current = ctx.sources.Current();
    const auto urls = ctx.sources.Urls();
    for (std::size_t i = 0; i < urls.size(); ++i) {
        if (urls[i] != current) continue;
        if (auto item = ctx.ui.comboItem(app::kSourceCombo, static_cast<int>(i))) return item->text;
    }
    return {};
}

int RowTier(app::AppContext& ctx, int downloadRow) {
    const std::string badge = ctx.ui.cellIcon(app::kDownloadList, downloadRow, 0);
    for (int tier : {1, 2}) {
        if (badge == app::TierBadge(tier)) return tier;
    }
    return 0;
}

DownloadName NameForDownload(app::AppContext& ctx, const search::TrackRecord& rec, int tier, int trackRow) {
    DownloadName name;
    name.folder = SaveFolderWithSlash(ctx);
    const std::string tmpl = app::NameTemplate(ctx);
    if (!tmpl.empty()) {
        TemplateFields f;
        f.title = rec.title;
        f.singer = rec.singer;
        f.album = rec.album;
        f.tier = tier;
        f.source = SourceName(ctx);
        f.index = search::RowNumber(trackRow);
        std::size_t limit = static_cast<std::size_t>(sys::MaxNameBytes(name.folder));
        if (auto t = ExpandTemplate(tmpl, f, limit)) {
            if (!name.folder.empty()) name.folder += t->folder;
            name.base = t->base;
            name.albumFolder = t->albumFolder;
            return name;
        }
    }
    name.base = BaseName(rec.title, rec.singer, app::NamingScheme(ctx));
    return name;
}

}  // namespace mm::download
