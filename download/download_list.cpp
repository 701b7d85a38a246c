#include "download/download_list.h"

#include "app/app_context.h"
#include "app/control_names.h"
#include "app/images.h"
#include "app/settings.h"
#include "download/download_all.h"
#include "download/download_at_tier.h"
#include "download/download_notices.h"
#include "download/download_rows.h"
#include "platform/sys/files.h"

#if __has_include("support/shell.h")
#include "support/shell.h"
#define MM_HAVE_SUPPORT_SHELL 1
#endif

namespace mm::download {

std::string DownloadedFilePath(app::AppContext& ctx, int downloadRow) {
    if (downloadRow < 0 || downloadRow >= ctx.ui.rowCount(app::kDownloadList)) return {};
    std::string file = RememberedFile(ctx, downloadRow);
    if (!file.empty()) return file;
    std::string text = ctx.ui.cellText(app::kDownloadList, downloadRow, 0);
    std::string name = text.substr(0, text.find("\r\n"));
    bool lossless = ctx.ui.cellIcon(app::kDownloadList, downloadRow, 0) == app::kImgBadgeLossless;
    std::string folder = app::SaveFolder(ctx);
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder + name + (lossless ? ".flac" : ".mp3");
}

bool OpenDownloadFolder(app::AppContext& ctx, int downloadRow) {
    std::string path = DownloadedFilePath(ctx, downloadRow);
    if (path.empty() || !sys::PathExists(path)) return false;
    if (ctx.shell.showInFolder) return ctx.shell.showInFolder(path);
#ifdef MM_HAVE_SUPPORT_SHELL
    return support::ShowInFolder(path) == 1;
#else
    return false;
#endif
}

void RegisterDownloadHandlers(app::AppContext& ctx) {
    ForgetFiles(ctx);
    ForgetRuns(ctx);
    app::AppContext* c = &ctx;

    ctx.actions.downloadAtTier = [c](int tier, int row) {
        // Only one queueing at a time: a busy search pool ignores the command.
        if (!c->searchPool.IsIdle()) return;
        c->searchPool.Post([c, tier, row] { DownloadAtTier(*c, tier, row); });
    };
    ctx.actions.downloadAll = [c] { StartDownloadAll(*c); };
    ctx.actions.openFolder = [c](int row) { OpenDownloadFolder(*c, row); };
}

}  // namespace mm::download
